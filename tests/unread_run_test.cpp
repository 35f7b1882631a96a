// Whole runs of the built lentok-read on signal no record explains: a
// standard record made by the built lentok, followed by what a protected
// program's own loader would read, or by what is not tape signal at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "tests/support/json_check.h"
#include "tests/support/run_read_tool.h"
#include "tests/support/run_tool.h"
#include "tests/support/tape_loader.h"
#include "tests/support/test_files.h"

namespace {

constexpr std::uint32_t kRate = 44100;

// Interleaved samples of `channels` as a plain 16-bit WAV file.
Bytes WavOf(const std::vector<std::int16_t>& samples, std::uint16_t channels = 1) {
  const auto bytes = static_cast<std::uint32_t>(samples.size() * 2);
  Bytes wav = {'R', 'I', 'F', 'F'};
  AppendLe32(wav, 36 + bytes);
  for (char c : std::string("WAVEfmt ")) wav.push_back(static_cast<std::uint8_t>(c));
  AppendLe32(wav, 16);
  AppendLe16(wav, 1);  // PCM
  AppendLe16(wav, channels);
  AppendLe32(wav, kRate);
  AppendLe32(wav, kRate * 2 * channels);
  AppendLe16(wav, static_cast<std::uint16_t>(2 * channels));
  AppendLe16(wav, 16);
  for (char c : std::string("data")) wav.push_back(static_cast<std::uint8_t>(c));
  AppendLe32(wav, bytes);
  for (const std::int16_t sample : samples) AppendLe16(wav, static_cast<std::uint16_t>(sample));
  return wav;
}

Bytes Data(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes data(size);
  for (std::uint8_t& byte : data) byte = static_cast<std::uint8_t>(random());
  return data;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The number after `key` in `text` from `from` on; NaN when absent.
double NumberAfter(const std::string& text, const std::string& key, std::size_t from = 0) {
  const std::size_t at = text.find(key, from);
  return at == std::string::npos ? std::nan("") : std::stod(text.substr(at + key.size()));
}

class UnreadRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ReadToolIsWindowsBuild()) GTEST_SKIP() << "for the POSIX build";
  }

  // The built lentok's recording of an image of `size` random bytes.
  std::vector<std::int16_t> Recorded(std::size_t size, unsigned seed) const {
    const std::string name = "image" + std::to_string(seed);
    WriteBytes(dir_ / (name + ".rks"), MakeConsistentImage(0x0100, Data(size, seed)));
    ToolOptions options;
    options.program = LENTOK_WRITE_TOOL;
    options.native = true;
    const ToolResult made = RunTool({name + ".rks", name + ".wav"}, dir_.path(), options);
    EXPECT_EQ(made.status, 0) << made.err;
    return SamplesOf(ReadBytes(dir_ / (name + ".wav")));
  }

  // The same kind of signal at twice the speed: every other sample, from
  // past the leader and the header, as a loader of its own reads its blocks.
  std::vector<std::int16_t> TwiceAsFast(double seconds) const {
    const std::vector<std::int16_t> recorded = Recorded(12000, 7);
    std::vector<std::int16_t> fast;
    for (std::size_t i = 4 * kRate; i < recorded.size() && fast.size() < seconds * kRate; i += 2) {
      fast.push_back(recorded[i]);
    }
    return fast;
  }

  ToolResult Read(const std::vector<std::int16_t>& samples, std::vector<std::string> options = {},
                  std::uint16_t channels = 1) const {
    WriteBytes(dir_ / "tape.wav", WavOf(samples, channels));
    options.push_back("--force");
    options.push_back("tape.wav");
    ReadToolRun run;
    run.directory = dir_.path();
    return RunReadTool(options, run);
  }

  TempDir dir_;
};

std::vector<std::int16_t> Silence(double seconds) {
  return std::vector<std::int16_t>(static_cast<std::size_t>(seconds * kRate), 0);
}

std::vector<std::int16_t> Hum(double seconds) {
  std::vector<std::int16_t> hum;
  for (std::size_t i = 0; i < seconds * kRate; ++i) {
    const double t = static_cast<double>(i) / kRate;
    // Mains hum with its low harmonics, loud.
    hum.push_back(static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * 50 * t) + 4000 * std::sin(2 * M_PI * 150 * t) +
                                            3000 * std::sin(2 * M_PI * 250 * t)));
  }
  return hum;
}

std::vector<std::int16_t> Noise(double seconds, double level) {
  std::mt19937 random(3);
  std::normal_distribution<double> gauss(0, level * 32767);
  std::vector<std::int16_t> noise;
  for (std::size_t i = 0; i < seconds * kRate; ++i) {
    noise.push_back(static_cast<std::int16_t>(std::clamp(gauss(random), -32767.0, 32767.0)));
  }
  return noise;
}

void Append(std::vector<std::int16_t>& to, const std::vector<std::int16_t>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

}  // namespace

// What follows a standard record, and whether lentok-read tells of it: only
// tape signal that no record covers and that is more than a bare leader.
TEST_F(UnreadRun, SignalAfterARecordIsToldOfOnlyWhenItIsTapeSignal) {
  const std::vector<std::int16_t> record = Recorded(2000, 1);
  const double recordEnds = static_cast<double>(record.size()) / kRate;
  std::vector<std::int16_t> leaderOnly = Recorded(2000, 2);
  leaderOnly.resize(static_cast<std::size_t>(1.2 * kRate));  // before the sync byte
  struct Case {
    const char* what;
    std::vector<std::int16_t> after;  // straight after the record
    bool told;
  } cases[] = {
      {"twice the speed", TwiceAsFast(24), true},
      {"nothing", {}, false},
      {"silence", Silence(3), false},
      {"50 Hz hum", Hum(3), false},
      {"a leader with no sync byte", leaderOnly, false},
      {"white noise at -40 dBFS", Noise(3, 0.01), false},
      {"white noise at -14 dBFS", Noise(3, 0.2), false},
      {"a burst under half a second", TwiceAsFast(0.4), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::int16_t> samples = record;
    Append(samples, c.after);
    Append(samples, Silence(0.5));
    const ToolResult result = Read(samples);
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), c.told ? 2u : 1u) << result.out << result.err << result.status << " " << result.signal;
    EXPECT_TRUE(Contains(lines[0], "sound")) << lines[0];
    EXPECT_EQ(result.status, c.told ? 3 : 0) << result.err;
    if (!c.told) continue;
    EXPECT_TRUE(Contains(lines[1], ": signal that is not a standard record (level changes about every 181 µs)"))
        << lines[1];
    // "m:ss.mmm to m:ss.mmm: ..."
    const double from = std::stod(lines[1].substr(2));
    const double to = std::stod(lines[1].substr(lines[1].find(" to ") + 6));
    EXPECT_NEAR(from, recordEnds, 0.1) << lines[1];
    EXPECT_NEAR(to, recordEnds + 24, 0.1) << lines[1];
  }
}

TEST_F(UnreadRun, JsonAndTheMapTellOfTheStretchBesideTheRecords) {
  std::vector<std::int16_t> samples = Recorded(2000, 1);
  const double recordEnds = static_cast<double>(samples.size()) / kRate;
  Append(samples, TwiceAsFast(3));
  const ToolResult result = Read(samples, {"--json", "--map", "map.svg"});
  EXPECT_EQ(result.status, 3) << result.err;
  ASSERT_TRUE(IsValidJson(result.out)) << result.out;
  // The map draws it as a band of its own, labelled as the line is.
  const Bytes svg = ReadBytes(dir_ / "map.svg");
  const std::string map(svg.begin(), svg.end());
  EXPECT_TRUE(Contains(map, "<g class=\"unread\"")) << map;
  EXPECT_TRUE(Contains(map, "signal that is not a standard record (level changes about every 181 µs)")) << map;
  const std::size_t unread = result.out.find("\"unread\":[{");
  ASSERT_NE(unread, std::string::npos) << result.out;
  EXPECT_NEAR(NumberAfter(result.out, "\"from\":", unread), recordEnds, 0.1);
  EXPECT_NEAR(NumberAfter(result.out, "\"to\":", unread), recordEnds + 3, 0.1);
  EXPECT_NEAR(NumberAfter(result.out, "\"changeMicroseconds\":", unread), 181, 3);
  EXPECT_TRUE(Contains(result.out, "\"kept\":null")) << result.out;
  // A mono recording has no choice of channel to tell of.
  EXPECT_FALSE(Contains(result.out.substr(unread), "\"channel\"")) << result.out;
  EXPECT_TRUE(Contains(result.out, "\"status\":3}")) << result.out;
}

TEST_F(UnreadRun, KeepUnreadWritesTheStretchAsTheInputsOwnSamples) {
  std::vector<std::int16_t> samples = Recorded(2000, 1);
  Append(samples, TwiceAsFast(3));
  Append(samples, Silence(1));
  const ToolResult result = Read(samples, {"--keep-unread", "--json"});
  EXPECT_EQ(result.status, 3) << result.err;
  const std::size_t unread = result.out.find("\"unread\":[{");
  ASSERT_NE(unread, std::string::npos) << result.out;
  const auto first = static_cast<std::size_t>(NumberAfter(result.out, "\"firstFrame\":", unread));
  const auto end = static_cast<std::size_t>(NumberAfter(result.out, "\"endFrame\":", unread));
  const std::string name = "tape.unread-0m" + std::to_string(first / kRate) + "s.wav";
  EXPECT_TRUE(Contains(result.out, "\"kept\":\"" + name + "\"")) << result.out;
  ASSERT_TRUE(FileExists(dir_ / name));
  const std::vector<std::int16_t> kept = SamplesOf(ReadBytes(dir_ / name));
  ASSERT_LT(first, end);
  EXPECT_EQ(kept, std::vector<std::int16_t>(samples.begin() + static_cast<std::ptrdiff_t>(first),
                                            samples.begin() + static_cast<std::ptrdiff_t>(end)));
  // No candidate left behind under a temporary name, and only the one kept.
  for (const std::string& file : FilesIn(dir_.path())) {
    EXPECT_NE(file[0], '.') << file;
    EXPECT_TRUE(file == name || !Contains(file, ".unread-")) << file;
  }
}

// Two channels: a stretch is told of once, and not where a record on the
// other channel covers it.
TEST_F(UnreadRun, OnTwoChannelsAStretchIsToldOfOnceAndOnlyWhereNoRecordIs) {
  const std::vector<std::int16_t> record = Recorded(2000, 1);
  std::vector<std::int16_t> after = record;
  Append(after, TwiceAsFast(3));
  std::vector<std::int16_t> during = TwiceAsFast(static_cast<double>(record.size()) / kRate);
  during.resize(record.size());
  struct Case {
    const char* what;
    std::vector<std::int16_t> left, right;
    int status;
    const char* channel;  // in the JSON, when told
  } cases[] = {
      {"the same on both", after, after, 3, "\"channel\":1"},
      {"after the record, on the right only", record, [&] {
         std::vector<std::int16_t> right = Silence(static_cast<double>(record.size()) / kRate);
         Append(right, TwiceAsFast(3));
         return right;
       }(), 3, "\"channel\":2"},
      {"beside the record on the other channel", record, during, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::int16_t> stereo;
    for (std::size_t i = 0; i < std::max(c.left.size(), c.right.size()); ++i) {
      stereo.push_back(i < c.left.size() ? c.left[i] : 0);
      stereo.push_back(i < c.right.size() ? c.right[i] : 0);
    }
    const ToolResult result = Read(stereo, {"--json"}, 2);
    EXPECT_EQ(result.status, c.status) << result.out;
    const std::size_t unread = result.out.find("\"unread\":[");
    ASSERT_NE(unread, std::string::npos) << result.out;
    const std::string stretches = result.out.substr(unread, result.out.find(']', unread) - unread);
    if (c.channel == nullptr) {
      EXPECT_EQ(stretches, "\"unread\":[") << result.out;
      continue;
    }
    EXPECT_EQ(stretches.find("{", stretches.find("{") + 1), std::string::npos) << "told more than once: " << stretches;
    EXPECT_TRUE(Contains(stretches, c.channel)) << stretches;
  }
}
