// The read loop over a recording: its first bytes tell the container; a
// RIFF/WAVE file is read through the tool's own WAV reader, any other known
// container through the audio library. Either way the file is read and its
// container decoded into frames on a second thread, while the reading
// context works here on the blocks before; a few blocks in hand between the
// two keep memory flat. For a WAV file that thread also finds the level
// changes the machine's loader would take, which looks at every sample, so
// the two threads share the work about evenly; compressed audio costs more
// to decode than that search, so there the context finds the changes itself.
#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "decoding/audio_recording.h"
#include "decoding/audio_stream.h"
#include "decoding/container_probe.h"
#include "reader/loader_input.h"
#include "reader/read_context.h"
#include "platform/memory.h"
#include "platform/threads.h"
#include "reader_tool/recording_input.h"
#include "reader_tool/report_format.h"
#include "reader_tool/texts.h"

namespace reader_tool {

namespace {

// The input file as the audio library's byte source; keeps the file's
// error for the message. The decoders ask for a few kilobytes at a time
// (libFLAC for 8 KiB), and a system call for each costs more than the
// copying: the file is read in larger pieces and handed out from them.
class InputFileSource : public decoding::ByteSource {
 public:
  explicit InputFileSource(platform::InputFile& input) : input_(input), held_(kReadBlockBytes) {}

  std::size_t Read(std::uint8_t* buffer, std::size_t capacity, bool& failed) override {
    if (next_ == end_) {
      if (capacity >= held_.size()) return ReadInto(buffer, capacity, failed);
      next_ = 0;
      end_ = ReadInto(held_.data(), held_.size(), failed);
    }
    const std::size_t count = std::min(capacity, end_ - next_);
    std::copy(held_.begin() + static_cast<std::ptrdiff_t>(next_),
              held_.begin() + static_cast<std::ptrdiff_t>(next_ + count), buffer);
    next_ += count;
    return count;
  }

  platform::FileError Error() const { return error_; }

 private:
  std::size_t ReadInto(std::uint8_t* buffer, std::size_t capacity, bool& failed) {
    const std::size_t got = input_.Read(buffer, capacity, error_);
    if (error_ != platform::FileError::kNone) failed = true;
    return got;
  }

  platform::InputFile& input_;
  platform::FileError error_ = platform::FileError::kNone;
  std::vector<std::uint8_t> held_;  // read from the file, from next_ to end_ not yet handed out
  std::size_t next_ = 0;
  std::size_t end_ = 0;
};

// What the reading thread hands the reading context: frames, and the
// loader's changes in them when the reading side found them.
struct FrameBlock {
  formats::SampleBuffer samples;
  std::size_t frames = 0;
  reader::LoaderChangesByChannel changes;
  reader::LineTilesByChannel tiles;
  bool changesFound = false;
};

// Blocks handed from the reading thread to the reading context: at most
// kDepth wait at a time, so memory stays flat, and used ones go back to be
// filled again rather than be made anew.
class BlockPipe {
 public:
  static constexpr std::size_t kDepth = 8;

  // Reading side: hands the filled `block` over, waiting while the pipe is
  // full, and takes a used one back in its place to fill next; false when
  // the reading context has stopped.
  bool Put(FrameBlock& block) {
    platform::MonitorLock lock(monitor_);
    while (full_.size() >= kDepth && !stopped_) monitor_.Wait();
    if (stopped_) return false;
    full_.push_back(std::move(block));
    block = FrameBlock{};
    if (!spare_.empty()) {
      block = std::move(spare_.back());
      spare_.pop_back();
    }
    monitor_.NotifyAll();
    return true;
  }

  // Reading side: no more blocks will come.
  void End() {
    platform::MonitorLock lock(monitor_);
    ended_ = true;
    monitor_.NotifyAll();
  }

  // Reading context: gives `block`, done with, back to be filled again and
  // takes the next one in its place, waiting for it; false at the end.
  bool Take(FrameBlock& block) {
    platform::MonitorLock lock(monitor_);
    spare_.push_back(std::move(block));
    while (full_.empty() && !ended_) monitor_.Wait();
    if (full_.empty()) return false;
    block = std::move(full_.front());
    full_.pop_front();
    monitor_.NotifyAll();
    return true;
  }

  // Reading context: wants no more; the reading side stops at its next Put.
  void Stop() {
    platform::MonitorLock lock(monitor_);
    stopped_ = true;
    monitor_.NotifyAll();
  }

 private:
  platform::Monitor monitor_;
  std::deque<FrameBlock> full_;
  std::vector<FrameBlock> spare_;
  bool ended_ = false;
  bool stopped_ = false;
};

// Frames asked of the audio library per block handed over: large enough
// that handing over costs nothing beside the decoding.
constexpr std::size_t kPipeBlockFrames = 16384;

// Fills a block with the next frames, on the reading thread; false at the
// end of the input or at a failure, which the filler keeps to tell.
using BlockFiller = std::function<bool(FrameBlock&)>;

// Runs `fill` on a second thread into the pipe, and feeds the context from
// it here. Where no thread can be started, the filling is done here too,
// in turn. After each block `goOn` says whether to read on.
void DecodeBeside(const BlockFiller& fill, reader::ReadContext& context, const std::function<bool()>& goOn) {
  BlockPipe pipe;
  FrameBlock filling;
  // False at the end, or when the pipe was stopped.
  const auto fillOne = [&]() { return fill(filling) && pipe.Put(filling); };
  platform::Thread reading;
  const bool beside = reading.Start([&] {
    while (fillOne()) {
    }
    pipe.End();
  });
  FrameBlock block;
  for (;;) {
    if (!beside && !fillOne()) pipe.End();
    if (!pipe.Take(block)) break;
    context.FeedFrames(block.samples.Data(), block.frames, block.changesFound ? &block.changes : nullptr,
                       block.changesFound ? &block.tiles : nullptr);
    if (!goOn()) {
      pipe.Stop();
      break;
    }
  }
  reading.Join();
}

// The stream through the audio library, decoded on the second thread.
decoding::AudioReadResult DecodeAudio(decoding::ByteSource& source, std::vector<std::uint8_t> head,
                                      const reader::DecoderOptions& options, reader::ReadContext& context,
                                      const std::function<bool()>& goOn) {
  decoding::AudioReadResult result;
  decoding::AudioStream stream(source, std::move(head));
  if (!decoding::OpenForReading(stream, options, result)) return result;
  if (!context.BeginFrames(result.format.sampleRate, result.format.channels)) {
    result.noSuchChannel = true;
    return result;
  }
  const std::size_t channels = static_cast<std::size_t>(result.format.channels);
  const BlockFiller fill = [&](FrameBlock& block) {
    block.samples.Clear();
    block.frames = stream.Read(block.samples.Extend(kPipeBlockFrames * channels), kPipeBlockFrames);
    block.changesFound = false;
    return block.frames > 0;
  };
  DecodeBeside(fill, context, goOn);
  result.problem = stream.Problem();
  return result;
}

// A RIFF/WAVE file read through the tool's WAV reader, one read of the file
// at a time into frames.
class WavReads {
 public:
  WavReads(platform::InputFile& input, std::vector<std::uint8_t> head) : input_(input), bytes_(std::move(head)) {}

  // Reads on until the format is known; false when the file gives none
  // (WavErrorCode() or FileErrorCode() says why). The frames of what it
  // read wait for the first Fill.
  bool Open() {
    std::size_t from = 0;
    for (;;) {
      if (bytes_.size() == from) {
        wavError_ = wav_.Finish();
        return false;
      }
      wavError_ = wav_.Feed(bytes_.data() + from, bytes_.size() - from, opening_);
      if (wavError_ != formats::WavError::kNone) return false;
      if (wav_.HasFormat()) return true;
      from = bytes_.size();
      bytes_.resize(from + kReadBlockBytes);
      const std::size_t got = input_.Read(bytes_.data() + from, kReadBlockBytes, fileError_);
      bytes_.resize(from + got);
      if (fileError_ != platform::FileError::kNone) return false;
    }
  }

  const formats::WavFormat& Format() const { return wav_.Format(); }

  // The frames of the next read of the file into `frames`; false at the
  // end or at a failure.
  bool Fill(formats::SampleBuffer& frames) {
    frames.Clear();
    if (!opened_) {
      opened_ = true;
      std::swap(frames, opening_);
      return true;
    }
    if (ended_) return false;
    bytes_.resize(kReadBlockBytes);
    const std::size_t got = input_.Read(bytes_.data(), bytes_.size(), fileError_);
    ended_ = fileError_ != platform::FileError::kNone || got == 0;
    if (fileError_ != platform::FileError::kNone) return false;
    wavError_ = got == 0 ? wav_.Finish() : wav_.Feed(bytes_.data(), got, frames);
    if (wavError_ != formats::WavError::kNone) ended_ = true;
    return !ended_;
  }

  formats::WavError WavErrorCode() const { return wavError_; }
  platform::FileError FileErrorCode() const { return fileError_; }

 private:
  platform::InputFile& input_;
  formats::WavStreamReader wav_;
  std::vector<std::uint8_t> bytes_;  // the latest read
  formats::SampleBuffer opening_;    // the frames of the reads until the format was known
  bool opened_ = false;
  bool ended_ = false;
  formats::WavError wavError_ = formats::WavError::kNone;
  platform::FileError fileError_ = platform::FileError::kNone;
};

// A RIFF/WAVE file, `head` being its first bytes.
std::string ReadWav(platform::InputFile& input, std::vector<std::uint8_t> head,
                    const reader::DecoderOptions& options, Language language, reader::ReadContext& context,
                    const std::function<bool()>& goOn) {
  WavReads wav(input, std::move(head));
  if (!wav.Open()) {
    if (wav.FileErrorCode() != platform::FileError::kNone)
      return Say(TextId::kCannotRead, language, {FileErrorText(wav.FileErrorCode(), language)});
    return WavErrorText(wav.WavErrorCode(), language);
  }
  const formats::WavFormat format = wav.Format();
  const auto rate = static_cast<double>(format.sampleRate);
  if (!context.BeginFrames(rate, format.channels)) {
    return Say(TextId::kNoSuchChannel, language,
               {std::to_string(options.channel + 1), std::to_string(format.channels)});
  }
  reader::LoaderInputs loaderInputs(rate, format.channels, options);  // used on the reading thread only
  const BlockFiller fill = [&](FrameBlock& block) {
    if (!wav.Fill(block.samples)) return false;
    block.frames = block.samples.Size() / format.channels;
    loaderInputs.Feed(block.samples.Data(), block.frames, block.changes, &block.tiles);
    block.changesFound = true;
    return true;
  };
  DecodeBeside(fill, context, goOn);
  if (wav.FileErrorCode() != platform::FileError::kNone)
    return Say(TextId::kCannotRead, language, {FileErrorText(wav.FileErrorCode(), language)});
  if (wav.WavErrorCode() != formats::WavError::kNone) return WavErrorText(wav.WavErrorCode(), language);
  return "";
}

// Any other container the audio library decodes.
std::string ReadAudio(platform::InputFile& input, std::vector<std::uint8_t> head,
                      decoding::Container container, const reader::DecoderOptions& options,
                      Language language, reader::ReadContext& context, const std::function<bool()>& goOn) {
  InputFileSource source(input);
  const decoding::AudioReadResult result = DecodeAudio(source, std::move(head), options, context, goOn);
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

std::string ReadRecording(const std::string& operand, const reader::DecoderOptions& options, Language language,
                          reader::ReadContext& context, const std::function<bool()>& goOn) {
  platform::FileError fileError = platform::FileError::kNone;
  platform::InputFile input =
      operand == "-" ? platform::InputFile::StandardInput() : platform::InputFile::Open(operand, fileError);
  if (!input.IsOpen()) return Say(TextId::kCannotRead, language, {FileErrorText(fileError, language)});

  // The first block, long enough to tell the container (a pipe may give it
  // in pieces).
  std::vector<std::uint8_t> head;
  platform::ResizeToWrite(head, kReadBlockBytes);
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
    case decoding::Container::kRiffWave: return ReadWav(input, std::move(head), options, language, context, goOn);
    case decoding::Container::kUnknown: return Text(TextId::kUnknownFormat, language);
    default: break;
  }
  return ReadAudio(input, std::move(head), container, options, language, context, goOn);
}

}  // namespace reader_tool
