// lentok-read --map, run whole: the picture is parsed as XML by a small
// Python reader (tests/support/svg_summary.py) and what it shows is checked:
// a panel per recording under its name, a band per record with its status,
// the level drawn, doubtful bits marked where a record was damaged, speed
// drift where the tape wavered, the words in the user's language, and the
// command lines that would lose a file refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "tests/support/degrade.h"
#include "tests/support/expected.h"
#include "tests/support/run_read_tool.h"
#include "tests/support/test_files.h"
#include "tests/support/wav_out.h"

namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::size_t kByteSamples = 256;  // 8 cells of 32 samples

Bytes Data(std::size_t size, unsigned seed) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 37 + seed * 11 + (i >> 4));
  return data;
}

const Bytes kFirst = MakeConsistentImage(0x3000, Data(400, 1));
// Its stored checksum is not the data's: lentok sends it as stored, so the
// record reads to its end with a checksum error.
const Bytes kWrongSum = MakeImage(0x4000, Data(300, 2), 0x1234);
const Bytes kWavering = MakeConsistentImage(0x5000, Data(900, 3));
const Bytes kBurst = MakeConsistentImage(0x6000, Data(600, 4));
const Bytes kCopied = MakeConsistentImage(0x7000, Data(500, 5));
const Bytes kFast = MakeConsistentImage(0x8000, Data(200, 6));

degrade::Signal Pause() { return degrade::Silence(0.4, kRate); }

// A burst of loud noise `samples` long, `intoData` bytes into the data
// block of the recording of `image`.
degrade::Signal WithBurst(const Bytes& image, const std::string& name, std::size_t intoData, std::size_t samples) {
  const degrade::Signal clean = degrade::LentokSignal(image, Named(name));
  const std::size_t dataStart = clean.size() - (image.size() - 2 + 2) * kByteSamples;
  const std::size_t from = dataStart + intoData * kByteSamples;
  return degrade::Join({degrade::Slice(clean, 0, from),
                        degrade::AddWhiteNoise(degrade::Slice(clean, from, from + samples), -20, 7),
                        degrade::Slice(clean, from + samples, clean.size())});
}

std::string Summary(const std::string& svgPath) {
  const std::string command = "python3 " LENTOK_TEST_SUPPORT_DIR "/svg_summary.py '" + svgPath + "' 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string out;
  char buffer[4096];
  for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) out.append(buffer, got);
  return out;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The first line of `text` that holds `part`, or "".
std::string LineWith(const std::string& text, const std::string& part) {
  const std::size_t at = text.find(part);
  if (at == std::string::npos) return "";
  const std::size_t from = text.rfind('\n', at);
  const std::size_t start = from == std::string::npos ? 0 : from + 1;
  return text.substr(start, text.find('\n', at) - start);
}

class MapRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ReadToolIsWindowsBuild()) GTEST_SKIP() << "the picture is the same on every system";
    // Three records: one sound, one with a checksum error, and one played
    // too fast for the machine to load, though it reads soundly; the file's
    // name holds markup characters, which the picture must escape.
    WriteWavFile(dir_ / kSideA,
                 degrade::Join({Pause(), degrade::LentokSignal(kFirst, Named("FIRST")), Pause(),
                                degrade::LentokSignal(kWrongSum, Named("SECOND")), Pause(),
                                degrade::ChangeSpeed(degrade::LentokSignal(kFast, Named("FAST")), 1.25), Pause()}),
                 kRate, 1, formats::WavSampleType::kSigned16);
    // A record on a wavering tape, read soundly, and one that a burst of
    // noise damaged.
    const degrade::Signal wavering = degrade::WowAndFlutter(degrade::LentokSignal(kWavering, Named("WOW")), kRate,
                                                            {0.05, 0.4}, {0, 0});
    WriteWavFile(dir_ / "side b.wav",
                 degrade::Join({Pause(), wavering, Pause(), WithBurst(kBurst, "BURST", 200, 400), Pause()}), kRate, 1,
                 formats::WavSampleType::kSigned16);
    // Two copies of one program, each damaged in another place: combined.
    WriteWavFile(dir_ / "copies.wav",
                 degrade::Join({Pause(), WithBurst(kCopied, "COPY", 100, 400), Pause(),
                                WithBurst(kCopied, "COPY", 350, 400), Pause()}),
                 kRate, 1, formats::WavSampleType::kSigned16);
  }

  ToolResult Run(const std::vector<std::string>& arguments, const std::string& language = "C.UTF-8") const {
    ReadToolRun run;
    run.directory = dir_.path();
    run.language = language;
    return RunReadTool(arguments, run);
  }

  static constexpr const char* kSideA = "side <A> & \"more\".wav";
  TempDir dir_;
};

}  // namespace

TEST_F(MapRun, EachRecordingIsAPanelWithItsRecordsLevelDamageAndDrift) {
  const ToolResult result = Run({"--map", "map.svg", kSideA, "side b.wav", "copies.wav"});
  ASSERT_EQ(result.status, 2) << result.err;  // two records are damaged
  const std::string summary = Summary(dir_ / "map.svg");
  // The level is drawn across each panel: many points, whatever the exact
  // number of columns.
  EXPECT_TRUE(Contains(summary, "panel side <A> & \"more\".wav level=")) << summary;
  EXPECT_TRUE(Contains(summary, "panel side b.wav level=")) << summary;
  EXPECT_EQ(summary.find("level=0"), std::string::npos) << summary;
  const std::vector<std::string> records = {
      "record record sound label=\"FIRST\", 3000 to 318F: sound doubtful=0/0",
      "record record damaged label=\"SECOND\", 4000 to 412B: checksum error doubtful=0/0",
      "record record sound label=\"WOW\", 5000 to 5383: sound doubtful=0/0",
      "record record damaged label=\"BURST\", 6000 to 6257: checksum error doubtful=",
      "record record combined label=\"COPY\", 7000 to 71F3: combined doubtful=",
      "record record combined label=\"COPY\", 7000 to 71F3: combined doubtful=",
  };
  std::size_t at = 0;
  for (const std::string& record : records) {
    const std::size_t found = summary.find(record, at);
    ASSERT_NE(found, std::string::npos) << record << "\nin\n" << summary;
    at = found + record.size();
  }
  // Each burst left doubtful bits, marked in one place; every record has
  // its confidence drawn; only the wavering tape drifts.
  EXPECT_TRUE(Contains(summary, "6257: checksum error doubtful=1/")) << summary;
  EXPECT_TRUE(Contains(summary, "71F3: combined doubtful=1/")) << summary;
  EXPECT_EQ(summary.find("confidence=0 "), std::string::npos) << summary;
  EXPECT_TRUE(Contains(LineWith(summary, "\"WOW\""), "drift=YES")) << summary;
  // The machine would load the sound records at their speed, but neither
  // the one played too fast nor the one whose checksum fails.
  EXPECT_TRUE(Contains(LineWith(summary, "\"FIRST\""), "load=0")) << summary;
  EXPECT_TRUE(Contains(LineWith(summary, "\"WOW\""), "load=0")) << summary;
  EXPECT_FALSE(Contains(LineWith(summary, "\"FAST\""), "load=0")) << summary;
  EXPECT_TRUE(Contains(LineWith(summary, "\"FAST\""), ": sound ")) << summary;
  EXPECT_FALSE(Contains(LineWith(summary, "\"SECOND\""), "load=0")) << summary;
  EXPECT_EQ(summary.find("drift=YES"), summary.rfind("drift=YES")) << summary;
}

TEST_F(MapRun, TheWordsAreInTheUsersLanguage) {
  struct Case {
    const char* language;
    const char* heading;
    const char* sound;
    const char* damaged;
    const char* strip;
  };
  const Case cases[] = {
      {"C.UTF-8", "heading lentok-read: where the damage is", ": sound doubtful", ": checksum error doubtful",
       ">confidence<"},
      {"ru_RU.UTF-8", "heading lentok-read: где повреждения", ": исправна doubtful",
       ": ошибка контрольной суммы doubtful", ">уверенность<"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    const ToolResult result = Run({"--force", "--map=map.svg", kSideA}, c.language);
    ASSERT_EQ(result.status, 2) << result.err;
    const std::string summary = Summary(dir_ / "map.svg");
    EXPECT_TRUE(Contains(summary, c.heading)) << summary;
    EXPECT_TRUE(Contains(summary, c.sound)) << summary;
    EXPECT_TRUE(Contains(summary, c.damaged)) << summary;
    const Bytes svg = ReadBytes(dir_ / "map.svg");
    EXPECT_TRUE(Contains(std::string(svg.begin(), svg.end()), c.strip));
  }
}

TEST_F(MapRun, CommandLinesThatWouldLoseAFileAreRefused) {
  struct Case {
    std::vector<std::string> arguments;
    const char* error;
  };
  const Case cases[] = {
      {{"--map", "side b.wav", kSideA, "side b.wav"},
       "lentok-read: --map would replace the recording 'side b.wav' (see --help)\n"},
      {{"--map", "map.svg", "--verify", "image.rks", "side b.wav"},
       "lentok-read: --map does not go with --verify (see --help)\n"},
      {{"side b.wav", "--map"}, "lentok-read: option '--map' needs a value (see --help)\n"},
  };
  const Bytes before = ReadBytes(dir_ / "side b.wav");
  for (const Case& c : cases) {
    const ToolResult result = Run(c.arguments);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, c.error);
    EXPECT_FALSE(FileExists(dir_ / "map.svg"));
  }
  EXPECT_EQ(ReadBytes(dir_ / "side b.wav"), before);
}

TEST_F(MapRun, AMapThatCannotBeWrittenIsAFailureAfterTheImages) {
  const ToolResult result = Run({"--map", "no such directory/map.svg", "side b.wav"});
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(Contains(result.err, "lentok-read: no such directory/map.svg: cannot write the map: ")) << result.err;
  EXPECT_TRUE(FileExists(dir_ / "WOW.rks"));
}

// A record without a checksum is drawn as the run counts it: sound when
// every bit was read clearly, damaged when one was in doubt, and as its
// combination when copies made up for each other.
TEST_F(MapRun, ARecordWithoutAChecksumIsDrawnAsTheRunCountsIt) {
  const Bytes image = MakeConsistentImage(0x1000, Bytes(300, 0x5A));
  const degrade::Signal save = degrade::EarlierMonitorSave(image);
  // A cell and a half of byte `byte` nearly gone: read right, but in doubt.
  const auto weak = [&](std::size_t byte) {
    return degrade::Dropout(save, (255 + 1 + 4 + byte) * 256 + 3 * 32 + 8, 48, 0.1f);
  };
  const struct {
    const char* what;
    std::vector<degrade::Signal> records;
    int status;
    const char* band;
  } kCases[] = {
      {"read clearly", {save}, 0, "record record sound label=no name, 1000 to 112B: no checksum"},
      {"a bit in doubt", {weak(100)}, 2, "record record damaged label=no name, 1000 to 112B: no checksum"},
      {"copies in doubt elsewhere", {weak(100), weak(200)}, 0,
       "record record sound label=no name, 1000 to 112B: no checksum"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    std::vector<degrade::Signal> pieces = {Pause()};
    for (const degrade::Signal& record : c.records) pieces.insert(pieces.end(), {record, Pause()});
    WriteWavFile(dir_ / "earlier.wav", degrade::Join(pieces), kRate, 1, formats::WavSampleType::kSigned16);
    const ToolResult result = Run({"--force", "--map", "map.svg", "earlier.wav"});
    EXPECT_EQ(result.status, c.status) << result.out;
    const std::string summary = Summary(dir_ / "map.svg");
    EXPECT_TRUE(Contains(summary, c.band)) << summary;
    EXPECT_EQ(Contains(summary, "record record damaged"), c.status == 2) << summary;
  }
}
