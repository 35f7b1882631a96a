// Whole runs of the built lentok-read in the ways it could destroy an input,
// lose what it has read or mislead its user: a map or an image written
// over a recording, a report nobody reads, an interrupted live read, a
// file-size limit, recording names that hold control bytes or bytes that
// are not UTF-8, and a report that cannot be written. POSIX only: they use
// signals, resource limits, pipes and /dev/full.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/degrade.h"
#include "tests/support/expected.h"
#include "tests/support/run_read_tool.h"
#include "tests/support/tape_damage.h"
#include "tests/support/test_files.h"
#include "tests/support/wav_out.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kRate = 44100;

Bytes Data(std::size_t size, unsigned seed) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 53 + seed * 29 + (i >> 5));
  return data;
}

const Bytes kGame = MakeConsistentImage(0x1000, Data(300, 1));
const Bytes kOther = MakeConsistentImage(0x2000, Data(120, 2));

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// The file's bytes, or none when there is no such file.
Bytes ReadIfThere(const std::string& path) { return FileExists(path) ? ReadBytes(path) : Bytes{}; }

// Whether the file at `path` holds exactly `expected`, told in a line
// rather than as two dumps of bytes.
::testing::AssertionResult Holds(const std::string& path, const Bytes& expected) {
  if (!FileExists(path)) return ::testing::AssertionFailure() << path << " does not exist";
  const Bytes bytes = ReadBytes(path);
  if (bytes == expected) return ::testing::AssertionSuccess();
  const std::size_t common = std::min(bytes.size(), expected.size());
  const std::size_t first =
      static_cast<std::size_t>(std::mismatch(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(common),
                                             expected.begin())
                                   .first -
                               bytes.begin());
  return ::testing::AssertionFailure() << path << " holds " << bytes.size() << " bytes where " << expected.size()
                                       << " were expected, the first difference at byte " << first;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

// Whether a report line gives `image` as the image written: the name whole,
// at the end of the line or before a note that follows it.
bool NamesImage(const std::string& line, const std::string& image) {
  const std::string said = "; image " + image;
  const std::size_t at = line.find(said);
  if (at == std::string::npos) return false;
  const std::size_t after = at + said.size();
  return after == line.size() || line[after] == ' ' || line[after] == ';';
}

// The first line of `text` that starts with `start`, or "".
std::string LineStarting(const std::string& text, const std::string& start) {
  for (const std::string& line : Lines(text)) {
    if (StartsWith(line, start)) return line;
  }
  return "";
}

// Text for the test's own log, with nothing in it that could upset it.
std::string Visible(const std::string& text) {
  std::string out;
  for (const char c : text) out += (static_cast<unsigned char>(c) < 0x20 && c != '\n') ? '?' : c;
  return out;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
  }
  return out;
}

// In the child, before the program starts: the signals as a shell started
// from a terminal leaves them (a test runner may ignore some, and an
// ignored signal stays ignored across exec), and the English texts.
void AsAUserStartsIt() {
  for (const int number : {SIGPIPE, SIGINT, SIGTERM, SIGXFSZ}) signal(number, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  setenv("LANG", "C.UTF-8", 1);
}

// lentok-read itself, so that a death by a signal is its own.
ToolResult RunRead(const std::vector<std::string>& arguments, const std::string& directory,
                   const std::function<void()>& beforeExec = {}, const std::string& stdoutFile = "",
                   const std::string& stdinFile = "") {
  ToolOptions options;
  options.program = ReadToolPath();
  options.stdoutFile = stdoutFile;
  options.stdinFile = stdinFile;
  options.beforeExec = [beforeExec] {
    AsAUserStartsIt();
    if (beforeExec) beforeExec();
  };
  return RunTool(arguments, directory, options);
}

// A report that could not be written fails the run, and says so: the
// user would otherwise take a missing report for one with nothing in it.
void ExpectReportFailure(const ToolResult& result) {
  EXPECT_EQ(result.signal, 0) << "ended by signal " << result.signal;
  EXPECT_EQ(result.status, 1) << result.err;
  const std::vector<std::string> errors = Lines(result.err);
  EXPECT_TRUE(std::any_of(errors.begin(), errors.end(),
                          [](const std::string& line) {
                            return StartsWith(line, "lentok-read: ") && Contains(line, "report");
                          }))
      << "no message about the report in:\n"
      << result.err;
}

// lentok-read reading standard input from a pipe that this test keeps open,
// as a live capture from a sound card is read: the input ends only when the
// test says so. Its report goes to a file, or to a pipe the test reads.
class LiveRead {
 public:
  enum class Report { kToFile, kToPipe };

  LiveRead(const std::vector<std::string>& arguments, const std::string& directory,
           Report report = Report::kToFile) {
    int input[2];
    int output[2] = {-1, -1};
    if (pipe2(input, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (report == Report::kToPipe && pipe2(output, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> command = {ReadToolPath()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const std::string outPath = capture_ / "out";
    const std::string errPath = capture_ / "err";
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      const int out = report == Report::kToPipe ? output[1] : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0 || chdir(directory.c_str()) != 0) _exit(126);
      dup2(input[0], STDIN_FILENO);
      dup2(out, STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      AsAUserStartsIt();
      std::vector<char*> argv;
      for (std::string& word : command) argv.push_back(word.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(input[0]);
    input_ = input[1];
    if (output[1] >= 0) close(output[1]);
    report_ = output[0];
  }

  ~LiveRead() {
    if (running_) {
      kill(pid_, SIGKILL);
      Reap(0);
    }
    EndInput();
    CloseReport();
  }

  LiveRead(const LiveRead&) = delete;
  LiveRead& operator=(const LiveRead&) = delete;

  // Writes `bytes` into the pipe on a thread of its own, after whatever was
  // fed before; the pipe stays open.
  void Feed(Bytes bytes) {
    if (feeder_.joinable()) feeder_.join();
    feeder_ = std::thread([this, bytes = std::move(bytes)] {
      std::size_t at = 0;
      while (at < bytes.size()) {
        const ssize_t put = write(input_, bytes.data() + at, bytes.size() - at);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;  // the reader has gone
        at += static_cast<std::size_t>(put);
      }
    });
  }

  // Once everything fed has gone in, closes the pipe: the end of the input.
  void EndInput() {
    if (feeder_.joinable()) feeder_.join();
    if (input_ >= 0) close(input_);
    input_ = -1;
  }

  // The report up to the end of its first line, waiting at most `seconds`.
  std::string FirstReportLine(int seconds) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd ready{report_, POLLIN, 0};
      if (poll(&ready, 1, 100) <= 0) continue;
      char chunk[4096];
      const ssize_t got = read(report_, chunk, sizeof chunk);
      if (got <= 0) break;
      text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
  }

  // The reader of the report leaves.
  void CloseReport() {
    if (report_ >= 0) close(report_);
    report_ = -1;
  }

  void Signal(int number) const { kill(pid_, number); }

  // Waits for the program to end, for at most `seconds` (a program that
  // never ends is killed and the wait fails, rather than the test hanging).
  bool Wait(int seconds, ToolResult& result) {
    if (!Reap(seconds)) {
      kill(pid_, SIGKILL);
      Reap(0);
      return false;
    }
    if (WIFEXITED(wstatus_)) result.status = WEXITSTATUS(wstatus_);
    if (WIFSIGNALED(wstatus_)) result.signal = WTERMSIG(wstatus_);
    const Bytes out = ReadIfThere(capture_ / "out");
    const Bytes err = ReadIfThere(capture_ / "err");
    result.out.assign(out.begin(), out.end());
    result.err.assign(err.begin(), err.end());
    return true;
  }

 private:
  // True once the child has ended; with no time, waits as long as it takes.
  bool Reap(int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
      const pid_t got = waitpid(pid_, &wstatus_, seconds == 0 ? 0 : WNOHANG);
      if (got == pid_) {
        running_ = false;
        return true;
      }
      if (got < 0 && errno != EINTR) return false;
      if (seconds != 0 && std::chrono::steady_clock::now() > deadline) return false;
      if (seconds != 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  TempDir capture_;
  pid_t pid_ = -1;
  int input_ = -1;
  int report_ = -1;
  int wstatus_ = 0;
  bool running_ = true;
  std::thread feeder_;
};

// True once `path` holds `bytes`, polled until `seconds` have gone.
bool AppearsWithin(const std::string& path, const Bytes& bytes, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (ReadIfThere(path) == bytes) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

class NothingLost : public ::testing::Test {
 protected:
  // The test's own end of a pipe must not kill it when lentok-read goes;
  // lentok-read itself starts with the signal as a user's shell leaves it.
  void SetUp() override {
    if (ReadToolIsWindowsBuild()) GTEST_SKIP() << "for the POSIX build";
    previous_ = signal(SIGPIPE, SIG_IGN);
  }
  void TearDown() override { signal(SIGPIPE, previous_); }
  std::string At(const std::string& name) const { return dir_ / name; }
  TempDir dir_;
  void (*previous_)(int) = SIG_DFL;
};

}  // namespace

// --- Inputs are never replaced ---

TEST_F(NothingLost, TheMapNeverReplacesARecordingHoweverItIsSpelled) {
  const Bytes recording = ExpectedRecording(kGame, Named("GAME.RKS"));
  struct Case {
    const char* what;
    std::vector<std::string> arguments;  // {} stands for the recording's absolute path
    bool onStandardInput;
  };
  const Case cases[] = {
      {"through the current directory", {"--map", "./c.wav", "c.wav"}, false},
      {"absolute", {"--map", "{}", "c.wav"}, false},
      {"through the parent directory", {"--map", "../side/c.wav", "c.wav"}, false},
      {"a doubled slash", {"--map", ".//c.wav", "c.wav"}, false},
      {"standard input being the file", {"--map", "c.wav", "-"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    fs::create_directory(dir / "side");
    const std::string side = dir / "side";
    const std::string path = side + "/c.wav";
    WriteBytes(path, recording);
    std::vector<std::string> arguments = c.arguments;
    std::replace(arguments.begin(), arguments.end(), std::string("{}"), path);
    const ToolResult result = RunRead(arguments, side, {}, "", c.onStandardInput ? path : "");
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    EXPECT_TRUE(StartsWith(result.err, "lentok-read: ")) << result.err;
    EXPECT_TRUE(Contains(result.err, "--map")) << result.err;
    // Refused before reading: nothing reported, no image.
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(FilesIn(side), std::vector<std::string>{"c.wav"});
    EXPECT_TRUE(Holds(path, recording)) << "the recording was replaced";
  }
}

TEST_F(NothingLost, NoImageIsWrittenOverAnInputEvenWithForce) {
  struct Recording {
    std::string file;
    Bytes image;
    RecordingOptions options;
  };
  struct Case {
    const char* what;
    std::vector<Recording> recordings;
    std::vector<std::string> arguments;
    std::vector<std::pair<std::string, Bytes>> images;  // written, with their bytes
    std::string linePrefix;  // of the report line that names the first image
  };
  const Case cases[] = {
      {"a record named as its own recording",
       {{"TAPE.WAV", kGame, Named("TAPE.WAV")}},
       {"--force", "TAPE.WAV"},
       {{"TAPE-2.WAV", kGame}},
       "0:"},
      {"a record named as a recording read after it",
       {{"a.wav", kGame, Named("B.WAV")}, {"B.WAV", kOther, Named("OTHER.RKS")}},
       {"--force", "a.wav", "B.WAV"},
       {{"B-2.WAV", kGame}, {"OTHER.RKS", kOther}},
       "a.wav: "},
      {"a record without a header on a recording named as its image",
       {{"HL.rks", kGame, Headerless()}},
       {"--force", "HL.rks"},
       {{"HL-2.rks", kGame}},
       "0:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::vector<std::string> expectedFiles;
    for (const Recording& recording : c.recordings) {
      WriteBytes(dir / recording.file, ExpectedRecording(recording.image, recording.options));
      expectedFiles.push_back(recording.file);
    }
    const ToolResult result = RunRead(c.arguments, dir.path());
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    for (const Recording& recording : c.recordings) {
      EXPECT_TRUE(Holds(dir / recording.file, ExpectedRecording(recording.image, recording.options)))
          << "a recording was changed";
    }
    for (const auto& image : c.images) {
      EXPECT_TRUE(Holds(dir / image.first, image.second));
      expectedFiles.push_back(image.first);
    }
    EXPECT_EQ(FilesIn(dir.path()), Sorted(expectedFiles));
    const std::string line = LineStarting(result.out, c.linePrefix);
    EXPECT_TRUE(NamesImage(line, c.images[0].first)) << result.out;
  }
}

TEST_F(NothingLost, ARecordNamedLikeTheMapGetsTheNextName) {
  WriteBytes(At("rec.wav"), ExpectedRecording(kGame, Named("MAP.SVG")));
  const ToolResult result = RunRead({"--map", "MAP.SVG", "rec.wav"}, dir_.path());
  EXPECT_EQ(result.status, 0) << result.err;
  const Bytes map = ReadIfThere(At("MAP.SVG"));
  EXPECT_TRUE(Contains(std::string(map.begin(), map.end()), "<svg")) << "MAP.SVG is not the map";
  EXPECT_TRUE(Holds(At("MAP-2.SVG"), kGame));
  EXPECT_EQ(FilesIn(dir_.path()), (std::vector<std::string>{"MAP-2.SVG", "MAP.SVG", "rec.wav"}));
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 1u) << result.out;
  EXPECT_TRUE(NamesImage(lines[0], "MAP-2.SVG")) << lines[0];
}

// --- What was read is kept ---

TEST_F(NothingLost, AReportNobodyReadsStopsNoImage) {
  std::vector<degrade::Signal> first = {degrade::Silence(0.5, kRate)};
  std::vector<degrade::Signal> rest;
  std::vector<Bytes> images;
  std::vector<std::string> names;
  for (unsigned i = 0; i < 6; ++i) {
    names.push_back("PART" + std::to_string(i + 1) + ".RKS");
    images.push_back(MakeConsistentImage(static_cast<std::uint16_t>(0x1000 * (i + 1)), Data(300, 10 + i)));
    std::vector<degrade::Signal>& part = i == 0 ? first : rest;
    part.push_back(degrade::LentokSignal(images.back(), Named(names.back())));
    // After the first record, enough for a reader of standard input to take
    // it in whole blocks and report it before anything more comes.
    part.push_back(degrade::Silence(i == 0 ? 10.0 : 0.5, kRate));
  }
  const degrade::Signal later = degrade::Join(rest);
  const Bytes six =
      WavFileBytes(degrade::Join({degrade::Join(first), later}), kRate, 1, formats::WavSampleType::kSigned16);
  const std::size_t firstPart = six.size() - later.size() * 2;  // 16-bit mono samples
  WriteBytes(At("six.wav"), six);

  enum class Reader { kLeavesAfterTheFirstLine, kGone };
  struct Case {
    const char* what;
    std::vector<std::string> options;
    Reader reader;
  };
  // A JSON report is one write at the end, which a reader of its first line
  // takes whole: only a reader already gone refuses it.
  const Case cases[] = {
      {"lines, the reader leaving after the first", {}, Reader::kLeavesAfterTheFirstLine},
      {"lines, the reader gone", {}, Reader::kGone},
      {"--json, the reader gone", {"--json"}, Reader::kGone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir out;
    std::vector<std::string> arguments = c.options;
    arguments.push_back("-o");
    arguments.push_back(out.path());
    ToolResult result;
    if (c.reader == Reader::kLeavesAfterTheFirstLine) {
      // As `lentok-read ... | head -1`, with the second record read only
      // once the reader has gone, so that the order never depends on how
      // fast either side runs.
      arguments.push_back("-");
      LiveRead live(arguments, dir_.path(), LiveRead::Report::kToPipe);
      live.Feed(Bytes(six.begin(), six.begin() + static_cast<std::ptrdiff_t>(firstPart)));
      const std::string line = live.FirstReportLine(120);
      EXPECT_TRUE(Contains(line, "PART1.RKS")) << line;
      live.CloseReport();
      live.Feed(Bytes(six.begin() + static_cast<std::ptrdiff_t>(firstPart), six.end()));
      live.EndInput();
      ASSERT_TRUE(live.Wait(120, result)) << "lentok-read did not end at the end of its input";
    } else {
      arguments.push_back("six.wav");
      int fds[2];
      ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
      close(fds[0]);
      const int writeEnd = fds[1];
      result = RunRead(arguments, dir_.path(), [writeEnd] { dup2(writeEnd, STDOUT_FILENO); });
      close(writeEnd);
    }
    ExpectReportFailure(result);
    EXPECT_EQ(FilesIn(out.path()), Sorted(names));
    for (std::size_t i = 0; i < images.size(); ++i) EXPECT_TRUE(Holds(out / names[i], images[i]));
  }
}

TEST_F(NothingLost, AnInterruptedLiveReadWritesTheRecordsHeldBackAsRead) {
  // Two copies of one program, each losing a different stretch, so that
  // neither is sound and together they would combine; then a sound record
  // of another program, written as soon as it is read.
  const tape_damage::Program copied = tape_damage::MakeProgram(400, 21, "COPY.RKS");
  const tape_damage::Program sound = tape_damage::MakeProgram(200, 5, "SOUND.RKS");
  const std::size_t firstDamagedByte = 50;
  const Bytes recording = WavFileBytes(
      degrade::Join({degrade::Silence(0.5, kRate),
                     tape_damage::DropoutFrom(copied.signal, copied, firstDamagedByte, 3, 40, 0.0f),
                     degrade::Silence(1.0, kRate), tape_damage::DropoutFrom(copied.signal, copied, 300, 3, 40, 0.0f),
                     degrade::Silence(1.0, kRate), sound.signal,
                     // Enough after it for the reader to take the record in
                     // whole blocks.
                     degrade::Silence(10.0, kRate)}),
      kRate, 1, formats::WavSampleType::kSigned16);

  const struct {
    const char* what;
    int signal;
    int status;
  } cases[] = {{"SIGINT", SIGINT, 130}, {"SIGTERM", SIGTERM, 143}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir out;
    LiveRead live({"-o", out.path(), "-"}, dir_.path());
    live.Feed(recording);
    ASSERT_TRUE(AppearsWithin(out / "SOUND.RKS", sound.image, 120)) << "the sound record was never written";
    live.Signal(c.signal);
    ToolResult result;
    ASSERT_TRUE(live.Wait(60, result)) << "lentok-read went on reading after " << c.what;
    EXPECT_EQ(result.signal, 0) << "ended by signal " << result.signal;
    EXPECT_EQ(result.status, c.status) << result.err;

    // Each copy as it was read, in an image of its own: nothing combined
    // after the interruption.
    EXPECT_EQ(FilesIn(out.path()), (std::vector<std::string>{"COPY-2.RKS", "COPY.RKS", "SOUND.RKS"}));
    const Bytes first = ReadIfThere(out / "COPY.RKS");
    const Bytes second = ReadIfThere(out / "COPY-2.RKS");
    for (const Bytes* copy : {&first, &second}) {
      if (copy->size() != copied.image.size()) {
        ADD_FAILURE() << "a copy's image holds " << copy->size() << " bytes, not " << copied.image.size();
        continue;
      }
      EXPECT_FALSE(*copy == copied.image) << "a copy's image holds the combined program";
      EXPECT_TRUE(std::equal(copy->begin(), copy->begin() + 4 + firstDamagedByte, copied.image.begin()))
          << "not this program's record";
    }
    EXPECT_FALSE(first == second) << "the two copies' images are the same";
    EXPECT_TRUE(Contains(result.err, out / "COPY.RKS")) << result.err;
    EXPECT_TRUE(Contains(result.err, out / "COPY-2.RKS")) << result.err;
  }
}

TEST_F(NothingLost, AFileSizeLimitIsAWriteErrorThatLeavesNothingBehind) {
  const Bytes big = MakeConsistentImage(0x0100, Data(6000, 3));
  WriteBytes(At("rec.wav"), ExpectedRecording(big, Named("BIG.RKS")));
  const rlim_t limit = 3001;  // well short of the image
  const struct {
    const char* what;
    std::vector<std::string> options;
  } cases[] = {{"a new image", {}}, {"with --force", {"--force"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir out;
    std::vector<std::string> arguments = c.options;
    for (const std::string& word : {std::string("-o"), out.path(), std::string("rec.wav")}) arguments.push_back(word);
    const ToolResult limited = RunRead(arguments, dir_.path(), [] {
      const rlimit fileSize{limit, limit};
      setrlimit(RLIMIT_FSIZE, &fileSize);
    });
    EXPECT_EQ(limited.signal, 0) << "ended by signal " << limited.signal;
    EXPECT_EQ(limited.status, 1) << limited.err;
    EXPECT_TRUE(StartsWith(limited.err, "lentok-read: ")) << limited.err;
    EXPECT_TRUE(Contains(limited.err, "BIG.RKS")) << limited.err;
    // Neither part of the image under its name nor a temporary file.
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{});

    const ToolResult again = RunRead(arguments, dir_.path());
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"BIG.RKS"});
    EXPECT_TRUE(Holds(out / "BIG.RKS", big));
  }
}

// --- The report tells the truth ---

TEST_F(NothingLost, RecordingNamesAreEscapedInTheReport) {
  const std::string odd = "a\x1b[31m\x07\r\nb.wav";
  const std::string missing = "c\x1b[31m\x07\r\nd.wav";
  WriteBytes(At(odd), ExpectedRecording(kGame, Named("ONE.RKS")));
  WriteBytes(At("good.wav"), ExpectedRecording(kOther, Named("TWO.RKS")));
  const ToolResult result = RunRead({odd, "good.wav", missing}, dir_.path());
  EXPECT_EQ(result.status, 1) << Visible(result.err);
  for (const std::string* stream : {&result.out, &result.err}) {
    for (const char control : {'\x1b', '\x07', '\r'}) {
      EXPECT_EQ(stream->find(control), std::string::npos)
          << "byte " << static_cast<int>(control) << " in\n" << Visible(*stream);
    }
  }
  const std::vector<std::string> lines = Lines(result.out);
  // One line per record and one per failure; the failure messages are
  // shown escaped here too, so that they cannot upset the test's log.
  const std::vector<std::string> errors = Lines(result.err);
  EXPECT_EQ(errors.size(), 1u) << Visible(result.err);
  EXPECT_TRUE(StartsWith(result.err, "lentok-read: c\\x1B[31m\\x07\\x0D\\x0Ad.wav: ")) << Visible(result.err);
  ASSERT_EQ(lines.size(), 2u) << Visible(result.out);
  EXPECT_TRUE(StartsWith(lines[0], "a\\x1B[31m\\x07\\x0D\\x0Ab.wav: ")) << Visible(lines[0]);
  EXPECT_TRUE(StartsWith(lines[1], "good.wav: ")) << Visible(lines[1]);
  EXPECT_TRUE(Holds(At("ONE.RKS"), kGame));
}

TEST_F(NothingLost, APathThatIsNotUtf8ComesBackExactlyFromTheJson) {
  const std::string recording = "caf\xe9.wav";
  const std::string image = "caf\xe9.rks";
  WriteBytes(At(recording), ExpectedRecording(kGame, Headerless()));
  TempDir report;
  const ToolResult result = RunRead({"--json", recording}, dir_.path(), {}, report / "report.json");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(Holds(At(image), kGame));
  // Python reads the escapes of undecodable bytes back into those bytes.
  const std::string script =
      "import json, os, sys\n"
      "document = json.load(open(sys.argv[1], encoding='utf-8'))\n"
      "entry = document['recordings'][0]\n"
      "print(os.fsencode(entry['recording']).hex())\n"
      "print(os.fsencode(entry['records'][0]['image']).hex())\n"
      "print(os.path.isfile(os.fsencode(entry['records'][0]['image'])))\n";
  ToolOptions python;
  python.program = "/usr/bin/env";
  python.native = true;
  python.beforeExec = [] {
    unsetenv("LC_ALL");
    setenv("LANG", "C.UTF-8", 1);
    setenv("PYTHONUTF8", "1", 1);
  };
  const ToolResult parsed = RunTool({"python3", "-c", script, report / "report.json"}, dir_.path(), python);
  const Bytes json = ReadIfThere(report / "report.json");
  ASSERT_EQ(parsed.status, 0) << parsed.err << "\n" << std::string(json.begin(), json.end());
  const std::vector<std::string> lines = Lines(parsed.out);
  ASSERT_EQ(lines.size(), 3u) << parsed.out;
  EXPECT_EQ(lines[0], Hex(recording)) << "the recording's path";
  EXPECT_EQ(lines[1], Hex(image)) << "the image's path";
  EXPECT_EQ(lines[2], "True") << "no file at the image's path";
}

TEST_F(NothingLost, AReportThatCannotBeWrittenFailsTheRun) {
  const struct {
    const char* what;
    std::vector<std::string> arguments;
    std::vector<std::string> files;  // afterwards
  } cases[] = {
      {"reading", {"rec.wav"}, {"GAME.RKS", "rec.wav"}},
      {"--json", {"--json", "rec.wav"}, {"GAME.RKS", "rec.wav"}},
      {"--verify", {"--verify", "game.rks", "rec.wav"}, {"game.rks", "rec.wav"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteBytes(dir / "rec.wav", ExpectedRecording(kGame, Named("GAME.RKS")));
    if (c.arguments[0] == "--verify") WriteBytes(dir / "game.rks", kGame);
    const ToolResult result = RunRead(c.arguments, dir.path(), {}, "/dev/full");
    ExpectReportFailure(result);
    EXPECT_EQ(FilesIn(dir.path()), c.files);
    if (c.arguments[0] != "--verify") {
      EXPECT_TRUE(Holds(dir / "GAME.RKS", kGame));
    }
  }
}
