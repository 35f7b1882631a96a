// The pull loop from the audio stream into the tape decoder.
#include "decoding/audio_recording.h"

namespace decoding {

namespace {

bool Deliver(reader::TapeDecoder& decoder, const AudioRecordSink& sink) {
  for (const reader::DecodedRecord& record : decoder.TakeRecords()) {
    if (!sink(record)) return false;
  }
  return true;
}

}  // namespace

AudioReadResult ReadAudioRecording(ByteSource& source, std::vector<std::uint8_t> head,
                                   const reader::DecoderOptions& options, const AudioRecordSink& sink) {
  AudioReadResult result;
  AudioStream stream(source, std::move(head));
  if (!stream.Open()) {
    result.problem = stream.Problem();
    return result;
  }
  result.format = stream.Format();
  const int channels = result.format.channels;
  if (options.channel < -1 || options.channel >= channels) {
    result.noSuchChannel = true;
    return result;
  }
  reader::TapeDecoder decoder(result.format.sampleRate, channels, options);
  std::vector<float> block(kDecodeBlockFrames * static_cast<std::size_t>(channels));
  for (;;) {
    const std::size_t frames = stream.Read(block.data(), kDecodeBlockFrames);
    if (frames == 0) break;
    decoder.Feed(block.data(), frames);
    if (!Deliver(decoder, sink)) return result;
  }
  decoder.Finish();
  Deliver(decoder, sink);
  result.problem = stream.Problem();
  return result;
}

}  // namespace decoding
