// The tape checksum and the signal of bytes written to a real file.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/platform.h"
#include "tape/tape_record.h"
#include "tape/tape_signal.h"
#include "tests/support/tape_loader.h"
#include "tests/support/test_files.h"

namespace {

std::uint16_t ChecksumOf(const Bytes& bytes) {
  return TapeChecksum(bytes.data(), bytes.data() + bytes.size() - 1);
}

// A cell: its two half-cells of 16 samples each.
std::vector<std::int16_t> Cell(std::int16_t first, std::int16_t second) {
  std::vector<std::int16_t> samples(16, first);
  samples.insert(samples.end(), 16, second);
  return samples;
}

// Emits bytes through the signal into a scratch file, with a fresh record
// and signal, and returns the samples written.
class SignalFile : public ::testing::Test {
 protected:
  void SetUp() override {
    state_.outputHandle = platform::CreateFileA(path_.c_str(), platform::kGenericWrite,
                                                platform::kNoSharing, platform::kCreateAlways,
                                                platform::kFileAttributeNormal);
    ASSERT_NE(state_.outputHandle, platform::kInvalidHandle);
  }

  std::vector<std::int16_t> Samples() {
    platform::CloseHandle(state_.outputHandle);
    Bytes bytes = ReadBytes(path_);
    // SamplesOf takes what follows a WAV header's data chunk header.
    Bytes header(46, 0);
    std::copy_n("data", 4, header.begin() + 38);
    bytes.insert(bytes.begin(), header.begin(), header.end());
    return SamplesOf(bytes);
  }

  TempDir dir_;
  std::string path_ = dir_ / "signal.raw";
  ConversionState state_;
  TapeSignal signal_;
};

}  // namespace

TEST(TapeChecksum, KnownValues) {
  EXPECT_EQ(ChecksumOf({0x61, 0x62, 0x63}), 0xC326);
  EXPECT_EQ(ChecksumOf({0x01, 0x02, 0x03}), 0x0306);
  EXPECT_EQ(ChecksumOf({0xAB}), 0x00AB);
  EXPECT_EQ(ChecksumOf({0xFF, 0xFF}), 0xFFFE);
}

TEST(TapeChecksum, LongRunsCarryIntoTheHighByte) {
  // The full 64 KiB of address space, in patterns that carry often.
  Bytes ramp(65536);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::uint8_t>(i * 7 + 3);
  EXPECT_EQ(ChecksumOf(ramp), ReferenceChecksum(ramp));

  const Bytes allOnes(65536, 0xFF);
  EXPECT_EQ(ChecksumOf(allOnes), ReferenceChecksum(allOnes));
  // 257 * 255 is -1 modulo 65536, so 65535 of them sum to 1; the last
  // 0xFF then wraps the low byte to 0.
  EXPECT_EQ(ChecksumOf(allOnes), 0x0000);
}

TEST(HeaderZeroRun, StaysWithinItsBoundsForEveryNameLength) {
  for (std::uint32_t length = 0; length <= 4096; ++length) {
    const std::uint32_t run = HeaderZeroRunLength(length);
    EXPECT_GE(run, 733u);
    EXPECT_LE(run, 765u);
  }
  EXPECT_EQ(HeaderZeroRunLength(8), 757u);
}

TEST(EmitBit, TheFirstHalfOpposesTheLastLevelAndTheSecondIsTheBit) {
  TapeSignal signal;
  std::uint8_t buffer[64];
  EXPECT_EQ(EmitBit(signal, true, buffer), buffer + 64);
  EXPECT_EQ(buffer[0], 0xF8);  // +32760, little-endian
  EXPECT_EQ(buffer[1], 0x7F);
  EXPECT_EQ(buffer[62], 0xF8);
  EXPECT_EQ(signal.lastLevel, kHighLevel);
  EmitBit(signal, true, buffer);
  EXPECT_EQ(buffer[0], 0x08);  // -32760
  EXPECT_EQ(buffer[1], 0x80);
  EXPECT_EQ(buffer[32], 0xF8);
}

TEST_F(SignalFile, ZeroAtTheVeryStart) {
  ASSERT_EQ(EmitByte(state_, signal_, 0x00), 0u);
  std::vector<std::int16_t> expected;
  for (int i = 0; i < 8; ++i) {
    const auto cell = Cell(kHighLevel, kLowLevel);
    expected.insert(expected.end(), cell.begin(), cell.end());
  }
  EXPECT_EQ(Samples(), expected);
}

TEST_F(SignalFile, AllOnesAtTheVeryStart) {
  ASSERT_EQ(EmitByte(state_, signal_, 0xFF), 0u);
  std::vector<std::int16_t> expected = Cell(kHighLevel, kHighLevel);
  for (int i = 0; i < 7; ++i) {
    const auto cell = Cell(kLowLevel, kHighLevel);
    expected.insert(expected.end(), cell.begin(), cell.end());
  }
  EXPECT_EQ(Samples(), expected);
}

TEST_F(SignalFile, TheLevelCarriesAcrossBytes) {
  // 0x01 ends high, so 0x80 starts with a low half-cell.
  ASSERT_EQ(EmitByte(state_, signal_, 0x01), 0u);
  ASSERT_EQ(EmitByte(state_, signal_, 0x80), 0u);
  const std::vector<std::int16_t> samples = Samples();
  ASSERT_EQ(samples.size(), 512u);
  EXPECT_EQ(samples[255], kHighLevel);
  EXPECT_EQ(samples[256], kLowLevel);
  EXPECT_EQ(samples[256 + 16], kHighLevel);
}

TEST_F(SignalFile, ZeroRunsAreASquareWaveOfPeriod32) {
  ASSERT_EQ(EmitZeroBytes(state_, signal_, 3), 0u);
  const std::vector<std::int16_t> samples = Samples();
  ASSERT_EQ(samples.size(), 3u * 256u);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    ASSERT_EQ(samples[i], (i / 16) % 2 == 0 ? kHighLevel : kLowLevel) << i;
  }
}

TEST(EmitByte, AShortWriteIsReportedAsTheShortfall) {
  ConversionState state;
  TapeSignal signal;
  state.outputHandle = platform::CreateFileA("/dev/full", platform::kGenericWrite,
                                             platform::kNoSharing, platform::kCreateAlways,
                                             platform::kFileAttributeNormal);
  ASSERT_NE(state.outputHandle, platform::kInvalidHandle);
  // A backend that holds bytes back learns of the failure at its flush.
  EXPECT_TRUE(EmitByte(state, signal, 0x55) != 0 || !platform::FlushFileBuffers(state.outputHandle));
  EXPECT_EQ(EmitZeroBytes(state, signal, 10), 512u);
  platform::CloseHandle(state.outputHandle);
}
