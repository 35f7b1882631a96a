// The tape decoder on lentok's own signal: records come back byte for byte,
// whatever the block sizes, with their positions and what was measured.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "reader/loader_input.h"
#include "reader/tape_decoder.h"
#include "tests/support/degrade.h"
#include "tests/support/expected.h"
#include "tests/support/test_files.h"

namespace {

using reader::DecodedRecord;
using reader::RecordStatus;

std::vector<float> SignalOf(const Bytes& image, const RecordingOptions& options) {
  const Bytes wav = ExpectedRecording(image, options);
  std::vector<float> samples;
  for (std::size_t i = 46; i + 1 < wav.size(); i += 2) {
    samples.push_back(static_cast<std::int16_t>(wav[i] | wav[i + 1] << 8) / 32768.0f);
  }
  return samples;
}

std::vector<DecodedRecord> Decode(const std::vector<float>& samples, double rate = 44100,
                                  std::size_t block = 4096) {
  reader::TapeDecoder decoder(rate, 1);
  std::vector<DecodedRecord> records;
  for (std::size_t at = 0; at < samples.size(); at += block) {
    decoder.Feed(samples.data() + at, std::min(block, samples.size() - at));
    for (DecodedRecord& record : decoder.TakeRecords()) records.push_back(std::move(record));
  }
  decoder.Finish();
  for (DecodedRecord& record : decoder.TakeRecords()) records.push_back(std::move(record));
  return records;
}

// As lentok-read decodes a WAV file: the loader's changes found apart in
// each block, and handed to the decoder with it.
std::vector<DecodedRecord> DecodeWithChangesFoundApart(const std::vector<float>& samples, std::size_t block) {
  reader::LoaderInputs inputs(44100, 1);
  reader::TapeDecoder decoder(44100, 1);
  reader::LoaderChangesByChannel changes;
  std::vector<DecodedRecord> records;
  for (std::size_t at = 0; at < samples.size(); at += block) {
    const std::size_t count = std::min(block, samples.size() - at);
    inputs.Feed(samples.data() + at, count, changes);
    decoder.Feed(samples.data() + at, count, &changes);
    for (DecodedRecord& record : decoder.TakeRecords()) records.push_back(std::move(record));
  }
  decoder.Finish();
  for (DecodedRecord& record : decoder.TakeRecords()) records.push_back(std::move(record));
  return records;
}

Bytes SampleData(std::size_t length, std::uint32_t seed) {
  Bytes data(length);
  for (std::uint8_t& byte : data) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(seed >> 16);
  }
  return data;
}

TEST(TapeDecoder, ReadsLentoksRecordingBack) {
  const Bytes image = MakeConsistentImage(0x3000, SampleData(300, 1));
  const std::vector<DecodedRecord> records = Decode(SignalOf(image, {false, false, "GAME.RKS"}));
  ASSERT_EQ(records.size(), 1u);
  const DecodedRecord& record = records[0];
  EXPECT_EQ(record.status, RecordStatus::kSound);
  EXPECT_TRUE(record.hasHeader);
  EXPECT_EQ(record.name, "GAME.RKS");
  EXPECT_EQ(reader::ImageBytes(record), image);
  EXPECT_EQ(record.doubtfulBitCount, 0u);
  EXPECT_FALSE(record.signal.inverted);
  EXPECT_NEAR(record.signal.speed, 1.0, 0.01);
  EXPECT_NEAR(record.signal.levelDbfs, 0.0, 0.5);
}

TEST(TapeDecoder, BlocksOfAnySizeGiveTheSameRecords) {
  const Bytes image = MakeConsistentImage(0x0100, SampleData(40, 2));
  const std::vector<float> signal = SignalOf(image, {false, true, ""});
  for (const std::size_t block : {std::size_t{1}, std::size_t{7}, std::size_t{1000}, signal.size()}) {
    const std::vector<DecodedRecord> records = Decode(signal, 44100, block);
    ASSERT_EQ(records.size(), 1u) << block;
    EXPECT_FALSE(records[0].hasHeader);
    EXPECT_EQ(reader::ImageBytes(records[0]), image) << block;
    // The record ends with its last bit; the closing half-cell follows it.
    EXPECT_EQ(records[0].endFrame, static_cast<std::int64_t>(signal.size()) - 16) << block;
  }
}

TEST(TapeDecoder, FindsEveryRecordOfASideInOrderWithItsPosition) {
  std::vector<float> side(20000, 0.0f);
  std::vector<Bytes> images;
  std::vector<std::size_t> starts;
  for (int i = 0; i < 3; ++i) {
    images.push_back(MakeConsistentImage(static_cast<std::uint16_t>(0x1000 * i), SampleData(50 + i, 10 + i)));
    const std::vector<float> signal = SignalOf(images.back(), {false, i == 1, "P" + std::to_string(i)});
    starts.push_back(side.size());
    side.insert(side.end(), signal.begin(), signal.end());
    side.resize(side.size() + 30000, 0.0f);
  }
  const std::vector<DecodedRecord> records = Decode(side);
  ASSERT_EQ(records.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(reader::ImageBytes(records[i]), images[i]);
    EXPECT_EQ(records[i].hasHeader, i != 1);
    EXPECT_NEAR(static_cast<double>(records[i].firstFrame), static_cast<double>(starts[i]), 40);
  }
  EXPECT_EQ(records[2].name, "P2");
  EXPECT_NEAR(reader::SecondsAt(records[0], 44100), 1.0, 1e-12);
}

TEST(TapeDecoder, ARecordingThatStartsInsideARecordGivesOnlyTheWholeOnesAfter) {
  const Bytes first = MakeConsistentImage(0x2000, SampleData(600, 4));
  const Bytes second = MakeConsistentImage(0x4000, SampleData(30, 5));
  std::vector<float> side = SignalOf(first, {false, false, "FIRST"});
  // Start in the middle of the first record's data, which follows 1025
  // bytes of leader and header.
  side.erase(side.begin(), side.begin() + (1025 + 300) * 256);
  side.resize(side.size() + 20000, 0.0f);
  const std::vector<float> next = SignalOf(second, {false, false, "SECOND"});
  side.insert(side.end(), next.begin(), next.end());
  const std::vector<DecodedRecord> records = Decode(side);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].name, "SECOND");
  EXPECT_EQ(reader::ImageBytes(records[0]), second);
}

TEST(TapeDecoder, ARecordCutOffKeepsWhatWasRead) {
  const Bytes image = MakeConsistentImage(0x2000, SampleData(1000, 6));
  std::vector<float> signal = SignalOf(image, {false, true, ""});
  // Leader and sync take 256 bytes of 256 samples; keep 4 + 500 more and
  // six bits of the next: the silence after them must not complete it.
  signal.resize((256 + 4 + 500) * 256 + 6 * 32);
  const std::vector<DecodedRecord> records = Decode(signal);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].status, RecordStatus::kCutShort);
  EXPECT_TRUE(records[0].addressesRead);
  ASSERT_EQ(records[0].data.size(), 500u);
  EXPECT_TRUE(std::equal(records[0].data.begin(), records[0].data.end(), image.begin() + 4));
}

TEST(TapeDecoder, ADamagedByteGivesAChecksumErrorWithWhereItLies) {
  const Bytes image = MakeConsistentImage(0x2000, SampleData(100, 7));
  std::vector<float> signal = SignalOf(image, {false, true, ""});
  // Silence over the middle of one data byte's cells.
  const std::size_t byteStart = (256 + 4 + 50) * 256;
  std::fill(signal.begin() + byteStart + 64, signal.begin() + byteStart + 160, 0.0f);
  const std::vector<DecodedRecord> records = Decode(signal);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_NE(records[0].status, RecordStatus::kSound);
  ASSERT_FALSE(records[0].doubtfulBitFrames.empty());
  EXPECT_NEAR(static_cast<double>(records[0].doubtfulBitFrames[0]), byteStart + 96, 40);
}

TEST(TapeDecoder, ReadsEachRecordFromTheChannelThatCarriesItBest) {
  const Bytes image = MakeConsistentImage(0x3000, SampleData(200, 8));
  const std::vector<float> signal = SignalOf(image, {false, false, "STEREO"});
  std::vector<float> stereo(2 * signal.size(), 0.0f);
  std::uint32_t seed = 9;
  for (std::size_t i = 0; i < signal.size(); ++i) {
    seed = seed * 1103515245u + 12345u;
    // The left channel is drowned in noise; the right is clean but quiet.
    stereo[2 * i] = signal[i] * 0.3f + (static_cast<float>((seed >> 8) & 0xFFFF) / 65536.0f - 0.5f) * 2.5f;
    stereo[2 * i + 1] = signal[i] * 0.1f;
  }
  for (const int channel : {-1, 1}) {
    reader::TapeDecoder decoder(44100, 2, {channel});
    decoder.Feed(stereo.data(), signal.size());
    decoder.Finish();
    const std::vector<DecodedRecord> records = decoder.TakeRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].channel, 1);
    EXPECT_EQ(reader::ImageBytes(records[0]), image);
  }
  reader::TapeDecoder left(44100, 2, {0});
  left.Feed(stereo.data(), signal.size());
  left.Finish();
  for (const DecodedRecord& record : left.TakeRecords()) EXPECT_NE(record.status, RecordStatus::kSound);
}

TEST(TapeDecoder, ACopyCutShortOnOneChannelGivesWayToTheWholeOneOnTheOther) {
  const Bytes image = MakeConsistentImage(0x3000, SampleData(2000, 12));
  const std::vector<float> signal = SignalOf(image, {false, false, "TWICE"});
  std::vector<float> stereo(2 * (signal.size() + 44100), 0.0f);
  for (std::size_t i = 0; i < signal.size(); ++i) {
    // The left channel drops out a third of the way in, seconds before the
    // record ends on the right.
    stereo[2 * i] = i < signal.size() / 3 ? signal[i] : 0.0f;
    stereo[2 * i + 1] = signal[i];
  }
  reader::TapeDecoder decoder(44100, 2);
  std::vector<DecodedRecord> records;
  for (std::size_t at = 0; at < stereo.size() / 2; at += 4096) {
    decoder.Feed(stereo.data() + 2 * at, std::min<std::size_t>(4096, stereo.size() / 2 - at));
    for (DecodedRecord& record : decoder.TakeRecords()) records.push_back(std::move(record));
  }
  decoder.Finish();
  for (DecodedRecord& record : decoder.TakeRecords()) records.push_back(std::move(record));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].status, RecordStatus::kSound);
  EXPECT_EQ(records[0].channel, 1);
}

TEST(TapeDecoder, ALeaderOfEightBytesIsEnoughForTheNameHeader) {
  const Bytes image = MakeConsistentImage(0x0200, SampleData(100, 13));
  for (const double rate : {8000.0, 11025.0, 44100.0, 96000.0}) {
    degrade::EncoderStyle style;
    style.sampleRate = rate;
    style.leaderBytes = 8;
    style.name = "short";
    const degrade::Signal signal = degrade::Join(
        {degrade::Silence(0.2, rate), degrade::SynthesiseRecording(image, style), degrade::Silence(0.2, rate)});
    const std::vector<DecodedRecord> records = Decode(signal, rate);
    ASSERT_EQ(records.size(), 1u) << rate;
    EXPECT_EQ(records[0].name, "short") << rate;
    EXPECT_EQ(reader::ImageBytes(records[0]), image) << rate;
  }
}

TEST(TapeDecoder, ARecordingThatStartsInTheHeaderGapReadsTheBlockAlone) {
  const Bytes image = MakeConsistentImage(0x2000, SampleData(60, 4));
  std::vector<float> side = SignalOf(image, {false, false, "GAP"});
  // Into the zero run after the name: the block and its sync are whole.
  side.erase(side.begin(), side.begin() + 700 * 256);
  const std::vector<DecodedRecord> records = Decode(side);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_FALSE(records[0].hasHeader);
  EXPECT_EQ(reader::ImageBytes(records[0]), image);
}

// The records and the machine's verdicts do not depend on where the
// loader's changes were found, whatever the blocks.
TEST(TapeDecoder, ChangesFoundApartGiveTheSameRecordsAndVerdicts) {
  const Bytes image = MakeConsistentImage(0x2000, SampleData(300, 3));
  const degrade::Signal written = degrade::LentokSignal(image, {false, false, "GAME.RKS"});
  const struct {
    const char* what;
    degrade::Signal signal;
    bool loads;
  } kCases[] = {
      {"as written", written, true},
      {"played at 0.68: cells too long", degrade::ChangeSpeed(written, 0.68), false},
      {"noise at 6 dB: changes too close", degrade::AddWhiteNoise(written, 6, 1), false},
      {"a dropout inside the data", degrade::Dropout(written, written.size() - 150 * 256, 40, 0), false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const std::vector<DecodedRecord> itself = Decode(c.signal);
    ASSERT_EQ(itself.size(), 1u);
    EXPECT_EQ(itself[0].machine.loads, c.loads);
    for (const std::size_t block : {std::size_t{7}, std::size_t{4096}, c.signal.size()}) {
      SCOPED_TRACE("blocks of " + std::to_string(block));
      const std::vector<DecodedRecord> apart = DecodeWithChangesFoundApart(c.signal, block);
      ASSERT_EQ(apart.size(), 1u);
      EXPECT_EQ(apart[0].data, itself[0].data);
      EXPECT_EQ(apart[0].status, itself[0].status);
      EXPECT_EQ(apart[0].machine.loads, itself[0].machine.loads);
      ASSERT_EQ(apart[0].machine.problems.size(), itself[0].machine.problems.size());
      for (std::size_t i = 0; i < itself[0].machine.problems.size(); ++i) {
        EXPECT_EQ(apart[0].machine.problems[i].kind, itself[0].machine.problems[i].kind);
        EXPECT_EQ(apart[0].machine.problems[i].frame, itself[0].machine.problems[i].frame);
      }
    }
  }
}

}  // namespace

// The loader's view of one channel does not depend on the channels beside
// it, nor on how the frames come in blocks: the line sorted four samples at
// a time, with one or two channels, must give the changes of the signal on
// its own, one sample at a time.
TEST(LoaderInput, EachChannelOfInterleavedFramesGivesTheChangesOfItsSignalAlone) {
  const Bytes image = MakeConsistentImage(0x2000, SampleData(200, 5));
  const degrade::Signal written = degrade::LentokSignal(image, {false, false, "GAME.RKS"});
  // In 16-bit steps, as a WAV file holds them: the level's sums then come
  // out the same however the samples are grouped.
  const auto asStored = [](degrade::Signal signal) {
    for (float& x : signal) x = std::round(std::clamp(x, -1.0f, 0.99997f) * 32768) / 32768;
    return signal;
  };
  const degrade::Signal noisy = asStored(degrade::AddWhiteNoise(written, 12, 2));
  const degrade::Signal other = asStored(degrade::AddWhiteNoise(written, 0, 3));
  const auto changesOf = [](const float* samples, std::size_t frames, std::size_t stride, std::size_t block) {
    reader::LoaderInput input(44100);
    std::vector<reader::LoaderChange> changes;
    for (std::size_t at = 0; at < frames; at += block)
      input.Feed(samples + at * stride, std::min(block, frames - at), stride, changes);
    return changes;
  };
  const std::vector<reader::LoaderChange> alone = changesOf(noisy.data(), noisy.size(), 1, 1);
  ASSERT_GT(alone.size(), 1000u);
  for (const std::size_t channels : {1, 2, 3}) {
    for (const std::size_t block : {std::size_t{100}, std::size_t{4096}}) {
      SCOPED_TRACE(std::to_string(channels) + " channels in blocks of " + std::to_string(block));
      // The signal on the last channel, another before it.
      std::vector<float> frames(noisy.size() * channels);
      for (std::size_t i = 0; i < noisy.size(); ++i) {
        for (std::size_t c = 0; c + 1 < channels; ++c) frames[i * channels + c] = other[i];
        frames[i * channels + channels - 1] = noisy[i];
      }
      const std::vector<reader::LoaderChange> found =
          changesOf(frames.data() + channels - 1, noisy.size(), channels, block);
      ASSERT_EQ(found.size(), alone.size());
      for (std::size_t i = 0; i < alone.size(); ++i) {
        ASSERT_EQ(found[i].frame, alone[i].frame) << "change " << i;
        ASSERT_EQ(found[i].late, alone[i].late) << "change " << i;
        ASSERT_EQ(found[i].afterSilence, alone[i].afterSilence) << "change " << i;
      }
    }
  }
}
