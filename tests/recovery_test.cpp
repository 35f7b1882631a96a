// Recovering damaged records: a dropout within a record costs only the bits
// inside it; copies none of which is sound are combined into one; a record
// whose checksum fails is repaired only when exactly one repair fits. The
// recordings are lentok's own, harmed with the degradation kit.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "reader/checksum_repair.h"
#include "reader/copy_combiner.h"
#include "reader/decoded_record.h"
#include "tests/support/degrade.h"
#include "tests/support/read_back.h"
#include "tests/support/test_files.h"

namespace {

using degrade::Signal;

constexpr double kRate = 44100;
constexpr std::size_t kCellSamples = 32;

Bytes RandomData(std::size_t size, std::uint32_t seed) {
  std::mt19937 generator(seed);
  Bytes data(size);
  for (std::uint8_t& byte : data) byte = static_cast<std::uint8_t>(generator() >> 24);
  return data;
}

struct Program {
  Bytes image;
  Signal signal;
  std::vector<std::int64_t> byteFrames;  // where each data byte begins
};

Program MakeProgram(std::size_t size, std::uint32_t seed, const std::string& name = "GAME.RKS") {
  Program program;
  program.image = MakeConsistentImage(0x2000, RandomData(size, seed));
  RecordingOptions options;
  options.tapeName = name;
  program.signal = degrade::LentokSignal(program.image, options);
  const std::vector<reader::DecodedRecord> clean = DecodeSignal(program.signal, kRate);
  if (clean.size() == 1) program.byteFrames = clean[0].byteFrames;
  return program;
}

Bytes DataOf(const Bytes& image) { return Bytes(image.begin() + 4, image.end() - 2); }

// ---- Dropouts ------------------------------------------------------------

struct DropoutCase {
  const char* what;
  std::size_t atByte;
  std::size_t cells;
  float keep;
  double snrDb;  // 0: no noise
};

TEST(Dropout, CostsOnlyTheBytesInsideIt) {
  const DropoutCase cases[] = {
      {"a dropout of 24 cells to silence", 300, 24, 0.0f, 0},
      {"48 cells down to 5 %", 500, 48, 0.05f, 0},
      {"90 cells to silence, with noise at 20 dB", 200, 90, 0.0f, 20},
      {"8 cells, one byte's worth", 700, 8, 0.0f, 0},
      {"near the end", 995, 20, 0.0f, 0},
      {"200 cells, in noise at 15 dB", 400, 200, 0.02f, 15},
  };
  const Program program = MakeProgram(1000, 5);
  ASSERT_EQ(program.byteFrames.size(), 1000u);
  const Bytes data = DataOf(program.image);
  for (const DropoutCase& c : cases) {
    SCOPED_TRACE(c.what);
    const auto from = static_cast<std::size_t>(program.byteFrames[c.atByte]) + 3 * kCellSamples;
    Signal signal = degrade::Dropout(program.signal, from, c.cells * kCellSamples, c.keep);
    if (c.snrDb > 0) signal = degrade::AddWhiteNoise(signal, c.snrDb, 3);
    const std::vector<reader::DecodedRecord> records = DecodeSignal(signal, kRate);
    ASSERT_EQ(records.size(), 1u);
    const reader::DecodedRecord& record = records[0];
    EXPECT_TRUE(record.checksumRead);
    ASSERT_EQ(record.data.size(), data.size());
    ASSERT_EQ(record.bitConfidence.size(), 8 * data.size());
    // Bytes touched by the dropout, and one on either side for the cells
    // whose integration reaches into it.
    const std::size_t first = c.atByte;
    const std::size_t last = c.atByte + (3 + c.cells + 7) / 8;
    for (std::size_t i = 0; i < data.size(); ++i) {
      if (i + 1 >= first && i <= last + 1) continue;
      ASSERT_EQ(record.data[i], data[i]) << "byte " << i;
    }
    // The bits inside the dropout are the doubtful ones.
    for (std::size_t bit = 8 * first + 4; bit < 8 * first + 3 + c.cells - 1 && bit < 8 * data.size(); ++bit) {
      EXPECT_LT(record.bitConfidence[bit], reader::kDoubtfulConfidence) << "bit " << bit;
    }
  }
}

}  // namespace
