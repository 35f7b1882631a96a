// Each stage of the tape decoder on its own: the running sums, the cell
// timing, the bit reader and the record parser, fed what the stage before
// would hand them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "reader/bit_reader.h"
#include "reader/cell_timing.h"
#include "reader/record_parser.h"
#include "reader/sample_loops.h"
#include "reader/signal_window.h"
#include "tape/tape_checksum.h"

namespace {

using reader::BitEvent;
using reader::BitReader;
using reader::RecordParser;
using reader::SignalWindow;
using reader::TimingEvent;

TEST(SignalWindow, IntegratesBetweenFractionalPositionsAcrossTheRingsWrap) {
  SignalWindow window(64);
  std::vector<float> ramp(1000);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i % 7) - 3.0f;
  // In odd pieces, so the ring wraps in the middle of them.
  for (std::size_t at = 0; at < ramp.size(); at += 37) {
    window.Append(ramp.data() + at, std::min<std::size_t>(37, ramp.size() - at), 1);
  }
  ASSERT_EQ(window.End(), 1000);
  EXPECT_FALSE(window.Holds(800, 950));
  EXPECT_TRUE(window.Holds(990, 999.5));
  // Frames 990..992 hold 0, 1, 2; the integral takes half of 990, all of
  // 991 and a quarter of 992.
  EXPECT_NEAR(window.Integral(990.5, 992.25), 0.5 * 0 + 1 + 0.25 * 2, 1e-9);
  EXPECT_DOUBLE_EQ(window.Sample(995), static_cast<double>(995 % 7) - 3);
}

TEST(SignalWindow, TakesEveryStrideThSampleAndReportsThePeak) {
  SignalWindow window(16);
  const float stereo[] = {0.5f, 9.0f, -0.75f, 9.0f, 0.25f, 9.0f};
  window.Append(stereo, 3, 2);
  EXPECT_DOUBLE_EQ(window.PeakSince(1), 0.75);
  EXPECT_DOUBLE_EQ(window.PeakSince(2), 0.25);
  EXPECT_NEAR(window.Integral(0, 3), 0.0, 1e-9);
  // A step down at frame 1: a fall reads as a positive change.
  EXPECT_GT(window.Change(1, 1), 0);
}

// A square wave of the given half-cell length, starting high after
// `silence` frames of nothing, for `halfCells` half-cells.
std::vector<float> Leader(double halfCell, int halfCells, std::size_t silence) {
  std::vector<float> samples(silence, 0.0f);
  const auto length = static_cast<std::size_t>(halfCell * halfCells);
  for (std::size_t i = 0; i < length; ++i) {
    samples.push_back(static_cast<int>((static_cast<double>(i) + 0.5) / halfCell) % 2 == 0 ? 0.8f
                                                                                          : -0.8f);
  }
  samples.resize(samples.size() + 4000, 0.0f);
  return samples;
}

std::vector<TimingEvent> Timing(const std::vector<float>& samples, double rate) {
  SignalWindow window(3 * reader::CellTiming::FramesNeeded(rate));
  reader::CellTiming timing(rate);
  std::vector<TimingEvent> events;
  for (std::size_t at = 0; at < samples.size(); at += 256) {
    window.Append(samples.data() + at, std::min<std::size_t>(256, samples.size() - at), 1);
    TimingEvent event;
    while (timing.Next(window, event)) events.push_back(event);
  }
  return events;
}

TEST(CellTiming, MeasuresTheLeaderAtAnySpeedAndLosesItWhenItStops) {
  for (const double speed : {0.8, 1.0, 1.2}) {
    const double halfCell = 16 / speed;
    const std::vector<TimingEvent> events = Timing(Leader(halfCell, 2000, 3000), 44100);
    ASSERT_GT(events.size(), 100u) << speed;
    EXPECT_TRUE(events.front().trackStart);
    EXPECT_NEAR(events.front().trackFrom, 3000, 2 * halfCell) << speed;
    // Every boundary of a leader carries a change, falls and rises in turn,
    // on the true boundaries.
    const TimingEvent& later = events[events.size() / 2];
    EXPECT_NEAR(later.halfCell, halfCell, 0.05) << speed;
    const double phase = std::fmod(later.frame - 3000, halfCell);
    EXPECT_LT(std::min(phase, halfCell - phase), 0.5) << speed;
    EXPECT_GT(std::fabs(later.edge), 0.8 * later.amplitude);
    EXPECT_LT(later.edge * events[events.size() / 2 + 1].edge, 0);
    EXPECT_EQ(events.back().kind, TimingEvent::Kind::kLost) << speed;
  }
}

TEST(CellTiming, FindsNoLeaderInSilenceOrNoise) {
  std::vector<float> noise(44100);
  std::uint32_t seed = 3;
  for (float& sample : noise) {
    seed = seed * 1103515245u + 12345u;
    sample = static_cast<float>((seed >> 8) & 0xFFFF) / 65536.0f - 0.5f;
  }
  EXPECT_TRUE(Timing(noise, 44100).empty());
  EXPECT_TRUE(Timing(std::vector<float>(44100, 0.0f), 44100).empty());
}

// The boundaries a track of the given bits shows, middles and cell edges in
// turn, in the writer's polarity or inverted; `offset` boundaries of
// leader-like changes come first so the middles can fall on either parity.
std::vector<TimingEvent> Boundaries(const std::vector<int>& bits, bool inverted, int offset) {
  std::vector<TimingEvent> events;
  auto add = [&](double edge) {
    TimingEvent event;
    event.frame = 16.0 * static_cast<double>(events.size());
    event.edge = inverted ? -edge : edge;
    event.amplitude = 1;
    event.halfCell = 16;
    event.trackStart = events.empty();
    events.push_back(event);
  };
  for (int i = 0; i < offset; ++i) add(i % 2 == 0 ? 1 : -1);
  for (std::size_t i = 0; i < bits.size(); ++i) {
    add(bits[i] != 0 ? 1 : -1);  // the middle: a fall for a one
    const bool next = i + 1 < bits.size() && bits[i + 1] == bits[i];
    add(next ? (bits[i] != 0 ? -1 : 1) : 0.02);  // a change only between equal bits
  }
  return events;
}

std::vector<int> BitsOf(const std::vector<std::uint8_t>& bytes) {
  std::vector<int> bits;
  for (const std::uint8_t byte : bytes) {
    for (int bit = 7; bit >= 0; --bit) bits.push_back(byte >> bit & 1);
  }
  return bits;
}

TEST(BitReader, FindsTheSyncInEitherPolarityOnEitherSetOfBoundaries) {
  for (const bool inverted : {false, true}) {
    for (const int offset : {0, 1}) {
      std::vector<std::uint8_t> bytes(10, 0x00);
      bytes.insert(bytes.end(), {0xE6, 0x12, 0xD9});
      BitReader reader;
      std::vector<int> bits;
      int syncs = 0;
      bool middlesOnly = false;
      const std::vector<TimingEvent> events = Boundaries(BitsOf(bytes), inverted, offset);
      for (std::size_t i = 0; i < events.size(); i += middlesOnly ? 2 : 1) {
        const BitEvent bit = reader.Take(events[i]);
        if (bit.kind == BitEvent::Kind::kSync) {
          ++syncs;
          EXPECT_EQ(bit.inverted, inverted);
          // From here the caller steps from middle to middle.
          middlesOnly = true;
          EXPECT_EQ((i - static_cast<std::size_t>(offset)) % 2, 0u);
        }
        if (bit.kind == BitEvent::Kind::kBit) bits.push_back(bit.value ? 1 : 0);
      }
      EXPECT_EQ(syncs, 1);
      EXPECT_EQ(bits, BitsOf({0x12, 0xD9})) << inverted << offset;
    }
  }
}

TEST(BitReader, WantsALeaderBeforeTheSync) {
  // A sync byte after too few equal bits is data, not the start of a record.
  std::vector<std::uint8_t> bytes = {0x55, 0x00, 0x00, 0xE6, 0x12};
  BitReader reader;
  for (const TimingEvent& event : Boundaries(BitsOf(bytes), false, 0)) {
    EXPECT_EQ(reader.Take(event).kind, BitEvent::Kind::kNone);
  }
}

// Feeds bytes to a parser from a fresh start; returns the steps taken.
std::vector<RecordParser::Step> Parse(RecordParser& parser, const std::vector<std::uint8_t>& bytes) {
  std::vector<RecordParser::Step> steps;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    steps.push_back(parser.Take(bytes[i], static_cast<std::int64_t>(1000 + 256 * i)));
  }
  return steps;
}

TEST(RecordParser, ReadsAHeaderThenTheBlockAfterTheSecondSync) {
  RecordParser parser;
  parser.Begin(500, 44100);
  const auto header = Parse(parser, {0xD9, 0xD9, 0xD9, 'a', 'B', 0x00});
  EXPECT_EQ(header.back(), RecordParser::Step::kSecondSync);
  const std::vector<std::uint8_t> data = {1, 2, 3};
  const std::uint16_t checksum = TapeChecksum(&data[0], &data[2]);
  const auto block = Parse(parser, {0x00, 0x30, 0x02, 0x30, 1, 2, 3,
                                    static_cast<std::uint8_t>(checksum), static_cast<std::uint8_t>(checksum >> 8)});
  EXPECT_EQ(block.back(), RecordParser::Step::kComplete);
  const reader::DecodedRecord record = parser.Finish(9000);
  EXPECT_TRUE(record.hasHeader);
  EXPECT_EQ(record.name, "aB");
  EXPECT_EQ(record.startAddress, 0x3000);
  EXPECT_EQ(record.endAddress, 0x3002);
  EXPECT_EQ(record.data, data);
  EXPECT_EQ(record.status, reader::RecordStatus::kSound);
  EXPECT_EQ(record.firstFrame, 500);
  EXPECT_EQ(record.byteFrames[1], 1000 + 256 * 5);
}

TEST(RecordParser, FewerThanThreeMarksAreTheBlocksOwnBytes) {
  RecordParser parser;
  parser.Begin(0, 44100);
  // Start D9D9, end D9DA: two data bytes.
  const auto steps = Parse(parser, {0xD9, 0xD9, 0xDA, 0xD9, 7, 8, 0x0F, 0x07});
  EXPECT_EQ(steps.back(), RecordParser::Step::kComplete);
  const reader::DecodedRecord record = parser.Finish(0);
  EXPECT_FALSE(record.hasHeader);
  EXPECT_EQ(record.startAddress, 0xD9D9);
  EXPECT_EQ(record.endAddress, 0xD9DA);
  EXPECT_EQ(record.data, (std::vector<std::uint8_t>{7, 8}));
  EXPECT_EQ(record.status, reader::RecordStatus::kSound);
}

TEST(RecordParser, AWrongChecksumAndAnEndCutShort) {
  RecordParser parser;
  parser.Begin(0, 44100);
  Parse(parser, {0x00, 0x10, 0x00, 0x10, 0x42, 0x00, 0x00});
  EXPECT_EQ(parser.Finish(0).status, reader::RecordStatus::kChecksumError);

  parser.Begin(0, 44100);
  Parse(parser, {0x00, 0x10, 0xFF, 0x10, 0x42, 0x43});
  const reader::DecodedRecord cut = parser.Finish(0);
  EXPECT_EQ(cut.status, reader::RecordStatus::kCutShort);
  EXPECT_EQ(cut.data.size(), 2u);
  // Nothing recovered is lost: the image ends with the checksum of what was.
  const std::vector<std::uint8_t> image = reader::ImageBytes(cut);
  ASSERT_EQ(image.size(), 8u);
  EXPECT_EQ(image[6] | image[7] << 8, TapeChecksum(&cut.data[0], &cut.data[1]));
}

TEST(RecordParser, AnEndBelowTheStartWrapsRoundTheAddressSpace) {
  RecordParser parser;
  parser.Begin(0, 44100);
  Parse(parser, {0xFF, 0xFF, 0x00, 0x00, 1, 2});
  EXPECT_EQ(parser.Take(0x03, 0), RecordParser::Step::kMoreBytes);  // checksum low
  EXPECT_EQ(parser.Take(0x01, 0), RecordParser::Step::kComplete);
  EXPECT_EQ(parser.Finish(0).data.size(), 2u);
}

// Samples between -1 and 1 that use every bit of a float: their sums
// round, as a 16-bit recording's never do.
std::vector<float> FullPrecisionSamples(std::size_t count, std::uint32_t seed) {
  std::vector<float> samples(count);
  for (float& x : samples) {
    seed = seed * 1103515245u + 12345u;
    x = static_cast<float>(static_cast<std::int32_t>(seed) >> 4) / (1 << 27);
  }
  return samples;
}

}  // namespace

// The loops over every sample, as this build's processor runs them, give
// the portable forms' results to the bit: the web page and a 32-bit build
// must read a recording exactly as the x86-64 one does. Samples of every
// size, not only 16-bit steps, and thresholds some samples sit on exactly.
TEST(SampleLoops, TheBuildsFormsGiveThePortableResultsToTheBit) {
  std::vector<float> samples = FullPrecisionSamples(3 * 200, 7);
  const float lower = -0.25f;
  const float upper = 0.375f;
  samples[5] = upper;
  samples[9] = lower;
  for (const std::size_t stride : {1, 2, 3}) {
    for (const std::size_t count : {0, 1, 7, 8, 9, 63, 64, 200}) {
      SCOPED_TRACE(std::to_string(count) + " samples, one every " + std::to_string(stride));
      const std::size_t sorted = std::min(count, reader::kSideRun);
      for (const std::size_t channel : {std::size_t{0}, stride - 1}) {
        const reader::LineSides sides = reader::FindLineSides(&samples[channel], sorted, stride, lower, upper);
        const reader::LineSides expected =
            reader::FindLineSidesOneByOne(&samples[channel], sorted, stride, lower, upper);
        EXPECT_EQ(sides.high, expected.high);
        EXPECT_EQ(sides.low, expected.low);
      }
      const std::size_t grouped = count / 8 * 8;
      std::vector<double> sums(grouped + 1, -1);
      std::vector<double> expected(grouped + 1, -1);
      const double total = reader::StoreGroupsOfEight(samples.data(), grouped, stride, 1e3, sums.data());
      EXPECT_EQ(total, reader::StoreGroupsOfEightOneByOne(samples.data(), grouped, stride, 1e3, expected.data()));
      EXPECT_EQ(sums, expected);
    }
  }
}

// The running sums of full-precision samples, whose float sums round, are
// the same to the bit in blocks of any size as all at once: a recording's
// records must not depend on how its file arrives.
TEST(SampleLoops, RunningSumsInBlocksOfAnySizeAreTheSameToTheBit) {
  const std::vector<float> samples = FullPrecisionSamples(2 * 300, 11);
  for (const std::size_t stride : {1, 2}) {
    const std::size_t count = samples.size() / stride;
    reader::RunningSums whole;
    std::vector<double> expected(count);
    reader::StoreRunningSums(whole, samples.data(), count, stride, expected.data());
    for (const std::size_t block : {1, 3, 7, 13, 64}) {
      SCOPED_TRACE("blocks of " + std::to_string(block) + ", one sample every " + std::to_string(stride));
      reader::RunningSums inBlocks;
      std::vector<double> sums(count);
      for (std::size_t at = 0; at < count; at += block) {
        reader::StoreRunningSums(inBlocks, &samples[at * stride], std::min(block, count - at), stride, &sums[at]);
      }
      EXPECT_EQ(sums, expected);
    }
  }
}
