// Repair from the checksum: a record read to the end whose checksum fails
// may hold only a few wrong bits, among those read least clearly. Flipping
// combinations of those, least doubtful first, and keeping a repair only
// when exactly one combination makes the checksum agree.
#pragma once

#include <cstdint>
#include <vector>

#include "reader/decoded_record.h"

namespace reader {

struct RepairLimits {
  int mostCandidates = 12;  // the least certain bits considered
  // Only bits read less clearly than this are considered: flipping a bit
  // read clearly buys nothing but chances of a wrong fit.
  std::uint8_t candidateBelow = 128;
};

struct RepairResult {
  enum class Outcome {
    kNotTried,   // sound already, cut short, or no confidences to go by
    kRepaired,   // exactly one combination fits: `changed`
    kAmbiguous,  // two or more fit: none is taken
    kNoFit,      // none fits
  };
  Outcome outcome = Outcome::kNotTried;
  std::vector<ChangedBit> changed;
  std::uint32_t tried = 0;  // combinations tried
};

// Looks for a repair of `record` (status kChecksumError, with its bit
// confidences); does not change it.
RepairResult FindRepair(const DecodedRecord& record, const RepairLimits& limits = {});

// Applies a repair found for `record`: flips its bits, recomputes the
// checksum and marks it kRepaired.
void ApplyRepair(DecodedRecord& record, const RepairResult& repair);

}  // namespace reader
