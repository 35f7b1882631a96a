// Recovering damaged records: a dropout within a record costs only the bits
// inside it; copies none of which is sound are combined into one; a record
// whose checksum fails is repaired only when exactly one repair fits. The
// recordings are lentok's own, harmed with the degradation kit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reader/checksum_repair.h"
#include "reader/copy_combiner.h"
#include "reader/decoded_record.h"
#include "tests/support/degrade.h"
#include "tests/support/read_back.h"
#include "tests/support/tape_damage.h"

namespace {

using degrade::Signal;
using reader::DecodedRecord;
using reader::RecordStatus;
using tape_damage::DataOf;
using tape_damage::Program;

constexpr double kRate = 44100;

const Program& Thousand() {
  static const Program program = tape_damage::MakeProgram(1000, 5);
  return program;
}

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
      {"in the last bytes", 995, 20, 0.0f, 0},
      {"200 cells, in noise at 15 dB", 400, 200, 0.02f, 15},
  };
  const Program& program = Thousand();
  ASSERT_EQ(program.byteFrames.size(), 1000u);
  const Bytes data = DataOf(program.image);
  for (const DropoutCase& c : cases) {
    SCOPED_TRACE(c.what);
    Signal signal = tape_damage::DropoutFrom(program.signal, program, c.atByte, 4, c.cells, c.keep);
    if (c.snrDb > 0) signal = degrade::AddWhiteNoise(signal, c.snrDb, 3);
    const std::vector<DecodedRecord> records = DecodeSignal(signal, kRate);
    ASSERT_EQ(records.size(), 1u);
    const DecodedRecord& record = records[0];
    EXPECT_TRUE(record.checksumRead);
    ASSERT_EQ(record.data.size(), data.size());
    ASSERT_EQ(record.bitConfidence.size(), 8 * data.size());
    // The bits from the dropout's first to its last, and one either side
    // for the cells whose judgement reaches into it.
    const std::size_t firstBit = 8 * c.atByte + 3 - 1;
    const std::size_t lastBit = 8 * c.atByte + 3 + c.cells;
    std::size_t wrongOutside = 0;
    std::size_t clearInside = 0;
    for (std::size_t bit = 0; bit < 8 * data.size(); ++bit) {
      const bool read = (record.data[bit / 8] >> (7 - bit % 8) & 1) == (data[bit / 8] >> (7 - bit % 8) & 1);
      if (bit < firstBit || bit > lastBit) {
        wrongOutside += read ? 0 : 1;
      } else if (bit > firstBit + 1 && bit + 1 < lastBit) {
        clearInside += record.bitConfidence[bit] >= reader::kDoubtfulConfidence ? 1 : 0;
      }
    }
    EXPECT_EQ(wrongOutside, 0u);
    EXPECT_EQ(clearInside, 0u) << "bits inside the dropout are doubtful";
  }
}

// A record whose signal ends for good, then after some silence the next
// record: the first is cut short where its signal ended, and the second is
// read whole, even when it begins while a dropout would still be waited out.
TEST(Dropout, SignalThatNeverComesBackEndsTheRecord) {
  struct Case {
    const char* what;
    double gapSeconds;
  };
  const Case cases[] = {{"after 0.2 s of silence", 0.2}, {"after 1 s", 1.0}, {"after 5 s", 5.0}};
  const Program& first = Thousand();
  const Program second = tape_damage::MakeProgram(200, 9, "NEXT");
  const auto cut = tape_damage::BitChangeFrame(first, 600, 7);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Signal signal = degrade::Join(
        {degrade::Slice(first.signal, 0, cut), degrade::Silence(c.gapSeconds, kRate), second.signal});
    const std::vector<DecodedRecord> records = DecodeSignal(signal, kRate);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].status, RecordStatus::kCutShort);
    EXPECT_GE(records[0].data.size(), 598u);
    EXPECT_LE(records[0].data.size(), 600u);
    EXPECT_EQ(ImageMismatch(records[1], second.image), "");
  }
}

// Among the zeros between the name and the block, a dropout leaves the
// record whole, name included; a signal that stops there, with another
// record a second later, leaves both apart.
TEST(Dropout, AmongTheZerosAfterTheName) {
  const Program& program = Thousand();
  const Program next = tape_damage::MakeProgram(200, 9, "NEXT");
  // 200 bytes before the block's first data byte: deep in the zeros.
  const auto zeros = static_cast<std::size_t>(program.byteFrames[0]) - 200 * 256;
  const Signal dropout = degrade::Dropout(program.signal, zeros, 40 * 32, 0.0f);
  std::vector<DecodedRecord> records = DecodeSignal(dropout, kRate);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].name, "GAME.RKS");
  EXPECT_EQ(ImageMismatch(records[0], program.image), "");

  const Signal cut = degrade::Join(
      {degrade::Slice(program.signal, 0, zeros), degrade::Silence(1.0, kRate), next.signal});
  records = DecodeSignal(cut, kRate);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].status, RecordStatus::kCutShort);
  EXPECT_EQ(records[0].name, "GAME.RKS");
  EXPECT_EQ(records[1].name, "NEXT");
  EXPECT_EQ(ImageMismatch(records[1], next.image), "");
}

// ---- Copies combined ---------------------------------------------------

// Each copy of one program loses a different stretch.
struct CopiesCase {
  const char* what;
  std::vector<std::size_t> dropoutAt;  // a byte per copy
  bool oneRecording;                   // else each copy on a recording of its own
};

TEST(Copies, NoneSoundComeOutAsOneSoundImage) {
  const CopiesCase cases[] = {
      {"two copies on one recording", {100, 700}, true},
      {"two copies on two recordings", {300, 310}, false},
      {"three copies, on three recordings", {50, 500, 900}, false},
      {"three copies on one recording, damaged near each other", {400, 407, 414}, true},
  };
  const Program& program = Thousand();
  for (const CopiesCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<DecodedRecord> records;
    std::vector<Signal> joined;
    for (const std::size_t at : c.dropoutAt) {
      const Signal copy = tape_damage::DropoutFrom(program.signal, program, at, 6, 40, 0.0f);
      if (c.oneRecording) {
        joined.push_back(copy);
        joined.push_back(degrade::Silence(1.0, kRate));
      } else {
        for (DecodedRecord& record : DecodeSignal(copy, kRate)) records.push_back(std::move(record));
      }
    }
    if (c.oneRecording) records = DecodeSignal(degrade::Join(joined), kRate);
    ASSERT_EQ(records.size(), c.dropoutAt.size());
    for (const DecodedRecord& record : records) ASSERT_NE(record.status, RecordStatus::kSound);

    const reader::Recovery recovery = reader::RecoverRecords(records);
    ASSERT_EQ(recovery.combinations.size(), 1u);
    const reader::CopyCombination& combined = recovery.combinations[0];
    EXPECT_EQ(combined.record.status, RecordStatus::kCombined);
    EXPECT_EQ(ImageMismatch(combined.record, program.image), "");
    EXPECT_EQ(combined.copies.size(), c.dropoutAt.size());
    for (std::size_t into : recovery.combinedInto) EXPECT_EQ(into, 0u);
    // Doubtful stretches lie only about the dropouts, and none came from
    // the copy whose dropout covers it whole.
    ASSERT_FALSE(combined.suppliers.empty());
    for (const reader::SuppliedStretch& stretch : combined.suppliers) {
      const std::size_t first = stretch.firstByte;
      const std::size_t last = first + stretch.byteCount - 1;
      bool nearDamage = false;
      for (const std::size_t at : c.dropoutAt) nearDamage = nearDamage || (first + 1 >= at && last <= at + 6);
      EXPECT_TRUE(nearDamage) << "bytes " << first << " to " << last;
      const std::size_t at = c.dropoutAt[stretch.copy];
      EXPECT_FALSE(first > at && last < at + 5)
          << "bytes " << first << " to " << last << " from copy " << stretch.copy;
    }
  }
}

// A sound copy wins, and sound copies that differ are different programs:
// nothing is combined.
TEST(Copies, ASoundCopyIsLeftToWin) {
  const Program& program = Thousand();
  const Signal damaged = tape_damage::DropoutFrom(program.signal, program, 100, 6, 40, 0.0f);
  std::vector<DecodedRecord> records = DecodeSignal(damaged, kRate);
  for (DecodedRecord& record : DecodeSignal(program.signal, kRate)) records.push_back(std::move(record));
  ASSERT_EQ(records.size(), 2u);
  const reader::Recovery recovery = reader::RecoverRecords(records);
  EXPECT_TRUE(recovery.combinations.empty());
  EXPECT_EQ(recovery.records[0].status, RecordStatus::kChecksumError);
  EXPECT_EQ(recovery.records[1].status, RecordStatus::kSound);
}

// ---- Repair from the checksum ------------------------------------------

struct RepairCase {
  const char* what;
  // Bits made weak: byte, bit, and whether they read wrong.
  struct Weak {
    std::size_t byte;
    int bit;
    bool wrong;
  };
  std::vector<Weak> weak;
  RecordStatus expected;
};

TEST(Repair, OnlyWhenExactlyOneRepairFits) {
  const Program& program = Thousand();
  const Bytes data = DataOf(program.image);
  // Two weak but right bits whose flips cancel in the checksum (the same
  // bit number, one set and one clear) make every fit a pair of fits.
  std::size_t set = 0, clear = 0;
  while (!(data[set] >> 2 & 1)) ++set;
  while (data[clear] >> 2 & 1) ++clear;
  const RepairCase cases[] = {
      {"one weak wrong bit", {{123, 3, true}}, RecordStatus::kRepaired},
      {"one in the last byte", {{999, 0, true}}, RecordStatus::kRepaired},
      {"one in the checksum word's high byte", {{1001, 6, true}}, RecordStatus::kRepaired},
      {"three wrong among five weak",
       {{10, 7, true}, {11, 0, true}, {500, 4, false}, {600, 2, true}, {601, 1, false}},
       RecordStatus::kRepaired},
      {"four wrong",
       {{20, 1, true}, {220, 6, true}, {420, 5, true}, {820, 7, true}},
       RecordStatus::kRepaired},
      {"a wrong bit and two that cancel",
       {{300, 5, true}, {set, 2, false}, {clear, 2, false}},
       RecordStatus::kChecksumError},
  };
  for (const RepairCase& c : cases) {
    SCOPED_TRACE(c.what);
    Signal signal = program.signal;
    for (const RepairCase::Weak& weak : c.weak) {
      signal = tape_damage::WeakenBit(signal, program, weak.byte, weak.bit, weak.wrong ? -0.2f : 0.2f);
    }
    const std::vector<DecodedRecord> records = DecodeSignal(signal, kRate);
    ASSERT_EQ(records.size(), 1u);
    ASSERT_EQ(records[0].status, RecordStatus::kChecksumError);
    const reader::Recovery recovery = reader::RecoverRecords(records);
    const DecodedRecord& record = recovery.records[0];
    EXPECT_EQ(record.status, c.expected);
    if (c.expected != RecordStatus::kRepaired) {
      EXPECT_EQ(record.data, records[0].data) << "a refused repair changes nothing";
      continue;
    }
    EXPECT_EQ(ImageMismatch(record, program.image), "");
    std::size_t wrong = 0;
    for (const RepairCase::Weak& weak : c.weak) wrong += weak.wrong ? 1 : 0;
    EXPECT_EQ(record.repairedBits.size(), wrong);
    EXPECT_GT(record.repairTried, 0u);
  }
}

}  // namespace
