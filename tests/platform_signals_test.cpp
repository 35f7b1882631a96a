// The POSIX signals that would end lentok-read mid-write or leave its read
// waiting, and what the platform layer makes of them: the file-size limit
// and a reader that has gone become write failures, and a stop signal ends
// a blocked read wherever it lands. Each case runs in a child process of
// its own, as it changes what the process does on a signal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;

namespace {

// What went wrong in a child, one line each.
class Failures {
 public:
  void Check(bool ok, const std::string& what) {
    if (!ok) text_ += what + "\n";
  }
  // Ends the child: the failures on `descriptor`, and status 0 when there
  // were none.
  [[noreturn]] void Finish(int descriptor = STDERR_FILENO) const {
    if (!text_.empty() && write(descriptor, text_.data(), text_.size()) < 0) {
      // The status says it all the same.
    }
    _exit(text_.empty() ? 0 : 1);
  }

 private:
  std::string text_;
};

// --- The file-size limit ---

constexpr rlim_t kSizeLimit = 1000;

struct SizeLimitCase {
  const char* name;
  bool replacing;
  bool existing;  // a file is at the final name already
};

[[noreturn]] void WritePastTheSizeLimit(const SizeLimitCase& c, const TempDir& dir) {
  Failures failures;
  const struct rlimit limit {kSizeLimit, kSizeLimit};
  failures.Check(setrlimit(RLIMIT_FSIZE, &limit) == 0, "setrlimit failed");
  platform::IgnoreFileSizeSignal();
  const std::vector<std::string> before = FilesIn(dir.path());
  platform::FileError error = platform::FileError::kNone;
  platform::OutputFile file = c.replacing ? platform::OutputFile::CreateReplacing(dir / "image", error)
                                          : platform::OutputFile::CreateNew(dir / "image", error);
  failures.Check(error == platform::FileError::kNone, "not created");
  const Bytes image(4 * kSizeLimit, 0x5A);
  failures.Check(file.Write(image.data(), image.size()) == platform::FileError::kNoSpace,
                 "the write past the limit is not kNoSpace");
  failures.Check(FilesIn(dir.path()) == before, "the failed write left a file behind");
  failures.Check(file.Commit() == platform::FileError::kNoSpace, "Commit does not repeat the failure");
  failures.Finish();
}

// Without the signal ignored, the write would end the child with SIGXFSZ
// and leave the part written under the temporary name.
TEST(PlatformSignals, AWritePastTheFileSizeLimitFailsAndLeavesNothing) {
  const SizeLimitCase cases[] = {
      {"new", false, false},
      {"replacing nothing", true, false},
      {"replacing a file", true, true},
  };
  for (const SizeLimitCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (c.existing) WriteBytes(dir / "image", {1, 2, 3});
    EXPECT_EXIT(WritePastTheSizeLimit(c, dir), testing::ExitedWithCode(0), "");
    EXPECT_EQ(FilesIn(dir.path()), c.existing ? std::vector<std::string>{"image"} : std::vector<std::string>{});
    if (c.existing) {
      EXPECT_EQ(ReadBytes(dir / "image"), (Bytes{1, 2, 3}));
    }
  }
}

// --- Reports that cannot be written ---

enum class Output { kClosedPipe, kFullDevice, kClosedStream, kDrainedPipe };

struct ReportCase {
  const char* name;
  platform::StandardStream stream;
  Output output;
  bool written;
};

[[noreturn]] void WriteReport(const ReportCase& c) {
  Failures failures;
  const int report = dup(STDERR_FILENO);  // the failures go here when stderr is the case
  platform::IgnoreBrokenPipe();
  const int target = c.stream == platform::StandardStream::kOutput ? STDOUT_FILENO : STDERR_FILENO;
  // More than a pipe holds, so that the text goes out in several writes.
  std::string text(200000, ' ');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 23);
  std::string received;
  std::thread drain;
  int ends[2] = {-1, -1};
  switch (c.output) {
    case Output::kClosedPipe:
      failures.Check(pipe(ends) == 0, "pipe failed");
      close(ends[0]);
      dup2(ends[1], target);
      close(ends[1]);
      break;
    case Output::kFullDevice: {
      const int full = open("/dev/full", O_WRONLY);
      failures.Check(full >= 0, "no /dev/full");
      dup2(full, target);
      close(full);
      break;
    }
    case Output::kClosedStream:
      close(target);
      break;
    case Output::kDrainedPipe:
      failures.Check(pipe(ends) == 0, "pipe failed");
      drain = std::thread([&received, from = ends[0]] {
        char chunk[4096];
        ssize_t got;
        while ((got = read(from, chunk, sizeof chunk)) > 0) received.append(chunk, static_cast<std::size_t>(got));
      });
      dup2(ends[1], target);
      close(ends[1]);
      break;
  }
  const bool written = platform::WriteText(c.stream, text);
  if (drain.joinable()) {
    close(target);
    drain.join();
    failures.Check(received == text, "the text arrived cut or changed");
  }
  failures.Check(written == c.written, written ? "WriteText says written" : "WriteText says not written");
  failures.Finish(report);
}

// Without SIGPIPE ignored, the closed pipes end the child instead.
TEST(PlatformSignals, WritingTextSaysWhetherItAllWentOut) {
  using platform::StandardStream;
  const ReportCase cases[] = {
      {"output to a pipe nobody reads", StandardStream::kOutput, Output::kClosedPipe, false},
      {"errors to a pipe nobody reads", StandardStream::kError, Output::kClosedPipe, false},
      {"output to a full device", StandardStream::kOutput, Output::kFullDevice, false},
      {"output closed", StandardStream::kOutput, Output::kClosedStream, false},
      {"output to a pipe read to its end", StandardStream::kOutput, Output::kDrainedPipe, true},
  };
  for (const ReportCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EXIT(WriteReport(c), testing::ExitedWithCode(0), "");
  }
}

// --- Stop signals ---

enum class Input { kPipeOnStandardInput, kFifo };
enum class Sender { kTheReadingThread, kAnotherThread, kAnotherProcess };

struct StopCase {
  const char* name;
  int signal;
  Input input;
  Sender sender;
};

// Waits until the thread `id` of this process sleeps: it is then inside
// the read that is to be ended. Where /proc cannot tell, it goes on at
// once, and the case only shows that a stop caught before the read ends it.
void WaitUntilAsleep(pid_t id) {
  const std::string path = "/proc/self/task/" + std::to_string(id) + "/stat";
  for (;;) {
    std::ifstream status(path);
    std::string line;
    if (!std::getline(status, line)) return;
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size() || line[close + 2] == 'S') return;
    std::this_thread::yield();
  }
}

[[noreturn]] void StopABlockedRead(const StopCase& c, const TempDir& dir) {
  alarm(10);  // a read left blocked ends the child by a signal, not the test by a hang
  Failures failures;
  failures.Check(platform::InstallStopSignals(), "stop signals not installed");
  // The writing end stays open, so the input never ends by itself.
  int writer = -1;
  platform::InputFile input;
  platform::FileError error = platform::FileError::kNone;
  if (c.input == Input::kPipeOnStandardInput) {
    int ends[2];
    failures.Check(pipe(ends) == 0, "pipe failed");
    dup2(ends[0], STDIN_FILENO);
    close(ends[0]);
    writer = ends[1];
    input = platform::InputFile::StandardInput();
  } else {
    failures.Check(mkfifo((dir / "fifo").c_str(), 0600) == 0, "mkfifo failed");
    writer = open((dir / "fifo").c_str(), O_RDWR);  // so that opening it to read does not wait
    input = platform::InputFile::Open(dir / "fifo", error);
    failures.Check(error == platform::FileError::kNone, "the FIFO did not open");
  }
  failures.Check(write(writer, "abc", 3) == 3, "nothing written to the input");

  std::atomic<pid_t> readerId{0};
  std::size_t first = 0;
  std::size_t second = 99;
  platform::FileError secondError = platform::FileError::kOther;
  std::thread reader([&] {
    std::uint8_t buffer[16];
    platform::FileError firstError = platform::FileError::kOther;
    first = input.Read(buffer, sizeof buffer, firstError);
    readerId = static_cast<pid_t>(syscall(SYS_gettid));
    second = input.Read(buffer, sizeof buffer, secondError);
  });
  while (readerId == 0) std::this_thread::yield();
  WaitUntilAsleep(readerId);
  switch (c.sender) {
    case Sender::kTheReadingThread:
      pthread_kill(reader.native_handle(), c.signal);
      break;
    case Sender::kAnotherThread:
      pthread_kill(pthread_self(), c.signal);
      break;
    case Sender::kAnotherProcess: {
      const pid_t parent = getpid();
      const pid_t sender = fork();
      if (sender == 0) {
        kill(parent, c.signal);
        _exit(0);
      }
      waitpid(sender, nullptr, 0);
      break;
    }
  }
  reader.join();
  failures.Check(first == 3, "the bytes waiting were not read");
  failures.Check(second == 0 && secondError == platform::FileError::kNone,
                 "the blocked read did not end as the input's end");
  failures.Check(platform::CaughtStopSignal() == c.signal, "CaughtStopSignal is not the signal sent");
  // Once stopped, a read returns at once.
  std::uint8_t buffer[16];
  failures.Check(write(writer, "d", 1) == 1 && input.Read(buffer, sizeof buffer, error) == 0,
                 "a read after the stop went on reading");
  failures.Finish();
}

// A read that merely went on when interrupted would stay blocked in every
// case; one that looked for the stop only when interrupted, in those where
// the signal lands on another thread.
TEST(PlatformSignals, AStopSignalEndsABlockedReadWhereverItLands) {
  const StopCase cases[] = {
      {"SIGTERM to the reading thread, pipe", SIGTERM, Input::kPipeOnStandardInput, Sender::kTheReadingThread},
      {"SIGTERM to the reading thread, FIFO", SIGTERM, Input::kFifo, Sender::kTheReadingThread},
      {"SIGTERM to another thread, pipe", SIGTERM, Input::kPipeOnStandardInput, Sender::kAnotherThread},
      {"SIGINT to another thread, FIFO", SIGINT, Input::kFifo, Sender::kAnotherThread},
      {"SIGINT from another process, pipe", SIGINT, Input::kPipeOnStandardInput, Sender::kAnotherProcess},
      {"SIGTERM from another process, FIFO", SIGTERM, Input::kFifo, Sender::kAnotherProcess},
  };
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    EXPECT_EXIT(StopABlockedRead(c, dir), testing::ExitedWithCode(0), "");
  }
}

struct StopSequenceCase {
  const char* name;
  bool interruptIgnored;  // SIGINT ignored before the stop signals are installed
  std::vector<int> raised;
  int caught;  // what CaughtStopSignal says when the program lives on
  int ending;  // the signal that ends the program, or 0
};

[[noreturn]] void RaiseInTurn(const StopSequenceCase& c) {
  Failures failures;
  if (c.interruptIgnored) signal(SIGINT, SIG_IGN);
  failures.Check(platform::InstallStopSignals(), "stop signals not installed");
  for (const int number : c.raised) raise(number);
  failures.Check(platform::CaughtStopSignal() == c.caught, "CaughtStopSignal is not the first caught");
  failures.Finish();
}

TEST(PlatformSignals, OnlyTheFirstStopSignalIsCaught) {
  const StopSequenceCase cases[] = {
      {"SIGINT", false, {SIGINT}, SIGINT, 0},
      {"SIGTERM", false, {SIGTERM}, SIGTERM, 0},
      {"SIGINT twice", false, {SIGINT, SIGINT}, SIGINT, SIGINT},
      {"SIGINT, then SIGTERM", false, {SIGINT, SIGTERM}, SIGINT, SIGTERM},
      {"SIGTERM, then SIGINT", false, {SIGTERM, SIGINT}, SIGTERM, SIGINT},
      {"SIGINT ignored from the start stays so", true, {SIGINT, SIGTERM, SIGINT}, SIGTERM, 0},
  };
  for (const StopSequenceCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.ending != 0) {
      EXPECT_EXIT(RaiseInTurn(c), testing::KilledBySignal(c.ending), "");
    } else {
      EXPECT_EXIT(RaiseInTurn(c), testing::ExitedWithCode(0), "");
    }
  }
}

}  // namespace
