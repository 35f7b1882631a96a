// How much memory reading a long recording takes: an hour of signal (a
// record, silence, the record again, all under faint noise), made on the fly
// as a 16-bit WAV stream and handed to the reading context in 64 KiB blocks.
// The peak resident size is printed at 1, 10, 30 and 60 minutes, so that a
// reader whose memory stays flat shows the same figure at each. Then the
// same for an endless stream of damaged copies of the longest record, each
// waiting for the others to combine with: memory grows until the context's
// budget for them is full (after some three hours of them), and then stays. When
// lentok-read is built, the same stream goes through `lentok-read -` on a
// pipe, once for each of those lengths, and its peak is taken from wait4;
// then once more with the stream encoded into FLAC on the way (by the flac
// encoder), so that the audio library's path is measured too.
// It reports and never judges.
//
//   lentok_read_memory [minutes]
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "formats/byte_order.h"
#include "reader/read_context.h"
#include "tests/support/expected.h"
#include "tests/support/test_files.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kRate = 44100;
constexpr std::size_t kBlockSize = 64 * 1024;

#ifdef LENTOK_READ_TOOL_PATH
constexpr const char* kReadTool = LENTOK_READ_TOOL_PATH;
#else
constexpr const char* kReadTool = "";  // lentok-read is not part of this build
#endif

// One turn of the loop as 16-bit little-endian samples: lentok's recording
// of a 1 KiB record with a name header, then three seconds of silence, under
// noise about 30 dB below the record. Made in place from lentok's own
// samples, so that making it leaves no peak of its own above what the
// reader needs.
// With `damagedAt` other than 0, that many bytes into the recording (the
// leader and the name header come first: the data begins some 1030 bytes
// in) a stretch of 40 cells is silenced: every copy then fails its checksum.
Bytes LoopSamples(std::size_t dataBytes = 1024, std::size_t damagedAt = 0) {
  constexpr std::size_t kWavHeaderBytes = 46;  // lentok's header, 18-byte fmt chunk
  constexpr std::size_t kCellBytes = 64;       // 32 samples of 2 bytes
  std::mt19937 generator(7);
  Bytes data(dataBytes);
  for (std::uint8_t& byte : data) byte = static_cast<std::uint8_t>(generator() >> 24);
  RecordingOptions options;
  options.tapeName = "LOOP.RKS";
  Bytes samples = ExpectedRecording(MakeConsistentImage(0x2000, data), options);
  samples.erase(samples.begin(), samples.begin() + kWavHeaderBytes);
  if (damagedAt > 0) std::fill_n(samples.begin() + static_cast<std::ptrdiff_t>(damagedAt * 8 * kCellBytes), 40 * kCellBytes, 0);
  samples.resize(samples.size() + 3 * kRate * 2, 0);
  for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
    // The sum of four uniform values is near enough Gaussian; its standard
    // deviation here is about 1040, 30 dB below the record's 32760.
    long noise = 0;
    for (int k = 0; k < 4; ++k) noise += static_cast<long>(generator() % 1801) - 900;
    const long value = std::clamp<long>(static_cast<std::int16_t>(LoadLe16(&samples[i])) + noise, -32768, 32767);
    StoreLe16(static_cast<std::uint16_t>(value), &samples[i]);
  }
  return samples;
}

// The bytes of a WAV file of `frames` mono 16-bit frames whose samples are
// the loop over and over, handed out block by block.
class LoopedRecording {
 public:
  LoopedRecording(const Bytes& loop, std::uint64_t frames) : loop_(loop), left_(frames * 2) {
    // The canonical 44-byte header: "RIFF" size "WAVE", a 16-byte fmt chunk
    // (PCM, mono, 16 bits), then the data chunk's tag and size.
    std::uint8_t* at = header_;
    at = Tag("RIFF", at);
    at = StoreLe32(static_cast<std::uint32_t>(36 + left_), at);
    at = Tag("WAVE", at);
    at = Tag("fmt ", at);
    at = StoreLe32(16, at);
    at = StoreLe16(1, at);
    at = StoreLe16(1, at);
    at = StoreLe32(kRate, at);
    at = StoreLe32(kRate * 2, at);
    at = StoreLe16(2, at);
    at = StoreLe16(16, at);
    at = Tag("data", at);
    StoreLe32(static_cast<std::uint32_t>(left_), at);
  }

  // The next block, empty at the end.
  const Bytes& Next() {
    block_.clear();
    if (!headerGiven_) {
      block_.assign(header_, header_ + sizeof header_);
      headerGiven_ = true;
    }
    while (block_.size() < kBlockSize && left_ > 0) {
      const std::size_t piece =
          static_cast<std::size_t>(std::min<std::uint64_t>({kBlockSize - block_.size(), loop_.size() - at_, left_}));
      block_.insert(block_.end(), loop_.begin() + static_cast<std::ptrdiff_t>(at_),
                    loop_.begin() + static_cast<std::ptrdiff_t>(at_ + piece));
      at_ = (at_ + piece) % loop_.size();
      left_ -= piece;
    }
    return block_;
  }

 private:
  static std::uint8_t* Tag(const char* tag, std::uint8_t* at) {
    std::copy(tag, tag + 4, at);
    return at + 4;
  }

  const Bytes& loop_;
  std::uint64_t left_;
  std::size_t at_ = 0;
  bool headerGiven_ = false;
  std::uint8_t header_[44];
  Bytes block_;
};

double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

std::uint64_t FramesIn(int minutes) { return static_cast<std::uint64_t>(minutes) * 60 * kRate; }

// Images counted and dropped: what is measured is the reading.
class DiscardingStore : public reader::ImageStore {
 public:
  bool Reserved(const std::string&) override { return false; }
  reader::StoredImage Store(const std::string& name, const std::vector<std::uint8_t>&) override { return {name, ""}; }
};

void ReadInProcess(const char* what, const Bytes& loop, const std::vector<int>& marks) {
  std::printf("%s, through the reading context in this process (peak before reading: %.1f MiB)\n", what,
              PeakMiB());
  std::printf("  %7s  %8s  %8s  %9s\n", "minutes", "records", "sound", "peak MiB");
  LoopedRecording recording(loop, FramesIn(marks.back()));
  DiscardingStore store;
  reader::ReadContext context({}, &store);
  context.BeginRecording("loop.wav");
  std::size_t sound = 0;
  std::uint64_t bytesFed = 0;
  std::size_t nextMark = 0;
  const Clock::time_point start = Clock::now();
  const auto take = [&] {
    for (const reader::ReportEntry& entry : context.TakeEntries()) {
      sound += entry.kind == reader::EntryKind::kRecord && entry.record.status == reader::RecordStatus::kSound;
    }
  };
  for (const Bytes* block = &recording.Next(); !block->empty(); block = &recording.Next()) {
    if (context.FeedBytes(block->data(), block->size()) != reader::ReadError::kNone) {
      std::printf("  the reader refused the stream\n");
      return;
    }
    take();
    bytesFed += block->size();
    while (nextMark < marks.size() && bytesFed >= 44 + FramesIn(marks[nextMark]) * 2) {
      std::printf("  %7d  %8zu  %8zu  %9.1f\n", marks[nextMark], context.Report().records, sound, PeakMiB());
      ++nextMark;
    }
  }
  context.EndRecording();
  context.Finish();
  take();
  std::printf("  at the end: %zu records, %zu sound; %.1f s for %d minutes of signal\n", context.Report().records,
              sound,
              std::chrono::duration<double>(Clock::now() - start).count(), marks.back());
}

// The FLAC encoder, where Debian installs it.
constexpr const char* kFlacEncoder = "/usr/bin/flac";

// Starts the FLAC encoder reading WAV from `input` and writing FLAC to
// `output`; its process id, or -1.
pid_t StartFlacEncoder(int input, int output, int otherEnds[2]) {
  const pid_t encoder = fork();
  if (encoder == 0) {
    dup2(input, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    // Its warnings that it cannot seek back in a pipe say nothing here.
    const int sink = open("/dev/null", O_WRONLY);
    if (sink >= 0) dup2(sink, STDERR_FILENO);
    close(input);
    close(output);
    close(otherEnds[0]);
    close(otherEnds[1]);
    execl(kFlacEncoder, kFlacEncoder, "-s", "-c", "-", static_cast<char*>(nullptr));
    _exit(127);
  }
  return encoder;
}

// `lentok-read -q --force -o <scratch> -` fed `minutes` of the stream on a
// pipe, as WAV or, when `asFlac`, through the FLAC encoder; its peak
// resident size in MiB, or a negative value when it failed.
double ToolPeakMiB(const std::string& tool, const Bytes& loop, int minutes, const std::string& scratch,
                   bool asFlac) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return -1;
  pid_t encoder = 0;
  if (asFlac) {
    // This process writes WAV into `wavEnds`; the encoder turns it into the
    // FLAC that lentok-read reads from `pipeEnds`.
    int wavEnds[2];
    if (pipe(wavEnds) != 0) return -1;
    encoder = StartFlacEncoder(wavEnds[0], pipeEnds[1], pipeEnds);
    close(wavEnds[0]);
    close(pipeEnds[1]);
    pipeEnds[1] = wavEnds[1];
    if (encoder < 0) return -1;
  }
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipeEnds[0], STDIN_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    const int sink = open("/dev/null", O_WRONLY);
    if (sink >= 0) {
      dup2(sink, STDOUT_FILENO);
      dup2(sink, STDERR_FILENO);
    }
    execl(tool.c_str(), tool.c_str(), "-q", "--force", "-o", scratch.c_str(), "-", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeEnds[0]);
  LoopedRecording recording(loop, FramesIn(minutes));
  bool reading = child > 0;
  for (const Bytes* block = &recording.Next(); reading && !block->empty(); block = &recording.Next()) {
    for (std::size_t done = 0; done < block->size();) {
      const ssize_t put = write(pipeEnds[1], block->data() + done, block->size() - done);
      if (put <= 0) {
        reading = false;  // the reader went away
        break;
      }
      done += static_cast<std::size_t>(put);
    }
  }
  close(pipeEnds[1]);
  int status = 0;
  rusage usage{};
  if (child <= 0 || wait4(child, &status, 0, &usage) != child) return -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) return -1;
  int encoderStatus = 0;
  if (asFlac && (waitpid(encoder, &encoderStatus, 0) != encoder || !WIFEXITED(encoderStatus) ||
                 WEXITSTATUS(encoderStatus) != 0))
    return -1;
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Runs before the in-process read: a forked child starts with the pages its
// parent holds at that moment, and the kernel counts them in the child's
// peak, so the parent is kept small here.
void ReadThroughTool(const std::string& tool, const Bytes& loop, const std::vector<int>& marks) {
  std::printf("lentok-read - on a pipe, one run per length (this process's peak so far: %.1f MiB,\n"
              "which a forked child's figure can include)\n",
              PeakMiB());
  std::printf("  %7s  %14s  %14s\n", "minutes", "WAV, peak MiB", "FLAC, peak MiB");
  const std::string scratch = (std::filesystem::temp_directory_path() / "lentok-read-memory").string();
  const bool flac = access(kFlacEncoder, X_OK) == 0;
  for (int minutes : marks) {
    double peaks[2] = {-1, -1};
    for (const bool asFlac : {false, true}) {
      if (asFlac && !flac) continue;
      std::filesystem::create_directories(scratch);
      peaks[asFlac] = ToolPeakMiB(tool, loop, minutes, scratch, asFlac);
      std::error_code ignored;
      std::filesystem::remove_all(scratch, ignored);
    }
    std::printf("  %7d", minutes);
    for (const double peak : peaks) {
      if (peak < 0) {
        std::printf("  %14s", "failed to run");
      } else {
        std::printf("  %14.1f", peak);
      }
    }
    std::printf("\n");
  }
  if (!flac) std::printf("  (%s is not installed: no FLAC figures)\n", kFlacEncoder);
}

}  // namespace

int main(int argc, char** argv) {
  const int minutes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
  std::vector<int> marks;
  for (int mark : {1, 10, 30, 60}) {
    if (mark < minutes) marks.push_back(mark);
  }
  marks.push_back(minutes);
  // A reader that stops early must not end this program with SIGPIPE.
  signal(SIGPIPE, SIG_IGN);

  const Bytes loop = LoopSamples();
  std::printf("signal: a 1 KiB record and 3 s of silence, repeated, noise about 30 dB down; "
              "44100 Hz 16-bit mono, %d minutes\n\n",
              minutes);
  if (*kReadTool != '\0') {
    ReadThroughTool(kReadTool, loop, marks);
  } else {
    std::printf("lentok-read is not part of this build\n");
  }
  std::printf("\n");
  ReadInProcess("the 1 KiB record", loop, marks);
  std::printf("\n");
  // Hours of them: the budget holds as many as that.
  ReadInProcess("damaged copies of a 16 KiB record, 40 cells silenced in each", LoopSamples(16384, 8000),
                {60, 120, 180, 240, 300});
  return 0;
}
