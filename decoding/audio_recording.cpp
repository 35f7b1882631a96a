// The pull loop from the audio stream into the tape decoder.
#include "decoding/audio_recording.h"

namespace decoding {

bool OpenForReading(AudioStream& stream, const reader::DecoderOptions& options, AudioReadResult& result) {
  if (!stream.Open()) {
    result.problem = stream.Problem();
    return false;
  }
  result.format = stream.Format();
  result.noSuchChannel = options.channel < -1 || options.channel >= result.format.channels;
  return !result.noSuchChannel;
}

bool DeliverRecords(reader::TapeDecoder& decoder, const AudioRecordSink& sink) {
  for (const reader::DecodedRecord& record : decoder.TakeRecords()) {
    if (!sink(record)) return false;
  }
  return true;
}

AudioReadResult ReadAudioRecording(ByteSource& source, std::vector<std::uint8_t> head,
                                   const reader::DecoderOptions& options, const AudioRecordSink& sink) {
  AudioReadResult result;
  AudioStream stream(source, std::move(head));
  if (!OpenForReading(stream, options, result)) return result;
  const int channels = result.format.channels;
  reader::TapeDecoder decoder(result.format.sampleRate, channels, options);
  std::vector<float> block(kDecodeBlockFrames * static_cast<std::size_t>(channels));
  for (;;) {
    const std::size_t frames = stream.Read(block.data(), kDecodeBlockFrames);
    if (frames == 0) break;
    decoder.Feed(block.data(), frames);
    if (!DeliverRecords(decoder, sink)) return result;
  }
  decoder.Finish();
  DeliverRecords(decoder, sink);
  result.problem = stream.Problem();
  return result;
}

}  // namespace decoding
