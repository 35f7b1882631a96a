// Recovering damaged records from what was read of them: copies of one
// program (on one recording or on several) combined bit by bit, each bit
// from the copy that read it most clearly, and records that still fail
// their checksum repaired by changing a few doubtful bits. Pure functions
// over decoded records: the tool and the web page call them the same way
// once every recording has been read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "reader/decoded_record.h"

namespace reader {

// True when two records are copies of one program: both read their
// addresses, which agree, and their names agree where both have one.
bool AreCopies(const DecodedRecord& a, const DecodedRecord& b);

// A stretch of doubtful bytes of a combination (bytes that the copies read
// differently, or that some copy read with doubtful bits) and the copy that
// supplied it: the one that gave most of its bits.
struct SuppliedStretch {
  std::size_t firstByte = 0;  // index into the combined record's data
  std::size_t byteCount = 0;
  std::size_t copy = 0;  // index of the record among those given
};

struct CopyCombination {
  std::vector<std::size_t> copies;  // indices of the records given, in order
  // The combined record: kCombined when its checksum agrees, kRepaired when
  // a repair made it agree, kNoChecksum when the copies had none. Its
  // positions and signal are those of the copy that read most,
  // `positionsFrom` (an index of the records given).
  DecodedRecord record;
  std::size_t positionsFrom = 0;
  std::vector<SuppliedStretch> suppliers;
};

struct Recovery {
  // The records given, in order; a damaged one that no combination took in
  // is repaired on its own where a repair fits (status kRepaired).
  std::vector<DecodedRecord> records;
  // Combinations whose checksum agrees, combined or repaired.
  std::vector<CopyCombination> combinations;
  // For each record given: the index of the combination it went into, or
  // kNotCombined.
  std::vector<std::size_t> combinedInto;
};

constexpr std::size_t kNotCombined = static_cast<std::size_t>(-1);

// Combines and repairs. Records that are sound stay as they are; copies of
// a program with a sound copy (or one without a checksum read clearly) are
// left alone (that copy wins); copies none of which is sound are combined;
// a combination that fails its checksum is repaired where one repair fits,
// and otherwise dropped, its copies staying as they were.
Recovery RecoverRecords(std::vector<DecodedRecord> records);

// The copies combined into one record, bit by bit (nothing about checksum
// or repair yet): `copies` index `records`. Its status is kCombined when
// the checksum agrees, kChecksumError or kCutShort otherwise, and
// kNoChecksum when the copies were written without one.
CopyCombination CombineCopies(const std::vector<DecodedRecord>& records,
                              const std::vector<std::size_t>& copies);

}  // namespace reader
