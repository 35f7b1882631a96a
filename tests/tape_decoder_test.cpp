// The tape decoder on lentok's own signal: records come back byte for byte,
// whatever the block sizes, with their positions and what was measured.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "reader/tape_decoder.h"
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

}  // namespace
