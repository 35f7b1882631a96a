// Whole runs of the built lentok-read on damaged recordings: copies on two
// recordings come out as one combined image, --separate keeps them apart,
// and a weak bit is repaired with the exit status still saying so.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/json_check.h"
#include "tests/support/run_read_tool.h"
#include "tests/support/tape_damage.h"
#include "tests/support/test_files.h"
#include "tests/support/wav_out.h"

namespace {

using tape_damage::Program;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

struct RunCase {
  const char* what;
  std::vector<std::string> options;
  int status;
  std::vector<std::string> images;  // written, each the program recorded
  std::vector<std::string> saying;  // in the report
  std::vector<std::string> notSaying;
  std::string error;  // on standard error; empty: nothing there
};

TEST(RecoveryRun, CopiesCombinedAndBitsRepaired) {
  const Program program = tape_damage::MakeProgram(400, 21);
  TempDir dir;
  // Two copies on two recordings, each losing a different stretch.
  WriteWavFile(dir / "a.wav", tape_damage::DropoutFrom(program.signal, program, 50, 3, 40, 0.0f), 44100, 1,
               formats::WavSampleType::kSigned16);
  WriteWavFile(dir / "b.wav", tape_damage::DropoutFrom(program.signal, program, 300, 3, 40, 0.0f), 44100, 1,
               formats::WavSampleType::kSigned16);
  // One weak bit read wrong: bit 3 of the byte at 207Bh.
  WriteWavFile(dir / "weak.wav", tape_damage::WeakenBit(program.signal, program, 0x7B, 3, -0.2f), 44100, 1,
               formats::WavSampleType::kSigned16);

  const RunCase cases[] = {
      {"two damaged copies",
       {"a.wav", "b.wav"},
       0,
       {"GAME.RKS"},
       {"combined from copy 1 (a.wav at 0:", "copy 2 (b.wav at 0:", ", combined; ",
        "doubtful bytes 2032 from copy 1, 2033 to 2036 from copy 2", "212C to 2131 from copy 1",
        "went into the combined image "},
       // A combined image lies on no recording, so it gets no machine's verdict.
       {"GAME-2.RKS", "monitor: ;"},
       ""},
      {"the copies, --separate",
       {"--separate", "a.wav", "b.wav"},
       2,
       {},
       {"checksum error"},
       {"combined"},
       "is damaged: checksum error; its image is kept in "},
      {"a weak bit",
       {"weak.wav"},
       2,
       {"GAME.RKS"},
       {", repaired; ", "bits changed: bit 3 at 207B (combinations tried: "},
       {},
       "(\"GAME.RKS\") was repaired from its checksum, a guess it supports"},
      {"in Russian",
       {"a.wav", "b.wav"},
       0,
       {"GAME.RKS"},
       {"собрана из копий; полярность", "источники: копия 1 (a.wav, 0:", "вошла в собранный образ"},
       {},
       ""},
  };
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir out;
    std::vector<std::string> arguments = {"-o", out.path()};
    for (const std::string& option : c.options) arguments.push_back(option);
    ReadToolRun run;
    run.directory = dir.path();
    if (Contains(c.what, "Russian")) run.language = "ru_RU.UTF-8";
    const ToolResult result = RunReadTool(arguments, run);
    EXPECT_EQ(result.status, c.status) << result.out << result.err;
    for (const std::string& image : c.images) EXPECT_EQ(ReadBytes(out / image), program.image) << image;
    for (const std::string& text : c.saying)
      EXPECT_TRUE(Contains(result.out, text)) << text << "\n" << result.out;
    for (const std::string& text : c.notSaying)
      EXPECT_FALSE(Contains(result.out, text)) << text << "\n" << result.out;
    if (c.error.empty()) {
      EXPECT_EQ(result.err, "");
    } else {
      EXPECT_TRUE(Contains(result.err, c.error)) << result.err;
    }
  }
}

TEST(RecoveryRun, JsonNamesTheCopiesAndTheirStretches) {
  const Program program = tape_damage::MakeProgram(200, 22);
  TempDir dir;
  for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
    const std::size_t at = name[0] == 'a' ? 20 : name[0] == 'b' ? 90 : 150;
    WriteWavFile(dir / name, tape_damage::DropoutFrom(program.signal, program, at, 0, 30, 0.0f), 44100, 1,
                 formats::WavSampleType::kSigned16);
  }
  ReadToolRun run;
  run.directory = dir.path();
  const ToolResult result = RunReadTool({"--json", "-o", dir.path(), "a.wav", "b.wav", "c.wav"}, run);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(IsValidJson(result.out)) << result.out;
  EXPECT_EQ(Count(result.out, "\"combinedInto\":"), 3u) << result.out;
  EXPECT_TRUE(Contains(result.out, "\"combined\":[{")) << result.out;
  EXPECT_TRUE(Contains(result.out, "\"status\":\"combined\"")) << result.out;
  EXPECT_EQ(Count(result.out, "\"machine\":null"), 1u) << result.out;
  EXPECT_TRUE(Contains(result.out, "\"copies\":[{\"recording\":\"a.wav\"")) << result.out;
  // Each copy's dropout was supplied by another copy.
  EXPECT_GE(Count(result.out, "{\"first\":"), 3u) << result.out;
  EXPECT_EQ(ReadBytes(dir / "GAME.RKS"), program.image);
}

}  // namespace
