// Whole runs of the built lentok-read on stereo captures: a record damaged
// differently on each channel comes out as one combined image, whatever
// the channels' polarity, level or delay; two stereo takes combine as four
// copies; a channel that adds nothing gives no image of its own, and two
// programs on the two channels are both kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/support/json_check.h"
#include "tests/support/run_read_tool.h"
#include "tests/support/tape_damage.h"
#include "tests/support/test_files.h"
#include "tests/support/wav_out.h"

namespace {

using degrade::Signal;
using tape_damage::Program;

std::string TextOf(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// The two signals as one stereo WAV file, the shorter padded with silence.
void WriteStereo(const std::string& path, const Signal& left, const Signal& right) {
  const std::size_t frames = std::max(left.size(), right.size());
  std::vector<float> frames2(2 * frames, 0.0f);
  for (std::size_t i = 0; i < left.size(); ++i) frames2[2 * i] = left[i];
  for (std::size_t i = 0; i < right.size(); ++i) frames2[2 * i + 1] = right[i];
  WriteWavFile(path, frames2, 44100, 2, formats::WavSampleType::kSigned16);
}

// The rows of the map's records strip that mark a stretch their copy
// supplied (the legend's mark left out).
std::size_t SuppliedRows(const std::string& svg) {
  const std::regex mark("<rect class=\"supplied\" x=\"[^\"]*\" y=\"([^\"]*)\"");
  std::set<std::string> rows;
  for (auto at = std::sregex_iterator(svg.begin(), svg.end(), mark); at != std::sregex_iterator(); ++at) {
    rows.insert((*at)[1]);
  }
  return rows.size() - 1;
}

// Forty cells of the program lost from its data byte `byte` on.
Signal LostAt(const Program& program, std::size_t byte) {
  return tape_damage::DropoutFrom(program.signal, program, byte, 3, 40, 0.0f);
}

Signal Scaled(Signal signal, float gain) {
  for (float& sample : signal) sample *= gain;
  return signal;
}

Signal Delayed(const Signal& signal, std::size_t samples) {
  Signal delayed(samples, 0.0f);
  delayed.insert(delayed.end(), signal.begin(), signal.end());
  return delayed;
}

TEST(ChannelCopies, EachChannelDamagedElsewhereGivesOneSoundImage) {
  const Program program = tape_damage::MakeProgram(400, 31);
  const Signal left = LostAt(program, 160);   // at 40 % of the data
  const Signal right = LostAt(program, 280);  // at 70 %
  struct Case {
    const char* what;
    Signal right;
  };
  const Case cases[] = {
      {"as captured", right},
      {"the right channel inverted", Scaled(right, -1.0f)},
      {"the right channel 14 dB lower", Scaled(right, 0.2f)},
      {"the right channel 4 samples late", Delayed(right, 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteStereo(dir / "stereo.wav", left, c.right);
    ReadToolRun run;
    run.directory = dir.path();
    const ToolResult result = RunReadTool({"--map", "map.svg", "stereo.wav"}, run);
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"GAME.RKS", "map.svg", "stereo.wav"}));
    // On the map, each channel's row marks what it supplied.
    EXPECT_EQ(SuppliedRows(TextOf(ReadBytes(dir / "map.svg"))), 2u);
    EXPECT_EQ(ReadBytes(dir / "GAME.RKS"), program.image);
    EXPECT_TRUE(Contains(result.out, "combined from copy 1 (stereo.wav, left channel, at 0:")) << result.out;
    EXPECT_TRUE(Contains(result.out, "copy 2 (stereo.wav, right channel, at 0:")) << result.out;
    // Each channel supplied the stretch the other lost.
    EXPECT_TRUE(Contains(result.out, "from copy 1") && Contains(result.out, "from copy 2")) << result.out;
    EXPECT_EQ(Count(result.out, "went into the combined image GAME.RKS"), 2u) << result.out;
  }
}

TEST(ChannelCopies, OptionsThatReadOneCopyAndTheRussianLine) {
  const Program program = tape_damage::MakeProgram(400, 36);
  TempDir dir;
  WriteStereo(dir / "stereo.wav", LostAt(program, 100), LostAt(program, 300));
  struct Case {
    std::vector<std::string> options;
    const char* language;
    int status;
    std::vector<std::string> saying, notSaying;
  };
  const Case cases[] = {
      // The best channel's copy alone, as read.
      {{"--separate"}, "C.UTF-8", 2, {"checksum error; left channel, polarity"}, {"combined", "right channel"}},
      {{"--channel=2"}, "C.UTF-8", 2, {"checksum error; right channel, polarity"}, {"combined", "left channel"}},
      {{}, "ru_RU.UTF-8", 0,
       {"источники: копия 1 (stereo.wav, левый канал, 0:", "копия 2 (stereo.wav, правый канал, 0:",
        "ошибка контрольной суммы; левый канал, полярность"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.empty() ? c.language : c.options[0]);
    TempDir out;
    std::vector<std::string> arguments = {"-o", out.path()};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    arguments.push_back("stereo.wav");
    ReadToolRun run;
    run.directory = dir.path();
    run.language = c.language;
    const ToolResult result = RunReadTool(arguments, run);
    EXPECT_EQ(result.status, c.status) << result.out << result.err;
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"GAME.RKS"});
    for (const std::string& text : c.saying) EXPECT_TRUE(Contains(result.out, text)) << text << "\n" << result.out;
    for (const std::string& text : c.notSaying)
      EXPECT_FALSE(Contains(result.out, text)) << text << "\n" << result.out;
  }
}

TEST(ChannelCopies, TwoStereoTakesCombineAsFourCopies) {
  const Program program = tape_damage::MakeProgram(400, 33);
  TempDir dir;
  WriteStereo(dir / "a.wav", LostAt(program, 60), LostAt(program, 160));
  WriteStereo(dir / "b.wav", LostAt(program, 260), Scaled(LostAt(program, 360), -0.5f));
  ReadToolRun run;
  run.directory = dir.path();
  const ToolResult result = RunReadTool({"--json", "--map", "takes.svg", "a.wav", "b.wav"}, run);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(IsValidJson(result.out)) << result.out;
  EXPECT_EQ(ReadBytes(dir / "GAME.RKS"), program.image);
  EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"GAME.RKS", "a.wav", "b.wav", "takes.svg"}));
  // The map draws each channel's copy in a row of its own, in each take.
  const std::string map = TextOf(ReadBytes(dir / "takes.svg"));
  EXPECT_EQ(Count(map, "class=\"record combined\""), 4u);
  EXPECT_EQ(Count(map, "data-lane=\"1\""), 2u);
  EXPECT_EQ(Count(map, ">left channel</text>"), 2u);
  EXPECT_EQ(Count(map, ">right channel</text>"), 2u);
  EXPECT_EQ(Count(result.out, "\"combinedInto\":"), 4u) << result.out;
  // Each copy's place names its recording and channel, counted from 1.
  for (const char* take : {"a.wav", "b.wav"}) {
    const std::string place = std::string("{\"recording\":\"") + take + "\",\"from\":";
    EXPECT_EQ(Count(result.out, place), 2u) << take << "\n" << result.out;
  }
  EXPECT_EQ(Count(result.out, ",\"channel\":1}"), 2u) << result.out;
  EXPECT_EQ(Count(result.out, ",\"channel\":2}"), 2u) << result.out;
}

TEST(ChannelCopies, AChannelAddingNothingGivesNoImageAndAnotherProgramItsOwn) {
  const Program game = tape_damage::MakeProgram(300, 32);
  const Program left = tape_damage::SameLayout(game, 34, "LEFT.RKS");
  const Program right = tape_damage::SameLayout(game, 35, "RIGHT.RKS");
  struct Case {
    const char* what;
    Signal left, right;
    int status;
    std::vector<std::string> files;
    std::size_t damaged;  // notes on standard error
  };
  const Case cases[] = {
      // Mono copied to both channels: one damaged record, reported once.
      {"one signal on both", LostAt(game, 100), LostAt(game, 100), 2, {"GAME.RKS"}, 1},
      // A sound channel wins, and the damaged one is not reported.
      {"one channel sound", LostAt(game, 100), game.signal, 0, {"GAME.RKS"}, 0},
      {"two programs, one damaged", LostAt(left, 100), right.signal, 2, {"LEFT.RKS", "RIGHT.RKS"}, 1},
      {"two programs, both damaged", LostAt(left, 100), LostAt(right, 200), 2, {"LEFT.RKS", "RIGHT.RKS"}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteStereo(dir / "capture.wav", c.left, c.right);
    ReadToolRun run;
    run.directory = dir.path();
    const ToolResult result = RunReadTool({"capture.wav"}, run);
    EXPECT_EQ(result.status, c.status) << result.out << result.err;
    std::vector<std::string> files = c.files;
    files.push_back("capture.wav");
    EXPECT_EQ(FilesIn(dir.path()), files) << result.out;
    for (const std::string& image : c.files) EXPECT_EQ(ReadBytes(dir / image).size(), game.image.size());
    EXPECT_EQ(Count(result.out, "\n"), c.files.size()) << result.out;
    EXPECT_FALSE(Contains(result.out, "combined")) << result.out;
    EXPECT_EQ(Count(result.err, " channel) is damaged: checksum error"), c.damaged) << result.err;
  }
}

}  // namespace
