// The read loop over a recording: its first bytes tell the container; a
// RIFF/WAVE file is pushed through the tool's own WAV reader block by
// block, any other known container is pulled through the audio library.
// Decoding FLAC costs more than reading the tape from the samples, so the
// audio library decodes on a second thread while the tape decoder works on
// the blocks before; a few blocks in hand between the two keep memory flat.
#include <algorithm>
#include <deque>
#include <vector>

#include "decoding/audio_recording.h"
#include "decoding/audio_stream.h"
#include "decoding/container_probe.h"
#include "platform/threads.h"
#include "reader_tool/recording_input.h"
#include "reader_tool/report_format.h"
#include "reader_tool/texts.h"

namespace reader_tool {

namespace {

// The input file as the audio library's byte source; keeps the file's
// error for the message.
class InputFileSource : public decoding::ByteSource {
 public:
  explicit InputFileSource(platform::InputFile& input) : input_(input) {}

  std::size_t Read(std::uint8_t* buffer, std::size_t capacity, bool& failed) override {
    const std::size_t got = input_.Read(buffer, capacity, error_);
    if (error_ != platform::FileError::kNone) failed = true;
    return got;
  }

  platform::FileError Error() const { return error_; }

 private:
  platform::InputFile& input_;
  platform::FileError error_ = platform::FileError::kNone;
};

// Decoded blocks handed from the decoding thread to the tape decoder: at
// most kDepth wait at a time, and used ones go back to be filled again.
class BlockPipe {
 public:
  static constexpr std::size_t kDepth = 4;

  // Decoding side: an empty block to fill.
  std::vector<float> Spare() {
    platform::MonitorLock lock(monitor_);
    if (spare_.empty()) return {};
    std::vector<float> block = std::move(spare_.back());
    spare_.pop_back();
    return block;
  }

  // Decoding side: hands a filled block over, waiting while the pipe is
  // full; false when the reading side has stopped.
  bool Put(std::vector<float> block) {
    platform::MonitorLock lock(monitor_);
    while (full_.size() >= kDepth && !stopped_) monitor_.Wait();
    if (stopped_) return false;
    full_.push_back(std::move(block));
    monitor_.NotifyAll();
    return true;
  }

  // Decoding side: no more blocks will come.
  void End() {
    platform::MonitorLock lock(monitor_);
    ended_ = true;
    monitor_.NotifyAll();
  }

  // Reading side: the next block, waiting for it; false at the end.
  bool Take(std::vector<float>& block) {
    platform::MonitorLock lock(monitor_);
    while (full_.empty() && !ended_) monitor_.Wait();
    if (full_.empty()) return false;
    block = std::move(full_.front());
    full_.pop_front();
    monitor_.NotifyAll();
    return true;
  }

  // Reading side: a block done with.
  void Recycle(std::vector<float> block) {
    platform::MonitorLock lock(monitor_);
    spare_.push_back(std::move(block));
  }

  // Reading side: wants no more; the decoding side stops at its next Put.
  void Stop() {
    platform::MonitorLock lock(monitor_);
    stopped_ = true;
    monitor_.NotifyAll();
  }

 private:
  platform::Monitor monitor_;
  std::deque<std::vector<float>> full_;
  std::vector<std::vector<float>> spare_;
  bool ended_ = false;
  bool stopped_ = false;
};

// Frames decoded per block handed over: large enough that handing over
// costs nothing beside the decoding.
constexpr std::size_t kPipeBlockFrames = 16384;

// The stream decoded on a second thread into the pipe, and the tape
// decoder fed from it here; records go to the sink on this thread. Where
// no thread can be started, the decoding is done here too, in turn.
decoding::AudioReadResult DecodeBeside(decoding::ByteSource& source, std::vector<std::uint8_t> head,
                                       const reader::DecoderOptions& options, const RecordSink& sink,
                                       reader::SignalProfile* profile) {
  decoding::AudioReadResult result;
  decoding::AudioStream stream(source, std::move(head));
  if (!stream.Open()) {
    result.problem = stream.Problem();
    return result;
  }
  result.format = stream.Format();
  const std::size_t channels = static_cast<std::size_t>(result.format.channels);
  if (options.channel < -1 || options.channel >= result.format.channels) {
    result.noSuchChannel = true;
    return result;
  }
  reader::TapeDecoder decoder(result.format.sampleRate, result.format.channels, options);
  if (profile != nullptr) profile->SetSampleRate(result.format.sampleRate);
  BlockPipe pipe;
  // Returns false when the pipe was stopped.
  const auto decodeOne = [&]() {
    std::vector<float> block = pipe.Spare();
    block.resize(kPipeBlockFrames * channels);
    const std::size_t frames = stream.Read(block.data(), kPipeBlockFrames);
    if (frames == 0) return false;
    block.resize(frames * channels);
    return pipe.Put(std::move(block));
  };
  platform::Thread decoding;
  const bool beside = decoding.Start([&] {
    while (decodeOne()) {
    }
    pipe.End();
  });
  bool stopped = false;
  std::vector<float> block;
  for (;;) {
    if (!beside && !decodeOne()) pipe.End();
    if (!pipe.Take(block)) break;
    decoder.Feed(block.data(), block.size() / channels);
    if (profile != nullptr) profile->Feed(block.data(), block.size() / channels, result.format.channels, options.channel);
    pipe.Recycle(std::move(block));
    bool goOn = true;
    for (const reader::DecodedRecord& record : decoder.TakeRecords()) {
      if (goOn && !sink(record)) goOn = false;
    }
    if (!goOn) {
      stopped = true;
      pipe.Stop();
      break;
    }
  }
  decoding.Join();
  if (!stopped) {
    decoder.Finish();
    for (const reader::DecodedRecord& record : decoder.TakeRecords()) {
      if (!sink(record)) break;
    }
  }
  result.problem = stream.Problem();
  return result;
}

std::string ReadErrorText(reader::ReadError error, const reader::RecordingReader& recording,
                          const reader::DecoderOptions& options, Language language) {
  if (error == reader::ReadError::kNoSuchChannel) {
    const auto format = recording.Format();
    const int channels = format ? format->channels : 0;
    return Say(TextId::kNoSuchChannel, language,
               {std::to_string(options.channel + 1), std::to_string(channels)});
  }
  return WavErrorText(recording.WavErrorCode(), language);
}

// Hands every completed record to the sink; false when it asked to stop.
bool Deliver(reader::RecordingReader& recording, const RecordSink& sink) {
  for (const reader::DecodedRecord& record : recording.TakeRecords()) {
    if (!sink(record)) return false;
  }
  return true;
}

// A RIFF/WAVE file, `head` being its first bytes.
std::string ReadWav(platform::InputFile& input, std::vector<std::uint8_t> head,
                    const reader::DecoderOptions& options, Language language, const RecordSink& sink,
                    reader::SignalProfile* profile) {
  reader::RecordingReader recording(options);
  recording.AttachProfile(profile);
  std::vector<std::uint8_t> block = std::move(head);
  std::size_t got = block.size();
  block.resize(std::max(block.size(), kReadBlockBytes));
  platform::FileError fileError = platform::FileError::kNone;
  while (got > 0) {
    const reader::ReadError error = recording.Feed(block.data(), got);
    const bool goOn = Deliver(recording, sink);
    if (error != reader::ReadError::kNone) return ReadErrorText(error, recording, options, language);
    if (!goOn) return "";
    got = input.Read(block.data(), block.size(), fileError);
    if (fileError != platform::FileError::kNone) {
      // What was read up to the failure still gives its records, the last
      // one cut short.
      recording.Finish();
      Deliver(recording, sink);
      return Say(TextId::kCannotRead, language, {FileErrorText(fileError, language)});
    }
  }
  const reader::ReadError error = recording.Finish();
  Deliver(recording, sink);
  if (error != reader::ReadError::kNone) return ReadErrorText(error, recording, options, language);
  return "";
}

// Any other container the audio library decodes.
std::string ReadAudio(platform::InputFile& input, std::vector<std::uint8_t> head,
                      decoding::Container container, const reader::DecoderOptions& options,
                      Language language, const RecordSink& sink, reader::SignalProfile* profile) {
  InputFileSource source(input);
  const decoding::AudioReadResult result = DecodeBeside(source, std::move(head), options, sink, profile);
  if (result.noSuchChannel) {
    return Say(TextId::kNoSuchChannel, language,
               {std::to_string(options.channel + 1), std::to_string(result.format.channels)});
  }
  const decoding::StreamProblem& problem = result.problem;
  const std::string name = decoding::ContainerName(container);
  switch (problem.error) {
    case decoding::StreamError::kNone: return "";
    case decoding::StreamError::kInputFailed:
      return Say(TextId::kCannotRead, language, {FileErrorText(source.Error(), language)});
    case decoding::StreamError::kNotDecodable:
      return Say(TextId::kStreamCannotDecode, language, {name, problem.detail});
    case decoding::StreamError::kSeekBackTooFar: return Say(TextId::kStreamSeeksBack, language, {name});
    case decoding::StreamError::kNoData: return Text(TextId::kWavNoData, language);
    case decoding::StreamError::kUnsupportedChannels: return Text(TextId::kStreamUnsupportedChannels, language);
    case decoding::StreamError::kUnsupportedRate: return Text(TextId::kWavUnsupportedRate, language);
    case decoding::StreamError::kCorrupt: break;
  }
  const double seconds =
      result.format.sampleRate > 0 ? static_cast<double>(problem.frame) / result.format.sampleRate : 0;
  return Say(TextId::kStreamDamaged, language,
             {name, FormatTime(seconds), std::to_string(problem.byteOffset), problem.detail});
}

}  // namespace

std::string ReadRecording(const std::string& operand, const reader::DecoderOptions& options,
                          Language language, const RecordSink& sink, reader::SignalProfile* profile) {
  platform::FileError fileError = platform::FileError::kNone;
  platform::InputFile input =
      operand == "-" ? platform::InputFile::StandardInput() : platform::InputFile::Open(operand, fileError);
  if (!input.IsOpen()) return Say(TextId::kCannotRead, language, {FileErrorText(fileError, language)});

  // The first block, long enough to tell the container (a pipe may give it
  // in pieces).
  std::vector<std::uint8_t> head(kReadBlockBytes);
  std::size_t got = 0;
  while (got < decoding::kProbeBytes) {
    const std::size_t n = input.Read(head.data() + got, head.size() - got, fileError);
    if (fileError != platform::FileError::kNone)
      return Say(TextId::kCannotRead, language, {FileErrorText(fileError, language)});
    if (n == 0) break;
    got += n;
  }
  head.resize(got);
  const decoding::Container container = decoding::ProbeContainer(head.data(), head.size());
  switch (container) {
    case decoding::Container::kRiffWave: return ReadWav(input, std::move(head), options, language, sink, profile);
    case decoding::Container::kUnknown: return Text(TextId::kUnknownFormat, language);
    default: break;
  }
  return ReadAudio(input, std::move(head), container, options, language, sink, profile);
}

}  // namespace reader_tool
