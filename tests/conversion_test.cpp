// Whole runs of the built tool on real files: the recordings it writes, the
// report, and every failure with its text, status and what is left on disk.
// The same cases run against the POSIX build and, under wine, against the
// Windows build; the few that rest on POSIX names, links, devices or argv
// are skipped for the Windows build, which has its own counterparts in
// windows_conversion_test.cpp.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/expected.h"
#include "tests/support/run_tool.h"
#include "tests/support/tape_loader.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;

#define SKIP_FOR_WINDOWS_BUILD() \
  if (TestingWindowsBuild()) GTEST_SKIP() << "rests on POSIX behaviour"

namespace {

Bytes SampleData(std::size_t size, unsigned seed = 1) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>((i * 131 + seed * 17) ^ (i >> 3));
  return data;
}

void ExpectFailure(const ToolResult& result, const std::string& text) {
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, text);
  EXPECT_EQ(result.out, "");
}

// What a user sees of terminal output: escape sequences and carriage
// returns (a terminal's own line ends) left out.
std::string AsReadOnScreen(const std::string& raw) {
  std::string seen;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\x1b' && i + 1 < raw.size() && raw[i + 1] == '[') {
      i += 2;
      while (i < raw.size() && !(raw[i] >= '@' && raw[i] <= '~')) ++i;
    } else if (raw[i] != '\r') {
      seen += raw[i];
    }
  }
  return seen;
}

class Conversion : public ::testing::Test {
 protected:
  std::string In(const std::string& name = "game.rks") const { return dir_ / name; }
  std::string Out(const std::string& name = "game.wav") const { return dir_ / name; }
  TempDir dir_;
};

}  // namespace

TEST_F(Conversion, RecordingReportAndStatusOfAPlainRun) {
  const Bytes image = MakeConsistentImage(0xC000, SampleData(100));
  WriteBytes(In(), image);
  const ToolResult result = RunTool({In(), Out()});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, ReportText("C000", "C063", Hex(ReferenceChecksum(SampleData(100)))));
  EXPECT_EQ(ReadBytes(Out()), ExpectedRecording(image, {false, false, "GAME.RKS"}));
}

TEST_F(Conversion, ALoaderReadsBackNameDataAndChecksum) {
  const Bytes data = SampleData(300, 5);
  const Bytes image = MakeConsistentImage(0x0100, data);
  fs::create_directories(dir_ / "my tapes");
  const std::string input = dir_ / "my tapes/Prog 1.rks";
  WriteBytes(input, image);
  ASSERT_EQ(RunTool({input, Out("out file.wav")}).status, 0);

  const auto tape = LoadTape(BitsOf(SamplesOf(ReadBytes(Out("out file.wav")))), true);
  ASSERT_TRUE(tape.has_value());
  EXPECT_EQ(tape->name, "PROG 1.RKS");
  EXPECT_EQ(tape->block, Bytes(image.begin(), image.end() - 2));
  EXPECT_EQ(tape->checksum, ReferenceChecksum(data));
}

TEST_F(Conversion, WithoutHeaderTheDataFollowsTheFirstSync) {
  const Bytes image = MakeConsistentImage(0x2000, SampleData(40));
  WriteBytes(In(), image);
  ASSERT_EQ(RunTool({"-x", In(), Out()}).status, 0);
  const Bytes wav = ReadBytes(Out());
  EXPECT_EQ(wav.size(), 46u + 512u * (256u + image.size()) + 32u);
  EXPECT_EQ(wav, ExpectedRecording(image, {false, true, ""}));
  const auto tape = LoadTape(BitsOf(SamplesOf(wav)), false);
  ASSERT_TRUE(tape.has_value());
  EXPECT_EQ(tape->block, Bytes(image.begin(), image.end() - 2));
}

TEST_F(Conversion, AStoredChecksumGoesOnTapeUnlessComputed) {
  const Bytes data = {0x61, 0x62, 0x63};
  const Bytes image = MakeImage(0x0000, data, 0xBEEF);  // wrong on purpose
  WriteBytes(In(), image);

  const ToolResult stored = RunTool({In(), Out()});
  EXPECT_EQ(stored.status, 0);
  EXPECT_EQ(stored.out, ReportText("0", "2", "BEEF"));
  EXPECT_EQ(ReadBytes(Out()), ExpectedRecording(image, {false, false, "GAME.RKS"}));

  const ToolResult computed = RunTool({"-kx", In(), Out()});
  EXPECT_EQ(computed.status, 0);
  EXPECT_EQ(computed.out, ReportText("0", "2", "C326"));
  EXPECT_EQ(ReadBytes(Out()), ExpectedRecording(image, {true, false, "GAME.RKS"}));

  const ToolResult both = RunTool({"-x", "-k", In(), Out()});
  EXPECT_EQ(both.out, ReportText("0", "2", "C326"));
  EXPECT_EQ(ReadBytes(Out()), ExpectedRecording(image, {true, true, ""}));
}

TEST_F(Conversion, TheReportPrintsTheAddressesAsStored) {
  // The end address does not match the data length; nothing checks it.
  Bytes image = {0x00, 0xC0, 0xFF, 0xC3, 0x42, 0x00, 0x00};
  WriteBytes(In(), image);
  const ToolResult result = RunTool({"-k", In(), Out()});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, ReportText("C000", "C3FF", "42"));
}

TEST_F(Conversion, LongNamesKeepTheZeroRunInBounds) {
  const Bytes image = MakeConsistentImage(0, SampleData(10));
  const std::string name(200, 'n');
  WriteBytes(In(name), image);
  ASSERT_EQ(RunTool({In(name), Out()}).status, 0);
  EXPECT_EQ(ReadBytes(Out()), ExpectedRecording(image, {false, false, std::string(200, 'N')}));
  // 1025 + m - r + n bytes on tape, with r at its largest.
  EXPECT_EQ(ReadBytes(Out()).size(), 46u + 512u * (1025u + 200u - 32u + image.size()) + 32u);
}

TEST_F(Conversion, NonAsciiNamesReachTheTapeByteForByte) {
  SKIP_FOR_WINDOWS_BUILD();  // Windows names pass through the ANSI code page
  const Bytes image = MakeConsistentImage(0, SampleData(10));
  // Only a to z are upper-cased; UTF-8 bytes reach the tape unchanged.
  const std::string cyrillic = "игра-v2.rks";
  WriteBytes(In(cyrillic), image);
  ASSERT_EQ(RunTool({In(cyrillic), Out()}).status, 0);
  EXPECT_EQ(ReadBytes(Out()), ExpectedRecording(image, {false, false, "игра-V2.RKS"}));
}

TEST_F(Conversion, ImageSizeLimits) {
  WriteBytes(In("full.rks"), MakeConsistentImage(0, SampleData(65552 - 6)));
  const ToolResult full = RunTool({"-x", In("full.rks"), Out()});
  EXPECT_EQ(full.status, 0);
  EXPECT_EQ(ReadBytes(Out()).size(), 46u + 512u * (256u + 65552u) + 32u);

  WriteBytes(In("over.rks"), Bytes(65553, 0));
  ExpectFailure(RunTool({In("over.rks"), Out("over.wav")}), ReadErrorText());

  for (std::size_t size : {0, 1, 3, 6}) {
    WriteBytes(In("short.rks"), Bytes(size, 0x11));
    ExpectFailure(RunTool({"-k", In("short.rks"), Out("short.wav")}), ReadErrorText());
    ExpectFailure(RunTool({In("short.rks"), Out("short.wav")}), ReadErrorText());
  }
  // Refused before the output is created.
  EXPECT_FALSE(FileExists(Out("over.wav")));
  EXPECT_FALSE(FileExists(Out("short.wav")));
}

// The image is read and checked whole before the output is created: an
// input that fails must not cost the file the output names.
TEST_F(Conversion, AnInputThatFailsLeavesAnExistingOutputAsItWas) {
  // A real recording stands for the file a user would lose.
  WriteBytes(In("old.rks"), MakeConsistentImage(0x3000, SampleData(50)));
  ASSERT_EQ(RunTool({In("old.rks"), Out("keep.wav")}).status, 0);
  const Bytes kept = ReadBytes(Out("keep.wav"));

  WriteBytes(In("six.rks"), MakeImage(0, {}, 0));  // addresses and checksum, no data
  WriteBytes(In("over.rks"), MakeConsistentImage(0, SampleData(65553 - 6)));
  WriteBytes(In("empty.rks"), {});
  fs::create_directory(dir_ / "folder");
  // 4 GiB + 7 bytes: refused only by the read past what its size said.
  WriteBytes(In("huge.rks"), MakeConsistentImage(0, {1}));
  ASSERT_EQ(truncate(In("huge.rks").c_str(), (1LL << 32) + 7), 0);

  for (const char* input : {"six.rks", "over.rks", "empty.rks", "folder", "huge.rks"}) {
    ExpectFailure(RunTool({In(input), Out("keep.wav")}), ReadErrorText());
    EXPECT_EQ(ReadBytes(Out("keep.wav")), kept) << input;
  }
}

TEST_F(Conversion, AFileBeyondFourGigabytesIsNotTakenForItsLowBits) {
  // 4 GiB + 7 bytes: the low 32 bits of its size would pass for an image.
  const std::string huge = In("huge.rks");
  WriteBytes(huge, MakeConsistentImage(0, {1}));
  ASSERT_EQ(truncate(huge.c_str(), (1LL << 32) + 7), 0);
  ExpectFailure(RunTool({huge, Out()}), ReadErrorText());
}

TEST_F(Conversion, CommandLineFailuresTouchNoFile) {
  WriteBytes(In(), MakeConsistentImage(0, {1}));
  ExpectFailure(RunTool({}), UsageText());
  ExpectFailure(RunTool({"-k", "-x"}), UsageText());
  ExpectFailure(RunTool({In()}), CommandLineErrorText());
  ExpectFailure(RunTool({In(), Out(), "extra"}), CommandLineErrorText());
  ExpectFailure(RunTool({In(), "-x", Out()}), CommandLineErrorText());
  EXPECT_FALSE(FileExists(Out()));
  EXPECT_FALSE(FileExists(dir_ / "-x"));
}

TEST_F(Conversion, AnEmptyArgumentIsANameThatCannotBeOpened) {
  ExpectFailure(RunTool({"", Out()}), ReadErrorText());
  EXPECT_FALSE(FileExists(Out()));
}

TEST_F(Conversion, ArgumentsWithBlanksAreOneTokenEach) {
  SKIP_FOR_WINDOWS_BUILD();  // no tab, nor a trailing space, in a Windows name
  WriteBytes(In("a\tb c.rks"), MakeConsistentImage(0, {1}));
  EXPECT_EQ(RunTool({In("a\tb c.rks"), Out(" x y ")}).status, 0);
  EXPECT_TRUE(FileExists(Out(" x y ")));
}

TEST_F(Conversion, AnArgumentWithAQuoteIsRefused) {
  SKIP_FOR_WINDOWS_BUILD();  // the POSIX build rebuilds its command line from argv
  WriteBytes(In("a\"b.rks"), MakeConsistentImage(0, {1}));
  ExpectFailure(RunTool({In("a\"b.rks"), Out()}), CommandLineErrorText());
  ExpectFailure(RunTool({"\"" + In() + "\"", Out()}), CommandLineErrorText());
  EXPECT_FALSE(FileExists(Out()));
}

TEST_F(Conversion, MissingOrUnopenableFiles) {
  ExpectFailure(RunTool({In("missing.rks"), Out()}), ReadErrorText());
  EXPECT_FALSE(FileExists(Out()));

  WriteBytes(In(), MakeConsistentImage(0, {1}));
  ExpectFailure(RunTool({In(), dir_ / "no such dir/out.wav"}), WriteErrorText());

  fs::create_directory(dir_ / "folder");
  // Windows does not open a folder as a file; POSIX opens it, and its read
  // fails before the output is created.
  ExpectFailure(RunTool({dir_ / "folder", Out()}), ReadErrorText());
  EXPECT_FALSE(FileExists(Out()));
  ExpectFailure(RunTool({In(), dir_ / "folder"}), WriteErrorText());
}

TEST_F(Conversion, RelativeNamesAndNamesInDirectories) {
  const Bytes image = MakeConsistentImage(0x1234, SampleData(20));
  fs::create_directories(dir_ / "sub dir");
  WriteBytes(dir_ / "sub dir/prog.rks", image);
  const ToolResult result = RunTool({"sub dir/prog.rks", "prog.wav"}, dir_.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(ReadBytes(dir_ / "prog.wav"), ExpectedRecording(image, {false, false, "PROG.RKS"}));
}

TEST_F(Conversion, TheInputCannotBeTheOutputUnderAnotherSpelling) {
  const Bytes image = MakeConsistentImage(0, SampleData(64));
  WriteBytes(In(), image);
  const std::string viaParent = "../" + fs::path(dir_.path()).filename().string() + "/game.rks";
  const std::vector<std::vector<std::string>> spellings = {
      {In(), In()}, {"game.rks", "./game.rks"}, {"-k", "game.rks", viaParent}};
  for (const auto& arguments : spellings) {
    ExpectFailure(RunTool(arguments, dir_.path()), WriteErrorText());
    EXPECT_EQ(ReadBytes(In()), image) << arguments.back();
  }
}

TEST_F(Conversion, TheInputCannotBeTheOutputThroughALinkOrADevice) {
  SKIP_FOR_WINDOWS_BUILD();
  const Bytes image = MakeConsistentImage(0, SampleData(64));
  WriteBytes(In(), image);
  ASSERT_EQ(link(In().c_str(), In("hard.rks").c_str()), 0);
  ASSERT_EQ(symlink(In().c_str(), In("soft.rks").c_str()), 0);

  const std::vector<std::vector<std::string>> spellings = {
      {In(), In("hard.rks")}, {In("soft.rks"), In()}, {"-k", In(), In("soft.rks")}};
  for (const auto& arguments : spellings) {
    ExpectFailure(RunTool(arguments, dir_.path()), WriteErrorText());
    EXPECT_EQ(ReadBytes(In()), image) << arguments.back();
  }

  // Standard output redirected into the input, then named as the output.
  ToolOptions intoInput;
  intoInput.stdoutFile = In();
  const ToolResult result = RunTool({In(), "/dev/stdout"}, "", intoInput);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, WriteErrorText());
  EXPECT_EQ(ReadBytes(In()), image);
}

// The recording is complete by the time the report goes out, and stays;
// the run fails all the same, for the report it was asked for is lost.
TEST_F(Conversion, AReportThatCannotBeWrittenFailsTheRunAndKeepsTheRecording) {
  const Bytes image = MakeConsistentImage(0x5000, SampleData(20));
  WriteBytes(In(), image);
  ToolOptions intoFullDevice;
  intoFullDevice.stdoutFile = "/dev/full";
  const ToolResult result = RunTool({In(), Out()}, "", intoFullDevice);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, WriteErrorText());
  EXPECT_EQ(ReadBytes(Out()), ExpectedRecording(image, {false, false, "GAME.RKS"}));
}

TEST_F(Conversion, DevicesAreWrittenAsTheyAre) {
  WriteBytes(In(), MakeConsistentImage(0, SampleData(8)));
  const ToolResult result = RunTool({In(), TestingWindowsBuild() ? "NUL" : "/dev/null"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, ReportText("0", "7", Hex(ReferenceChecksum(SampleData(8)))));
}

// On a terminal the texts are shown in the terminal's own encoding (UTF-8
// here), whatever form they are stored in.
TEST_F(Conversion, OnATerminalTheTextsAreReadable) {
  const ToolResult usage = RunToolOnTerminal({});
  EXPECT_EQ(usage.status, 1);
  EXPECT_EQ(AsReadOnScreen(usage.out), UsageText(TextForm::kUtf8));

  WriteBytes(In(), MakeImage(0xC000, SampleData(0x400), 0x1A2B));
  const ToolResult report = RunToolOnTerminal({In(), Out()});
  EXPECT_EQ(report.status, 0);
  EXPECT_EQ(AsReadOnScreen(report.out), ReportText("C000", "C3FF", "1A2B", TextForm::kUtf8));
}
