// lentok-side's library stage by stage: the plan against the bytes lentok
// puts on tape (built independently in the test support), the samples in
// blocks of any size, the WAV header, the refusals and warnings, the table
// of contents in its three forms, and the command line.
#include <gtest/gtest.h>

#include "side/command_line.h"
#include "side/contents_report.h"
#include "side/side_plan.h"
#include "side/side_samples.h"
#include "side/side_writer.h"
#include "tape/tape_name.h"
#include "tests/support/expected.h"
#include "tests/support/json_check.h"
#include "tests/support/test_files.h"

namespace {

Bytes Data(std::size_t size, unsigned seed) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 29 + seed * 53 + (i >> 4));
  return data;
}

// Three images: the first stores a checksum that does not match, so that
// -k shows; the names carry lower case, a digit and UTF-8.
std::vector<side::SideImage> Images() {
  return {{"tapes/Game.rks", "Game.rks", MakeImage(0x0100, Data(40, 1), 0x1234)},
          {"b2.RKS", "b2.RKS", MakeConsistentImage(0x3000, Data(1, 2))},
          {"\xD0\xBC\xD0\xB8\xD1\x80.rks", "\xD0\xBC\xD0\xB8\xD1\x80.rks", MakeConsistentImage(0xC000, Data(700, 3))}};
}

side::PlanResult Plan(const std::vector<side::SideImage>& images, bool k, bool x, std::uint64_t gap) {
  side::SideOptions options;
  options.computeChecksum = k;
  options.noHeader = x;
  options.gapFrames = gap;
  return side::PlanSide(images, options);
}

struct OptionCase {
  bool k;
  bool x;
  std::uint64_t gap;
};
constexpr OptionCase kOptionCases[] = {{false, false, 88200}, {true, false, 0}, {false, true, 7}, {true, true, 1}};

// The WAV data lentok writes for each image, with the gap's silence between.
Bytes ExpectedSideData(const std::vector<side::SideImage>& images, const OptionCase& c) {
  Bytes data;
  for (std::size_t i = 0; i < images.size(); ++i) {
    if (i > 0) data.insert(data.end(), 2 * c.gap, 0);
    const Bytes wav = ExpectedRecording(images[i].bytes, {c.k, c.x, TapeNameOf(images[i].fileName)});
    data.insert(data.end(), wav.begin() + 46, wav.end());
  }
  return data;
}

TEST(SidePlan, EachProgramIsLentoksRecordAtThePlaceTheContentsGive) {
  const std::vector<side::SideImage> images = Images();
  const std::string names[] = {"GAME.RKS", "B2.RKS", "\xD0\xBC\xD0\xB8\xD1\x80.RKS"};
  for (const OptionCase& c : kOptionCases) {
    SCOPED_TRACE(std::string(c.k ? "-k " : "") + (c.x ? "-x " : "") + "gap " + std::to_string(c.gap));
    const side::PlanResult planned = Plan(images, c.k, c.x, c.gap);
    ASSERT_EQ(planned.problem, side::PlanProblem::kNone);
    const side::SideContents& contents = planned.plan.contents;
    std::uint64_t frame = 0;
    for (std::size_t i = 0; i < images.size(); ++i) {
      const side::ProgramEntry& program = contents.programs[i];
      const Bytes tape = ExpectedTapeBytes(images[i].bytes, {c.k, c.x, names[i]});
      EXPECT_EQ(planned.plan.tapeBytes[i], tape);
      EXPECT_EQ(program.tapeName, c.x ? "" : names[i]);
      EXPECT_EQ(program.checksum, tape[tape.size() - 2] | tape[tape.size() - 1] << 8);
      EXPECT_EQ(program.dataBytes, images[i].bytes.size() - 6);
      if (i > 0) frame += c.gap;
      EXPECT_EQ(program.firstFrame, frame);
      // The block starts after the leader, the sync byte and the header.
      const std::size_t header = c.x ? 0 : 3 + names[i].size() + 765 - names[i].size() + 1;
      EXPECT_EQ(program.blockFrame, frame + 256 * (256 + header));
      frame += 256 * tape.size() + 16;
      EXPECT_EQ(program.endFrame, frame);
    }
    EXPECT_EQ(contents.frames, frame);
    EXPECT_EQ(contents.named, !c.x);
  }
}

TEST(SideSamples, AreLentoksRecordingsAndSilenceInBlocksOfAnySize) {
  const std::vector<side::SideImage> images = Images();
  for (const OptionCase& c : kOptionCases) {
    const side::PlanResult planned = Plan(images, c.k, c.x, c.gap);
    const Bytes expected = ExpectedSideData(images, c);
    for (const std::size_t block : {std::size_t{1}, std::size_t{3}, std::size_t{511}, std::size_t{512},
                                    std::size_t{513}, std::size_t{65536}, expected.size() + 5}) {
      SCOPED_TRACE("blocks of " + std::to_string(block) + (c.x ? ", -x" : "") + ", gap " + std::to_string(c.gap));
      side::SideSamples samples(planned.plan);
      EXPECT_EQ(samples.BytesLeft(), expected.size());
      Bytes got;
      Bytes buffer(block);
      for (std::size_t count; (count = samples.Read(buffer.data(), block)) != 0;) {
        got.insert(got.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
      }
      EXPECT_EQ(samples.BytesLeft(), 0u);
      ASSERT_EQ(got.size(), expected.size());
      EXPECT_TRUE(got == expected);
    }
  }
}

TEST(SideWav, IsLentoksFileWithEverySampleAndTheSizesSetAtTheStart) {
  const std::vector<side::SideImage> images = Images();
  const OptionCase c = kOptionCases[0];
  const side::PlanResult planned = Plan(images, c.k, c.x, c.gap);
  Bytes file;
  const auto encoder = side::MakeWavEncoder(planned.plan.contents.frames, [&](const std::uint8_t* bytes, std::size_t n) {
    file.insert(file.end(), bytes, bytes + n);
    return true;
  });
  ASSERT_EQ(side::WriteSide(planned.plan, *encoder, nullptr).outcome, side::WriteOutcome::kWritten);
  // One program's file from lentok has the header of any other length but
  // for the two sizes.
  Bytes header = ExpectedRecording(images[1].bytes, {false, false, "B2.RKS"});
  header.resize(46);
  const Bytes data = ExpectedSideData(images, c);
  header[4] = header[42] = 0;
  Bytes expected;
  AppendLe32(expected, static_cast<std::uint32_t>(data.size() + 38));
  std::copy(expected.begin(), expected.end(), header.begin() + 4);
  expected.clear();
  AppendLe32(expected, static_cast<std::uint32_t>(data.size()));
  std::copy(expected.begin(), expected.end(), header.begin() + 42);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 46), header);
  EXPECT_TRUE(Bytes(file.begin() + 46, file.end()) == data);

  // The 32-bit sizes hold a side up to the frame where the RIFF size
  // reaches its largest even value, and no further.
  const std::uint64_t longest = side::LongestWavSide();
  EXPECT_TRUE(side::WavHoldsSide(longest));
  EXPECT_FALSE(side::WavHoldsSide(longest + 1));
  const auto top = side::WavSideHeader(longest);
  EXPECT_EQ(Bytes(top.begin() + 4, top.begin() + 8), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(SideWriter, StopsWhenAskedAndTellsASinkThatRefused) {
  const side::PlanResult planned = Plan(Images(), false, false, 100);
  std::size_t taken = 0;
  const auto refusing = side::MakeWavEncoder(planned.plan.contents.frames, [&](const std::uint8_t*, std::size_t n) {
    taken += n;
    return taken < 100000;
  });
  EXPECT_EQ(side::WriteSide(planned.plan, *refusing, nullptr).outcome, side::WriteOutcome::kSinkFailed);
  int asked = 0;
  const auto wav = side::MakeWavEncoder(planned.plan.contents.frames, [](const std::uint8_t*, std::size_t) { return true; });
  EXPECT_EQ(side::WriteSide(planned.plan, *wav, [&] { return ++asked < 3; }).outcome, side::WriteOutcome::kStopped);
}

TEST(SidePlan, RefusesWhatLentokRefusesAndTwoImagesOfOneName) {
  const Bytes image = MakeConsistentImage(0x100, Data(10, 4));
  const struct {
    const char* what;
    std::vector<side::SideImage> images;
    bool x;
    side::PlanProblem problem;
    std::size_t image;
    std::size_t other;
  } kCases[] = {
      {"no images", {}, false, side::PlanProblem::kNoImages, 0, 0},
      {"an image of 6 bytes", {{"a", "a", image}, {"b", "b", Bytes(6)}}, false, side::PlanProblem::kImageTooShort, 1, 0},
      {"an image of 7 bytes", {{"a", "a", Bytes(7)}}, false, side::PlanProblem::kNone, 0, 0},
      {"an image of 65552 bytes", {{"a", "a", Bytes(65552)}}, false, side::PlanProblem::kNone, 0, 0},
      {"an image of 65553 bytes", {{"a", "a", Bytes(65553)}}, false, side::PlanProblem::kImageTooLong, 0, 0},
      {"names that differ only in case",
       {{"x/game.rks", "game.rks", image}, {"b", "b", image}, {"y/GAME.rks", "GAME.rks", image}},
       false, side::PlanProblem::kSameName, 2, 0},
      {"the same name without headers", {{"a", "game", image}, {"b", "game", image}}, true, side::PlanProblem::kNone, 0, 0},
      // Only a to z are upper-cased: these two are different names.
      {"letters outside a to z", {{"a", "\xC3\xA9", image}, {"b", "\xC3\x89", image}}, false, side::PlanProblem::kNone, 0, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const side::PlanResult planned = Plan(c.images, false, c.x, 0);
    EXPECT_EQ(planned.problem, c.problem);
    if (c.problem != side::PlanProblem::kNone) {
      EXPECT_EQ(planned.image, c.image);
    }
    if (c.problem == side::PlanProblem::kSameName) {
      EXPECT_EQ(planned.other, c.other);
    }
  }
  EXPECT_EQ(TapeNameOf("az-AZ_09.rks~\xD0\xB8"), "AZ-AZ_09.RKS~\xD0\xB8");
}

TEST(SideWarnings, LongSidesNamesTheKeyboardCannotTypeAndNoNames) {
  side::SideContents contents;
  contents.programs.resize(4);
  contents.programs[0].tapeName = "GAME 1.RKS~";
  contents.programs[1].tapeName = "\xD0\x98.RKS";
  contents.programs[2].tapeName = "A\x7F";
  contents.programs[3].tapeName = "\x01";
  using Kind = side::WarningKind;
  const auto kinds = [&](int minutes) {
    std::vector<std::pair<Kind, std::size_t>> got;
    for (const side::SideWarning& warning : side::SideWarnings(contents, minutes)) got.emplace_back(warning.kind, warning.program);
    return got;
  };
  contents.frames = 45 * 60 * 44100;
  const std::vector<std::pair<Kind, std::size_t>> names = {
      {Kind::kNameNotTypeable, 1}, {Kind::kNameNotTypeable, 2}, {Kind::kNameNotTypeable, 3}};
  EXPECT_EQ(kinds(45), names);
  std::vector<std::pair<Kind, std::size_t>> longer = {{Kind::kLongerThanCassette, 0}};
  longer.insert(longer.end(), names.begin(), names.end());
  EXPECT_EQ(kinds(30), longer);
  contents.frames += 1;
  EXPECT_EQ(kinds(45), longer);
  contents.named = false;
  EXPECT_EQ(kinds(60), (std::vector<std::pair<Kind, std::size_t>>{{Kind::kNoNames, 0}}));
}

TEST(SideContents, TimesAreCutDownToTheTenth) {
  const struct {
    std::uint64_t frames;
    const char* shown;
  } kCases[] = {{0, "0:00.0"},         {4409, "0:00.0"},          {4410, "0:00.1"},        {44099, "0:00.9"},
                {59 * 44100 + 44099, "0:59.9"}, {60 * 44100, "1:00.0"}, {75 * 60 * 44100 + 4410 * 3, "75:00.3"}};
  for (const auto& c : kCases) EXPECT_EQ(side::SideTime(c.frames, 44100), c.shown) << c.frames;
}

TEST(SideContents, TableJsonAndLabelsOfOneSide) {
  std::vector<side::SideImage> images = Images();
  images[2].path = "bad\x01name.rks";
  const side::PlanResult planned = Plan(images, false, false, 88200);
  const side::SideContents& contents = planned.plan.contents;
  // Game: (256 + 3 + 8 + 757 + 1 + 44 + 2) bytes on tape, 1071 * 256 + 16 frames.
  EXPECT_EQ(side::ContentsText(contents, side::Language::kEnglish),
            "#   start  length  name to type\n"
            "1  0:00.0  0:06.2  GAME.RKS (tapes/Game.rks)\n"
            "2  0:08.2  0:05.9  B2.RKS (b2.RKS)\n"
            "3  0:16.2  0:10.0  \xD0\xBC\xD0\xB8\xD1\x80.RKS (bad\\x01name.rks)\n"
            "side: 0:26.2; programs: 3\n");
  EXPECT_EQ(Lines(side::ContentsText(contents, side::Language::kRussian))[0],
            "\xE2\x84\x96  начало   длина  имя для набора");
  const std::string json = side::ContentsJson(contents, side::SideWarnings(contents, 45), 45);
  EXPECT_TRUE(IsValidJson(json)) << json;
  EXPECT_NE(json.find("\"name\":\"GAME.RKS\",\"start\":256,\"end\":295,\"dataBytes\":40,\"checksumOnTape\":4660,"
                      "\"firstFrame\":0,\"blockFrame\":" + std::to_string(256 * (256 + 3 + 8 + 757 + 1)) +
                      ",\"endFrame\":274192,\"from\":0.000000,\"to\":6.217506}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"warnings\":[{\"kind\":\"name not typeable\",\"image\":\"bad\\u0001name.rks\""), std::string::npos)
      << json;
  EXPECT_EQ(Lines(side::LabelTrack(contents))[1], "8.217506\t14.208617\tB2.RKS");
  const side::PlanResult unnamed = Plan(images, false, true, 0);
  EXPECT_EQ(Lines(side::LabelTrack(unnamed.plan.contents))[0], "0.000000\t1.753469\ttapes/Game.rks");
  EXPECT_EQ(Lines(side::ContentsText(unnamed.plan.contents, side::Language::kEnglish))[1],
            "1  0:00.0  0:01.7  no name (tapes/Game.rks)");
}

TEST(SideCommandLine, OptionsOperandsAndWhatIsWrong) {
  using Error = side::CommandLineError;
  const struct {
    std::vector<std::string> arguments;
    Error error;
    std::string culprit;
  } kCases[] = {
      {{"-kx", "-oside.WAV", "a.rks"}, Error::kNone, ""},
      {{"--out=side.flac", "--no-h", "--", "-x"}, Error::kNone, ""},
      {{"a.rks"}, Error::kNoOutput, ""},
      {{"-o", "side.wav"}, Error::kNoImages, ""},
      {{"-o", "side.mp3", "a.rks"}, Error::kOutputFormat, "side.mp3"},
      {{"-o", ".wav", "a.rks"}, Error::kOutputFormat, ".wav"},
      {{"-o", "s.wav", "--gap", "-0.5", "a.rks"}, Error::kGapTooShort, "-0.5"},
      {{"-o", "s.wav", "--gap=2s", "a.rks"}, Error::kBadGap, "2s"},
      {{"-o", "s.wav", "--length", "90m", "a.rks"}, Error::kBadLength, "90m"},
      {{"-o", "s.wav", "-", "a.rks"}, Error::kStandardInputImage, "-"},
      {{"-o", "s.wav", "-q", "a.rks"}, Error::kUnknownOption, "-q"},
      {{"-o", "s.wav", "--l=x", "a.rks"}, Error::kAmbiguousOption, "--l"},
      {{"-o", "s.wav", "--json=1", "a.rks"}, Error::kUnexpectedValue, "--json"},
      {{"a.rks", "-o"}, Error::kMissingValue, "-o"},
      {{"--help", "-q"}, Error::kNone, ""},
  };
  for (const auto& c : kCases) {
    std::string shown;
    for (const std::string& argument : c.arguments) shown += argument + " ";
    SCOPED_TRACE(shown);
    const side::ParsedCommandLine parsed = side::ParseCommandLine(c.arguments);
    EXPECT_EQ(parsed.error, c.error);
    EXPECT_EQ(parsed.culprit, c.culprit);
  }
  const side::SideToolOptions first = side::ParseCommandLine(kCases[0].arguments).options;
  EXPECT_TRUE(first.computeChecksum && first.noHeader);
  EXPECT_EQ(first.output, "side.WAV");
  EXPECT_EQ(first.format, side::SideFormat::kWav);
  EXPECT_EQ(first.gapFrames, 88200u);
  EXPECT_EQ(first.cassetteMinutes, 45);
  const side::SideToolOptions second = side::ParseCommandLine(kCases[1].arguments).options;
  EXPECT_EQ(second.format, side::SideFormat::kFlac);
  EXPECT_EQ(second.images, std::vector<std::string>{"-x"});
  EXPECT_FALSE(second.computeChecksum);
}

TEST(SideCommandLine, GapsAreSecondsInWholeSamples) {
  using Reading = side::GapReading;
  const struct {
    const char* text;
    Reading reading;
    std::uint64_t frames;
  } kCases[] = {{"2", Reading::kGap, 88200},        {"0.5", Reading::kGap, 22050},  {".25", Reading::kGap, 11025},
                {"3.", Reading::kGap, 132300},      {"0", Reading::kGap, 0},        {"-0", Reading::kGap, 0},
                {"0.0001", Reading::kGap, 4},       {"600", Reading::kGap, 26460000},
                {"600.01", Reading::kTooLong, 0},   {"-0.001", Reading::kTooShort, 0},
                {"", Reading::kNotAGap, 0},         {".", Reading::kNotAGap, 0},    {"1.2.3", Reading::kNotAGap, 0},
                {"1e3", Reading::kNotAGap, 0},      {"0,5", Reading::kNotAGap, 0},  {"--1", Reading::kNotAGap, 0}};
  for (const auto& c : kCases) {
    std::uint64_t frames = 0;
    EXPECT_EQ(side::ReadGap(c.text, frames), c.reading) << c.text;
    if (c.reading == Reading::kGap) {
      EXPECT_EQ(frames, c.frames) << c.text;
    }
  }
}

}  // namespace
