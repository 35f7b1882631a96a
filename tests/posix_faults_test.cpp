// Faults that only POSIX systems can stage: file-size limits, full devices,
// pipes as output, FIFOs as input, interrupted and partial system calls, and
// the write-behind buffer's failures. Whole runs of the built tool first,
// then the platform layer on its own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "formats/wav_file.h"
#include "platform/platform.h"
#include "tests/support/expected.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_files.h"

namespace {

Bytes VariedData(std::size_t size) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 37 + (i >> 8));
  return data;
}

// The recording as a stream that could not be patched: the placeholder
// sizes of the header template in place of the real ones.
Bytes WithPlaceholderSizes(Bytes recording) {
  std::copy(kWavHeaderTemplate.begin(), kWavHeaderTemplate.end(), recording.begin());
  return recording;
}

// What a user would lose if a failed read came after the output's creation:
// a real recording under the output's name.
Bytes KeepAnOldRecording(const std::string& input, const std::string& output) {
  WriteBytes(input, MakeConsistentImage(0x1000, VariedData(40)));
  if (RunTool({input, output}).status != 0) return {};
  return ReadBytes(output);
}

Bytes Prefix(const Bytes& bytes, std::size_t length) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

void ExpectWriteError(const ToolResult& result) {
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, WriteErrorText());
  EXPECT_EQ(result.out, "");
}

// Reads a pipe to its end on a thread of its own, so that the tool can
// write more than the pipe holds.
class PipeDrain {
 public:
  PipeDrain() {
    if (pipe2(fds_, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    reader_ = std::thread([this] {
      std::uint8_t chunk[65536];
      ssize_t got;
      while ((got = read(fds_[0], chunk, sizeof chunk)) > 0) stream_.insert(stream_.end(), chunk, chunk + got);
    });
  }
  ~PipeDrain() { Finish(); }

  int writeEnd() const { return fds_[1]; }

  // Closes this process's write end and waits for everything written.
  const Bytes& Finish() {
    if (fds_[1] != -1) close(fds_[1]);
    fds_[1] = -1;
    if (reader_.joinable()) reader_.join();
    if (fds_[0] != -1) close(fds_[0]);
    fds_[0] = -1;
    return stream_;
  }

 private:
  int fds_[2] = {-1, -1};
  Bytes stream_;
  std::thread reader_;
};

class Faults : public ::testing::Test {
 protected:
  std::string In() const { return dir_ / "game.rks"; }
  std::string Out() const { return dir_ / "game.wav"; }

  Bytes WriteImage(std::size_t dataSize) {
    const Bytes image = MakeConsistentImage(0x4000, VariedData(dataSize));
    WriteBytes(In(), image);
    return image;
  }

  static ToolOptions FileSizeLimit(rlim_t bytes) {
    ToolOptions options;
    options.beforeExec = [bytes] {
      const rlimit limit{bytes, bytes};
      setrlimit(RLIMIT_FSIZE, &limit);
    };
    return options;
  }

  TempDir dir_;
};

}  // namespace

TEST_F(Faults, AFileSizeLimitMidRecordingGivesTheWriteErrorAndKeepsWhatWasWritten) {
  const Bytes image = WriteImage(65546);
  const Bytes expected = WithPlaceholderSizes(ExpectedRecording(image, {false, false, "GAME.RKS"}));
  // Neither a multiple of the sample block nor of any buffer size.
  const std::size_t limit = 1000001;
  const ToolResult result = RunTool({In(), Out()}, "", FileSizeLimit(limit));
  ExpectWriteError(result);
  const Bytes written = ReadBytes(Out());
  ASSERT_EQ(written.size(), limit);
  EXPECT_EQ(written, Prefix(expected, limit));
}

TEST_F(Faults, AFileSizeLimitAtTheVeryEndIsStillTheWriteError) {
  const Bytes image = WriteImage(100);
  const Bytes expected = ExpectedRecording(image, {false, true, ""});

  // One byte short: only the last piece of samples fails to go out.
  ExpectWriteError(RunTool({"-x", In(), Out()}, "", FileSizeLimit(expected.size() - 1)));
  EXPECT_EQ(ReadBytes(Out()), Prefix(WithPlaceholderSizes(expected), expected.size() - 1));

  // Exactly enough: the patch stays inside the file.
  const ToolResult fits = RunTool({"-x", In(), Out()}, "", FileSizeLimit(expected.size()));
  EXPECT_EQ(fits.status, 0);
  EXPECT_EQ(ReadBytes(Out()), expected);
}

TEST_F(Faults, AFullDeviceGivesTheWriteError) {
  WriteImage(10);
  ExpectWriteError(RunTool({In(), "/dev/full"}));
  ExpectWriteError(RunTool({"-x", In(), "/dev/full"}));
}

TEST_F(Faults, APipeNamedAsTheOutputCarriesHeaderAndSamplesAndNothingElse) {
  const Bytes image = WriteImage(300);
  PipeDrain drain;
  ToolOptions options;
  options.beforeExec = [&drain] { dup2(drain.writeEnd(), 9); };
  const ToolResult result = RunTool({In(), "/dev/fd/9"}, "", options);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(drain.Finish(), WithPlaceholderSizes(ExpectedRecording(image, {false, false, "GAME.RKS"})));
}

// With the recording going to standard output, the report goes to standard
// error: after the samples it would corrupt the stream, and through a
// redirection to a file it would overwrite the header.
TEST_F(Faults, ARecordingOnStandardOutputKeepsTheReportOutOfIt) {
  const Bytes image = WriteImage(30);
  const std::string report = ReportText("4000", "401D", Hex(ReferenceChecksum(VariedData(30))));
  const Bytes recording = ExpectedRecording(image, {true, false, "GAME.RKS"});

  PipeDrain drain;
  ToolOptions intoPipe;
  intoPipe.beforeExec = [&drain] { dup2(drain.writeEnd(), STDOUT_FILENO); };
  const ToolResult piped = RunTool({"-k", In(), "/dev/stdout"}, "", intoPipe);
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.err, report);
  EXPECT_EQ(drain.Finish(), WithPlaceholderSizes(recording));

  ToolOptions intoFile;
  intoFile.stdoutFile = Out();
  const ToolResult redirected = RunTool({"-k", In(), "/dev/stdout"}, "", intoFile);
  EXPECT_EQ(redirected.status, 0);
  EXPECT_EQ(redirected.err, report);
  EXPECT_EQ(ReadBytes(Out()), recording);

  // Into a device that keeps nothing, the report stays where it was sent.
  ToolOptions intoNull;
  intoNull.stdoutFile = "/dev/null";
  const ToolResult discarded = RunTool({"-k", In(), "/dev/null"}, "", intoNull);
  EXPECT_EQ(discarded.status, 0);
  EXPECT_EQ(discarded.err, "");
}

TEST_F(Faults, APipeWhoseReaderIsGoneGivesTheWriteErrorInsteadOfADeath) {
  WriteImage(10);
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  close(fds[0]);
  ToolOptions options;
  options.beforeExec = [&fds] { dup2(fds[1], 9); };
  ExpectWriteError(RunTool({In(), "/dev/fd/9"}, "", options));
  close(fds[1]);
}

TEST_F(Faults, AFifoAsInputIsTheReadErrorWithoutWaiting) {
  const Bytes kept = KeepAnOldRecording(dir_ / "old.rks", Out());
  ASSERT_FALSE(kept.empty());
  const std::string fifo = dir_ / "tape.rks";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ToolOptions options;
  options.beforeExec = [] { alarm(10); };  // a hang ends as a signal, not a stuck test

  const ToolResult noWriter = RunTool({fifo, Out()}, "", options);
  EXPECT_EQ(noWriter.signal, 0);
  EXPECT_EQ(noWriter.status, 1);
  EXPECT_EQ(noWriter.err, ReadErrorText());
  EXPECT_EQ(ReadBytes(Out()), kept);

  // With a writer that has put a whole image in, it is still no file.
  const int writer = open(fifo.c_str(), O_RDWR);
  ASSERT_GE(writer, 0);
  const Bytes image = MakeConsistentImage(0, {1, 2, 3});
  ASSERT_EQ(write(writer, image.data(), image.size()), static_cast<ssize_t>(image.size()));
  const ToolResult withWriter = RunTool({fifo, Out()}, "", options);
  close(writer);
  EXPECT_EQ(withWriter.signal, 0);
  EXPECT_EQ(withWriter.status, 1);
  EXPECT_EQ(withWriter.err, ReadErrorText());
  EXPECT_EQ(ReadBytes(Out()), kept);
}

// A device has no size to check an image against: refused, and refused
// before an existing output is touched. /dev/zero would never end.
TEST_F(Faults, ADeviceAsInputIsTheReadErrorAndLeavesAnExistingOutputAsItWas) {
  const Bytes kept = KeepAnOldRecording(dir_ / "old.rks", Out());
  ASSERT_FALSE(kept.empty());
  ToolOptions options;
  options.beforeExec = [] { alarm(10); };
  for (const char* device : {"/dev/zero", "/dev/null"}) {
    const ToolResult result = RunTool({device, Out()}, "", options);
    EXPECT_EQ(result.signal, 0) << device;
    EXPECT_EQ(result.status, 1) << device;
    EXPECT_EQ(result.err, ReadErrorText()) << device;
    EXPECT_EQ(ReadBytes(Out()), kept) << device;
  }
}

// A report to a pipe whose reader is gone is lost; the run fails, but the
// recording is complete and stays. (A full device: conversion_test.cpp.)
TEST_F(Faults, AReportIntoAPipeWithoutAReaderIsTheWriteErrorWithTheRecordingComplete) {
  const Bytes image = WriteImage(25);
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  close(fds[0]);
  ToolOptions options;
  options.beforeExec = [&fds] { dup2(fds[1], STDOUT_FILENO); };
  ExpectWriteError(RunTool({In(), Out()}, "", options));
  close(fds[1]);
  EXPECT_EQ(ReadBytes(Out()), ExpectedRecording(image, {false, false, "GAME.RKS"}));
}

// --- The platform layer on its own ------------------------------------------

namespace {

platform::FileHandle CreateOutput(const std::string& path) {
  return platform::CreateFileA(path.c_str(), platform::kGenericWrite, platform::kNoSharing,
                               platform::kCreateAlways, platform::kFileAttributeNormal);
}

platform::FileHandle HandleOf(int fd) { return static_cast<platform::FileHandle>(fd); }

std::uint32_t Write(platform::FileHandle handle, const std::uint8_t* bytes, std::uint32_t count) {
  std::uint32_t transferred = 0;
  platform::WriteFile(handle, bytes, count, &transferred);
  return transferred;
}

}  // namespace

TEST(WriteBehind, AFailedFlushIsReportedByEveryLaterCountedOperation) {
  const platform::FileHandle full = CreateOutput("/dev/full");
  ASSERT_NE(full, platform::kInvalidHandle);
  const Bytes block(512, 0x33);
  // /dev/full can seek, so only the flush inside the seek can fail it.
  EXPECT_EQ(Write(full, block.data(), 512), 512u);  // held back, not yet known
  EXPECT_EQ(platform::SetFilePointer(full, 0, platform::kFileCurrent), platform::kInvalidSetFilePointer);
  EXPECT_EQ(Write(full, block.data(), 512), 0u);
  EXPECT_FALSE(platform::FlushFileBuffers(full));
  EXPECT_EQ(platform::SetFilePointer(full, 0, platform::kFileBegin), platform::kInvalidSetFilePointer);
  platform::CloseHandle(full);
}

TEST(WriteBehind, APipeThatFailsIsAWriteErrorAndNotASkippedPatch) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  close(fds[0]);
  signal(SIGPIPE, SIG_IGN);
  ConversionState state;
  state.outputHandle = HandleOf(fds[1]);
  WriteWavHeader(state);  // held back
  // The position of a pipe cannot be had, but here the writing failed first.
  EXPECT_NE(PatchWavSizes(state), 0u);
  platform::CloseHandle(state.outputHandle);
}

TEST(WriteBehind, TwoFilesWrittenInTurnEachGetTheirOwnBytesInOrder) {
  TempDir dir;
  const platform::FileHandle first = CreateOutput(dir / "first");
  const platform::FileHandle second = CreateOutput(dir / "second");
  Bytes expectedFirst;
  Bytes expectedSecond;
  for (std::uint32_t round = 0; round < 300; ++round) {
    const Bytes a(700 + round, static_cast<std::uint8_t>(round));
    const Bytes b(300, static_cast<std::uint8_t>(~round));
    ASSERT_EQ(Write(first, a.data(), static_cast<std::uint32_t>(a.size())), a.size());
    ASSERT_EQ(Write(second, b.data(), 300), 300u);
    expectedFirst.insert(expectedFirst.end(), a.begin(), a.end());
    expectedSecond.insert(expectedSecond.end(), b.begin(), b.end());
  }
  EXPECT_TRUE(platform::FlushFileBuffers(first));
  EXPECT_TRUE(platform::FlushFileBuffers(second));
  platform::CloseHandle(second);
  platform::CloseHandle(first);
  EXPECT_EQ(ReadBytes(dir / "first"), expectedFirst);
  EXPECT_EQ(ReadBytes(dir / "second"), expectedSecond);
}

namespace {

std::atomic<int> interruptions{0};
void CountInterruption(int) { ++interruptions; }

// SIGALRM every half millisecond, with a handler installed without
// SA_RESTART, so that blocked reads and writes come back with EINTR or
// with a part of their count. Threads started meanwhile do not take it.
class Interrupted : public ::testing::Test {
 protected:
  void SetUp() override {
    struct sigaction action {};
    action.sa_handler = CountInterruption;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGALRM, &action, &previous_);
    // A side left alone by a failing reader or writer sees EPIPE, not a death.
    signal(SIGPIPE, SIG_IGN);
    interruptions = 0;
  }
  void TearDown() override {
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous_, nullptr);
  }

  // Starts a thread with SIGALRM blocked, then the timer.
  template <typename Work>
  std::thread StartQuietThread(Work work) {
    sigset_t alarm;
    sigset_t old;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &alarm, &old);
    std::thread thread(work);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    const itimerval every{{0, 500}, {0, 500}};
    setitimer(ITIMER_REAL, &every, nullptr);
    return thread;
  }

  struct sigaction previous_ {};
};

Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + (i >> 12));
  return bytes;
}

}  // namespace

TEST_F(Interrupted, WritesToASlowReaderArriveWholeAndInOrder) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  const Bytes data = Pattern(4 << 20);
  Bytes received;
  std::thread reader = StartQuietThread([&] {
    std::uint8_t chunk[16384];
    ssize_t got;
    while ((got = read(fds[0], chunk, sizeof chunk)) > 0) {
      received.insert(received.end(), chunk, chunk + got);
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  });

  const platform::FileHandle out = HandleOf(fds[1]);
  // Half as 512-byte writes that the buffer collects, half as one large one.
  const std::uint32_t half = static_cast<std::uint32_t>(data.size() / 2);
  std::uint32_t counted = 0;
  for (std::uint32_t at = 0; at < half; at += 512) counted += Write(out, data.data() + at, 512);
  EXPECT_TRUE(platform::FlushFileBuffers(out));
  counted += Write(out, data.data() + half, half);
  platform::CloseHandle(out);
  reader.join();
  close(fds[0]);

  EXPECT_GT(interruptions.load(), 0);
  EXPECT_EQ(counted, data.size());
  EXPECT_EQ(received, data);
}

TEST_F(Interrupted, AReadFromASlowWriterIsCompleted) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  const Bytes data = Pattern(1 << 20);
  std::thread writer = StartQuietThread([&] {
    for (std::size_t at = 0; at < data.size(); at += 4096) {
      if (write(fds[1], data.data() + at, 4096) != 4096) break;
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  });

  Bytes got(data.size());
  std::uint32_t transferred = 0;
  platform::ReadFile(HandleOf(fds[0]), got.data(), static_cast<std::uint32_t>(got.size()), &transferred);
  // Closing the read end first lets a writer that still has data go.
  close(fds[0]);
  writer.join();
  close(fds[1]);

  EXPECT_GT(interruptions.load(), 0);
  EXPECT_EQ(transferred, data.size());
  EXPECT_EQ(got, data);
}
