// Whole runs of the Windows build under wine, for what only Windows has: the
// stored code page 866 texts on files and pipes, the command line the tool
// splits itself, and names that differ in letter case or separators but
// reach the same file. Skipped for the POSIX build.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/expected.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;

namespace {

void ExpectFailure(const ToolResult& result, const std::string& text) {
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, text);
  EXPECT_EQ(result.out, "");
}

class WindowsConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestingWindowsBuild()) GTEST_SKIP() << "for the Windows build";
  }
  std::string In(const std::string& name = "game.rks") const { return dir_ / name; }
  std::string Out(const std::string& name = "game.wav") const { return dir_ / name; }
  TempDir dir_;
};

}  // namespace

// Redirected into a file, every text goes out exactly as stored.
TEST_F(WindowsConversion, EveryTextIsWrittenInCodePage866WithCrLf) {
  // One of them spelled out, so that the expectation does not rest on the
  // test's converter alone.
  EXPECT_EQ(ReadErrorText(TextForm::kStored),
            "\r\n\x8E\xE8\xA8\xA1\xAA\xA0 \xE7\xE2\xA5\xAD\xA8\xEF \xE4\xA0\xA9\xAB\xA0\r\n");

  ExpectFailure(RunTool({}), UsageText(TextForm::kStored));
  ExpectFailure(RunTool({"-x", In()}), CommandLineErrorText(TextForm::kStored));
  ExpectFailure(RunTool({In("missing.rks"), Out()}), ReadErrorText(TextForm::kStored));
  WriteBytes(In(), MakeImage(0, {0x10, 0x20}, 0x0030));
  ExpectFailure(RunTool({In(), dir_ / "no dir/x.wav"}), WriteErrorText(TextForm::kStored));

  const ToolResult report = RunTool({In(), Out()});
  EXPECT_EQ(report.status, 0);
  EXPECT_EQ(report.err, "");
  EXPECT_EQ(report.out, ReportText("0", "1", "30", TextForm::kStored));
}

// Wine hands the tool a command line with the argument in double quotes, as
// a Windows shell would; the tool splits it itself, takes the quoted path as
// one name, and puts its final component on tape.
TEST_F(WindowsConversion, AQuotedPathWithSpacesAndBackslashes) {
  const Bytes image = MakeConsistentImage(0x4000, {1, 2, 3, 4, 5});
  fs::create_directories(dir_ / "sub dir");
  fs::create_directories(dir_ / "out dir");
  WriteBytes(dir_ / "sub dir/prog.rks", image);

  const ToolResult result =
      RunTool({"-k", "sub dir\\prog.rks", "out dir\\prog.wav"}, dir_.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(ReadBytes(dir_ / "out dir/prog.wav"),
            ExpectedRecording(image, {true, false, "PROG.RKS"}));
}

// The program's own path, quoted because of its space, is passed over.
TEST_F(WindowsConversion, AProgramPathWithSpaces) {
  fs::create_directories(dir_ / "my tools");
  fs::copy_file(ToolPath(), dir_ / "my tools/lentok.exe");
  const Bytes image = MakeConsistentImage(0, {9});
  WriteBytes(In(), image);
  ToolOptions copy;
  copy.program = dir_ / "my tools/lentok.exe";
  const ToolResult result = RunTool({"-x", In(), Out()}, "", copy);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(ReadBytes(Out()), ExpectedRecording(image, {false, true, ""}));
}

// Double quotes inside an argument reach the tool escaped as \", which its
// own splitting does not know: the pieces no longer make two names, and the
// run stops with the command-line error before touching any file.
TEST_F(WindowsConversion, QuotesInsideAnArgumentSplitTheName) {
  fs::create_directories(dir_ / "sub dir");
  WriteBytes(dir_ / "sub dir/prog.rks", MakeConsistentImage(0, {1}));
  ExpectFailure(RunTool({"\"sub dir\\prog.rks\"", "out.wav"}, dir_.path()),
                CommandLineErrorText(TextForm::kStored));
  EXPECT_FALSE(FileExists(dir_ / "out.wav"));
}

// The open input is shared for reading only, so the output cannot be
// created over it under any name Windows resolves to the same file.
TEST_F(WindowsConversion, TheInputCannotBeTheOutputUnderAnyName) {
  const Bytes image = MakeConsistentImage(0, {7, 7, 7});
  WriteBytes(In(), image);
  fs::create_directories(dir_ / "sub");
  const std::vector<std::vector<std::string>> spellings = {
      {"game.rks", ".\\game.rks"}, {"game.rks", "GAME.RKS"}, {"Game.Rks", ".\\gAmE.rKs"},
      {"game.rks", "sub\\..\\game.rks"}, {"-x", "game.rks", In()}};
  for (const auto& arguments : spellings) {
    ExpectFailure(RunTool(arguments, dir_.path()), WriteErrorText(TextForm::kStored));
    EXPECT_EQ(ReadBytes(In()), image) << arguments.back();
  }
}
