// Whole runs of the built lentok-side on real files: each program's stretch
// of the side against lentok's own recording of the same image, the FLAC
// side against the WAV one, what it prints, and every refusal and failure
// with its message and what is left on disk.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "side/side_writer.h"
#include "tests/support/json_check.h"
#include "tests/support/run_read_tool.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;

namespace {

// lentok-side in `directory`, in the language of `lang`.
ToolResult RunSide(const std::vector<std::string>& arguments, const std::string& directory,
                   const std::string& lang = "C.UTF-8", std::function<void()> more = nullptr) {
  ToolOptions options;
  options.program = LENTOK_SIDE_TOOL;
  options.native = true;
  options.beforeExec = [lang, more] {
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", lang.c_str(), 1);
    if (more) more();
  };
  return RunTool(arguments, directory, options);
}

Bytes Data(std::size_t size, unsigned seed) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 67 + seed * 13 + (i >> 3));
  return data;
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Every value of `key` in the JSON document, in order.
std::vector<std::uint64_t> Numbers(const std::string& json, const std::string& key) {
  std::vector<std::uint64_t> values;
  const std::regex pattern("\"" + key + "\":([0-9]+)");
  for (auto it = std::sregex_iterator(json.begin(), json.end(), pattern); it != std::sregex_iterator(); ++it) {
    values.push_back(std::stoull((*it)[1]));
  }
  return values;
}

// Every string value of `key` in the JSON document, in order.
std::vector<std::string> Strings(const std::string& json, const std::string& key) {
  std::vector<std::string> values;
  const std::regex pattern("\"" + key + "\":\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(json.begin(), json.end(), pattern); it != std::sregex_iterator(); ++it) {
    values.push_back((*it)[1]);
  }
  return values;
}

class SideRun : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "tapes");
    WriteBytes(dir_ / "tapes/Game.rks", MakeImage(0x0100, Data(300, 1), 0x4321));
    WriteBytes(dir_ / "b2.RKS", MakeConsistentImage(0x3000, Data(1, 2)));
    WriteBytes(dir_ / "\xD0\xBC\xD0\xB8\xD1\x80.rks", MakeConsistentImage(0xC000, Data(2000, 3)));
  }
  const std::vector<std::string> images_ = {"tapes/Game.rks", "b2.RKS", "\xD0\xBC\xD0\xB8\xD1\x80.rks"};
  TempDir dir_;
};

TEST_F(SideRun, EachProgramIsLentoksOwnRecordingAndTheGapsSilence) {
  const struct {
    std::vector<std::string> options;
    const char* gap;
    std::uint64_t gapFrames;
  } kCases[] = {{{}, "2", 88200}, {{"-k"}, "0", 0}, {{"-x"}, "0.01", 441}, {{"-k", "-x"}, "0.0001", 4}};
  for (const auto& c : kCases) {
    std::vector<std::string> arguments = c.options;
    SCOPED_TRACE(::testing::PrintToString(arguments) + " --gap " + c.gap);
    arguments.insert(arguments.end(), {"--json", "--gap", c.gap, "-o", "side.wav"});
    arguments.insert(arguments.end(), images_.begin(), images_.end());
    const ToolResult result = RunSide(arguments, dir_.path());
    ASSERT_EQ(result.status, 0) << result.err;
    ASSERT_TRUE(IsValidJson(result.out)) << result.out;
    const std::vector<std::uint64_t> first = Numbers(result.out, "firstFrame");
    const std::vector<std::uint64_t> end = Numbers(result.out, "endFrame");
    ASSERT_EQ(first.size(), images_.size());
    ASSERT_EQ(end.size(), images_.size());
    const Bytes side = ReadBytes(dir_ / "side.wav");
    for (std::size_t i = 0; i < images_.size(); ++i) {
      std::vector<std::string> single = c.options;
      single.insert(single.end(), {images_[i], "one.wav"});
      ToolOptions lentok;
      lentok.program = LENTOK_WRITE_TOOL;
      lentok.native = true;
      ASSERT_EQ(RunTool(single, dir_.path(), lentok).status, 0);
      const Bytes own = ReadBytes(dir_ / "one.wav");
      EXPECT_EQ(end[i] - first[i], (own.size() - 46) / 2) << images_[i];
      EXPECT_TRUE(std::equal(own.begin() + 46, own.end(), side.begin() + 46 + 2 * first[i])) << images_[i];
      if (i == 0) {
        // lentok's header, with the sizes of the whole side.
        EXPECT_TRUE(std::equal(own.begin(), own.begin() + 4, side.begin()));
        EXPECT_TRUE(std::equal(own.begin() + 8, own.begin() + 42, side.begin() + 8));
      } else {
        EXPECT_EQ(first[i] - end[i - 1], c.gapFrames);
        const auto gap = side.begin() + 46 + 2 * static_cast<std::ptrdiff_t>(end[i - 1]);
        EXPECT_TRUE(std::all_of(gap, gap + 2 * static_cast<std::ptrdiff_t>(c.gapFrames), [](std::uint8_t b) { return b == 0; }));
      }
    }
    EXPECT_EQ(side.size(), 46 + 2 * end.back());
    Bytes sizes;
    AppendLe32(sizes, static_cast<std::uint32_t>(side.size() - 8));
    EXPECT_TRUE(std::equal(sizes.begin(), sizes.end(), side.begin() + 4));
    sizes.clear();
    AppendLe32(sizes, static_cast<std::uint32_t>(side.size() - 46));
    EXPECT_TRUE(std::equal(sizes.begin(), sizes.end(), side.begin() + 42));
  }
}

TEST_F(SideRun, AFlacSideHoldsTheWavSidesSamplesAndReadsBack) {
  std::vector<std::string> arguments = {"-k", "-o", "side.wav"};
  arguments.insert(arguments.end(), images_.begin(), images_.end());
  ASSERT_EQ(RunSide(arguments, dir_.path()).status, 0);
  arguments[2] = "side.flac";
  const ToolResult flac = RunSide(arguments, dir_.path());
  if (!side::FlacAvailable()) {
    // A build without the audio library says so, and writes nothing.
    EXPECT_EQ(flac.status, 1);
    EXPECT_EQ(flac.err, "lentok-side: this build of lentok-side writes WAV only: it has no FLAC encoder\n");
    EXPECT_FALSE(FileExists(dir_ / "side.flac"));
    return;
  }
  ASSERT_EQ(flac.status, 0) << flac.err;
  const std::string decode = "cd '" + dir_.path() +
                             "' && flac -s -d -f --force-raw-format --endian=little --sign=signed -o side.raw side.flac 2>/dev/null";
  ASSERT_EQ(std::system(decode.c_str()), 0);
  const Bytes wav = ReadBytes(dir_ / "side.wav");
  const Bytes raw = ReadBytes(dir_ / "side.raw");
  ASSERT_EQ(raw.size(), wav.size() - 46);
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), wav.begin() + 46));
  EXPECT_LT(ReadBytes(dir_ / "side.flac").size(), wav.size() / 3);

  ReadToolRun run;
  run.directory = dir_.path();
  fs::create_directories(dir_ / "back");
  const ToolResult read = RunReadTool({"-q", "-o", "back", "side.flac"}, run);
  EXPECT_EQ(read.status, 0) << read.err;
  // lentok-read makes the name outside ASCII safe for a file.
  EXPECT_EQ(FilesIn(dir_ / "back"), (std::vector<std::string>{"B2.RKS", "GAME.RKS", "______.RKS"}));
}

// lentok-read finds every program where the table of contents puts it,
// within a few milliseconds (it reports where it heard the leader begin),
// and --verify takes the side's images in any order. With -k every
// program's checksum fits, so each reads sound and verifies.
TEST_F(SideRun, LentokReadFindsEveryProgramWhereTheContentsSayAndVerifiesTheSide) {
  constexpr std::uint64_t kFewMilliseconds = 5 * 44100 / 1000;
  const struct {
    std::vector<std::string> options;
    const char* gap;
  } kCases[] = {{{"-k"}, "2"}, {{"-k"}, "0"}, {{"-k", "-x"}, "2"}, {{"-k", "-x"}, "0"}};
  ReadToolRun run;
  run.directory = dir_.path();
  for (const auto& c : kCases) {
    std::vector<std::string> arguments = c.options;
    SCOPED_TRACE(::testing::PrintToString(arguments) + " --gap " + c.gap);
    arguments.insert(arguments.end(), {"--json", "--gap", c.gap, "-o", "side.wav"});
    arguments.insert(arguments.end(), images_.begin(), images_.end());
    const ToolResult side = RunSide(arguments, dir_.path());
    ASSERT_EQ(side.status, 0) << side.err;
    const std::vector<std::uint64_t> contents = Numbers(side.out, "firstFrame");

    fs::remove_all(dir_ / "back");
    fs::create_directories(dir_ / "back");
    const ToolResult read = RunReadTool({"--json", "-o", "back", "side.wav"}, run);
    EXPECT_EQ(read.status, 0) << read.err;
    const std::vector<std::uint64_t> found = Numbers(read.out, "firstFrame");
    ASSERT_EQ(found.size(), contents.size()) << read.out;
    for (std::size_t i = 0; i < found.size(); ++i) {
      EXPECT_LE(std::max(found[i], contents[i]) - std::min(found[i], contents[i]), kFewMilliseconds)
          << "program " << i << ": " << found[i] << " read, " << contents[i] << " in the contents";
    }

    const std::vector<std::string> shuffled = {images_[2], images_[0], images_[1]};
    std::vector<std::string> verify = {"--verify"};
    verify.insert(verify.end(), shuffled.begin(), shuffled.end());
    verify.push_back("side.wav");
    const ToolResult verified = RunReadTool(verify, run);
    EXPECT_EQ(verified.status, 0) << verified.err;
  }
}

// However short the gap, lentok-read takes each program's name header,
// where the contents put it: a gap of a few samples leaves the next leader
// a fraction of a half-cell off the cells of the program before, which a
// track carried across would follow without ever reading it.
TEST_F(SideRun, EveryGapReadsEveryProgramWithItsNameWhereTheContentsSay) {
  constexpr std::uint64_t kFewMilliseconds = 5 * 44100 / 1000;
  std::vector<std::uint64_t> gaps;
  for (std::uint64_t gap = 0; gap <= 16; ++gap) gaps.push_back(gap);
  gaps.insert(gaps.end(), {31, 32, 33, 100, 441, 4410});
  WriteBytes(dir_ / "c3.rks", MakeConsistentImage(0x2000, Data(40, 4)));
  ReadToolRun run;
  run.directory = dir_.path();
  for (const std::uint64_t gap : gaps) {
    SCOPED_TRACE("gap of " + std::to_string(gap) + " samples");
    const ToolResult side = RunSide({"-k", "--json", "--gap", std::to_string(gap / 44100.0), "-o", "side.wav",
                                     "tapes/Game.rks", "c3.rks", "b2.RKS"},
                                    dir_.path());
    ASSERT_EQ(side.status, 0) << side.err;
    ASSERT_EQ(Numbers(side.out, "gapFrames"), std::vector<std::uint64_t>{gap});
    const std::vector<std::uint64_t> contents = Numbers(side.out, "firstFrame");

    fs::remove_all(dir_ / "back");
    fs::create_directories(dir_ / "back");
    const ToolResult read = RunReadTool({"--json", "-o", "back", "side.wav"}, run);
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(Strings(read.out, "name"), (std::vector<std::string>{"GAME.RKS", "C3.RKS", "B2.RKS"}));
    EXPECT_EQ(Strings(read.out, "status"), (std::vector<std::string>(3, "sound")));
    const std::vector<std::uint64_t> found = Numbers(read.out, "firstFrame");
    ASSERT_EQ(found.size(), contents.size()) << read.out;
    for (std::size_t i = 0; i < found.size(); ++i) {
      EXPECT_LE(std::max(found[i], contents[i]) - std::min(found[i], contents[i]), kFewMilliseconds)
          << "program " << i << ": " << found[i] << " read, " << contents[i] << " in the contents";
    }
  }
}

TEST_F(SideRun, PrintsTheContentsWritesTheLabelsAndWarns) {
  std::vector<std::string> arguments = {"--labels", "side.txt", "-o", "side.wav"};
  arguments.insert(arguments.end(), images_.begin(), images_.end());
  const ToolResult result = RunSide(arguments, dir_.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "#   start  length  name to type\n"
            "1  0:00.0  0:07.7  GAME.RKS (tapes/Game.rks)\n"
            "2  0:09.7  0:05.9  B2.RKS (b2.RKS)\n"
            "3  0:17.7  0:17.5  \xD0\xBC\xD0\xB8\xD1\x80.RKS (\xD0\xBC\xD0\xB8\xD1\x80.rks)\n"
            "side: 0:35.3; programs: 3\n");
  EXPECT_EQ(result.err, "lentok-side: warning: \xD0\xBC\xD0\xB8\xD1\x80.rks goes on tape as \"\xD0\xBC\xD0\xB8\xD1\x80.RKS\", "
                        "which is not plain printable ASCII: the machine's keyboard cannot type it\n");
  const std::vector<std::string> labels = Lines(Text(ReadBytes(dir_ / "side.txt")));
  ASSERT_EQ(labels.size(), 3u);
  EXPECT_EQ(labels[0].substr(0, 9), "0.000000\t");
  EXPECT_EQ(labels[1].substr(labels[1].size() - 7), "\tB2.RKS");

  arguments = {"-x", "-o", "side.wav", "b2.RKS"};
  const ToolResult russian = RunSide(arguments, dir_.path(), "ru_RU.UTF-8");
  EXPECT_EQ(russian.status, 0);
  EXPECT_EQ(russian.err, "lentok-side: предупреждение: с -x у программ нет имён: обычное чтение ранних мониторов берёт "
                         "ту программу, что идёт следующей, так что найти нужную можно только по её месту в оглавлении\n");
  EXPECT_EQ(Lines(russian.out)[1], "1  0:00.0  0:01.5  без имени (b2.RKS)");
}

// Each refusal: status 1, its message alone, nothing on standard output,
// and the directory as it was, an earlier side.wav and side.txt included.
TEST_F(SideRun, RefusalsSayWhyAndLeaveEverythingAsItWas) {
  fs::create_directories(dir_ / "other");
  WriteBytes(dir_ / "other/GAME.RKS", MakeConsistentImage(0x100, Data(5, 9)));
  WriteBytes(dir_ / "short.rks", Bytes(6));
  WriteBytes(dir_ / "long.rks", Bytes(65553));
  WriteBytes(dir_ / "image.wav", MakeConsistentImage(0x100, Data(5, 9)));
  fs::create_hard_link(dir_ / "b2.RKS", dir_ / "linked.wav");
  fs::create_symlink("b2.RKS", dir_ / "pointer.txt");
  WriteBytes(dir_ / "side.wav", {'o', 'l', 'd'});
  WriteBytes(dir_ / "side.txt", {'o', 'l', 'd'});
  const std::vector<std::string> before = FilesIn(dir_.path());
  const struct {
    std::vector<std::string> arguments;
    std::string message;
    std::string lang = "C.UTF-8";
  } kCases[] = {
      {{"-o", "side.wav"}, "lentok-side: no image given (see --help)"},
      {{"b2.RKS"}, "lentok-side: no side given: -o SIDE.wav or -o SIDE.flac (see --help)"},
      {{"-o", "side.ogg", "b2.RKS"}, "lentok-side: the side's name ends in neither .wav nor .flac: 'side.ogg' (see --help)"},
      {{"--gap", "-0.5", "-o", "side.wav", "b2.RKS"},
       "lentok-side: a gap of -0.5 s is shorter than the shortest, 0 s: a gap below none would cut into the program "
       "before, and the monitor's named read finds the next program with no gap at all (see --help)"},
      {{"--gap", "ten", "-o", "side.wav", "b2.RKS"},
       "lentok-side: the gap is a number of seconds up to 600, such as 2 or 0.5, not 'ten' (see --help)"},
      {{"--length", "90m", "-o", "side.wav", "b2.RKS"},
       "lentok-side: the cassette side lasts 30m, 45m or 60m, not '90m' (see --help)"},
      {{"-o", "side.wav", "-"},
       "lentok-side: an image is read from a file, whose name goes on tape: '-' (standard input) has none (see --help)"},
      {{"-o", "side.wav", "tapes/Game.rks", "b2.RKS", "other/GAME.RKS"},
       "lentok-side: tapes/Game.rks and other/GAME.RKS both go on tape as \"GAME.RKS\": the monitor would always find "
       "the first"},
      {{"-o", "side.wav", "b2.RKS", "short.rks"},
       "lentok-side: short.rks: lentok refuses this image: shorter than 7 bytes, it holds no data byte"},
      {{"-o", "side.wav", "long.rks"}, "lentok-side: long.rks: lentok refuses this image: larger than 65552 bytes"},
      {{"-o", "side.wav", "b2.RKS", "missing.rks"}, "lentok-side: missing.rks: cannot read: no such file or directory"},
      {{"-o", "side.wav", "tapes"}, "lentok-side: tapes: cannot read: is a directory"},
      {{"-o", "image.wav", "image.wav"},
       "lentok-side: the side image.wav is the image image.wav: writing it would destroy the image"},
      {{"-o", "linked.wav", "b2.RKS"},
       "lentok-side: the side linked.wav is the image b2.RKS: writing it would destroy the image"},
      {{"--labels", "pointer.txt", "-o", "side.wav", "b2.RKS"},
       "lentok-side: --labels pointer.txt is the image b2.RKS: writing it would destroy the image"},
      {{"--labels", "./SIDE.WAV", "-o", "side.wav", "b2.RKS"}, "lentok-side: --labels ./SIDE.WAV is the side itself"},
      {{"-o", "tapes.wav/", "b2.RKS"}, "lentok-side: the side's name ends in neither .wav nor .flac: 'tapes.wav/' (see --help)"},
      {{"-o", "side.wav", "b2.RKS", "b2.RKS"},
       "lentok-side: b2.RKS и b2.RKS оба записываются на ленту под именем «B2.RKS»: монитор всегда находил бы первый",
       "ru_RU.UTF-8"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    const ToolResult result = RunSide(c.arguments, dir_.path(), c.lang);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, c.message + "\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(FilesIn(dir_.path()), before);
    EXPECT_EQ(Text(ReadBytes(dir_ / "side.wav")), "old");
    EXPECT_EQ(Text(ReadBytes(dir_ / "side.txt")), "old");
  }
}

// A side is written whole or not at all: an existing file is replaced only
// by a complete side, and one cut off by a full disk (here a file-size
// limit) is removed, with the earlier file and its labels as they were.
TEST_F(SideRun, ASideReplacesTheOldOneOnlyWhenItIsWhole) {
  for (const char* output : {"side.wav", "side.flac"}) {
    if (output == std::string("side.flac") && !side::FlacAvailable()) continue;
    SCOPED_TRACE(output);
    WriteBytes(dir_ / output, {'o', 'l', 'd'});
    WriteBytes(dir_ / "side.txt", {'o', 'l', 'd'});
    const std::vector<std::string> before = FilesIn(dir_.path());
    std::vector<std::string> arguments = {"--labels", "side.txt", "-o", output};
    arguments.insert(arguments.end(), images_.begin(), images_.end());
    const ToolResult cut = RunSide(arguments, dir_.path(), "C.UTF-8", [] {
      const rlimit limit{100000, 100000};
      setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(Lines(cut.err).back(), "lentok-side: " + std::string(output) + ": cannot write: no space left on the device");
    EXPECT_EQ(FilesIn(dir_.path()), before);
    EXPECT_EQ(Text(ReadBytes(dir_ / output)), "old");
    EXPECT_EQ(Text(ReadBytes(dir_ / "side.txt")), "old");

    const ToolResult whole = RunSide(arguments, dir_.path());
    EXPECT_EQ(whole.status, 0) << whole.err;
    EXPECT_EQ(FilesIn(dir_.path()), before);
    EXPECT_GT(ReadBytes(dir_ / output).size(), 100000u);
    EXPECT_EQ(Lines(Text(ReadBytes(dir_ / "side.txt"))).size(), 3u);
  }
}

}  // namespace
