// Combining copies bit by bit, and the order of recovery: combine, then
// repair what still fails.
#include "reader/copy_combiner.h"

#include <algorithm>

#include "reader/checksum_repair.h"
#include "tape/tape_checksum.h"

namespace reader {

namespace {

std::size_t DeclaredLength(const DecodedRecord& record) {
  return static_cast<std::size_t>(static_cast<std::uint16_t>(record.endAddress - record.startAddress)) + 1;
}

bool HasConfidences(const DecodedRecord& record) {
  return record.bitConfidence.size() == 8 * record.data.size();
}

// One bit as the copies read it: the value of the clearest reading, and how
// clear the decision is once the copies that read it otherwise are weighed
// against it.
struct BitChoice {
  bool value = false;
  std::uint8_t confidence = 0;
  std::size_t copy = 0;   // the copy that supplied it, among those looked at
  bool disputed = false;  // some copy read it otherwise, or in doubt
};

template <typename ValueOf, typename ConfidenceOf>
BitChoice ChooseBit(const std::vector<const DecodedRecord*>& copies, ValueOf valueOf,
                    ConfidenceOf confidenceOf) {
  BitChoice choice;
  int best[2] = {-1, -1};  // the clearest reading of each value
  std::size_t from[2] = {0, 0};
  for (std::size_t c = 0; c < copies.size(); ++c) {
    int confidence = 0;
    if (!confidenceOf(*copies[c], confidence)) continue;
    if (confidence < kDoubtfulConfidence) choice.disputed = true;
    const int v = valueOf(*copies[c]) ? 1 : 0;
    if (confidence > best[v]) {
      best[v] = confidence;
      from[v] = c;
    }
  }
  const int chosen = best[1] > best[0] ? 1 : 0;
  choice.value = chosen == 1;
  choice.copy = from[chosen];
  choice.confidence = static_cast<std::uint8_t>(std::max(0, best[chosen]));
  if (best[1 - chosen] >= 0) {
    choice.disputed = true;
    choice.confidence = static_cast<std::uint8_t>(best[chosen] - best[1 - chosen]);
  }
  return choice;
}

}  // namespace

bool AreCopies(const DecodedRecord& a, const DecodedRecord& b) {
  if (!a.addressesRead || !b.addressesRead) return false;
  if (a.startAddress != b.startAddress || a.endAddress != b.endAddress) return false;
  return !(a.hasHeader && b.hasHeader) || a.name == b.name;
}

CopyCombination CombineCopies(const std::vector<DecodedRecord>& records,
                              const std::vector<std::size_t>& copies) {
  CopyCombination combination;
  combination.copies = copies;
  std::vector<const DecodedRecord*> read;
  std::vector<std::size_t> indices;
  for (const std::size_t index : copies) {
    if (!HasConfidences(records[index])) continue;
    read.push_back(&records[index]);
    indices.push_back(index);
  }
  if (read.empty()) return combination;

  // Positions and signal come from the copy that read most, the first such.
  std::size_t most = 0;
  for (std::size_t c = 1; c < read.size(); ++c) {
    if (read[c]->data.size() > read[most]->data.size()) most = c;
  }
  const DecodedRecord& base = *read[most];
  combination.positionsFrom = indices[most];
  DecodedRecord& out = combination.record;
  out.sampleRate = base.sampleRate;
  out.firstFrame = base.firstFrame;
  out.endFrame = base.endFrame;
  out.channel = base.channel;
  out.hasHeader = base.hasHeader;
  out.name = base.name;
  for (const DecodedRecord* copy : read) {
    if (copy->hasHeader && !out.hasHeader) {
      out.hasHeader = true;
      out.name = copy->name;
    }
  }
  out.startAddress = base.startAddress;
  out.endAddress = base.endAddress;
  out.addressesRead = true;
  out.signal = base.signal;

  const std::size_t length = std::min(DeclaredLength(base), base.data.size());
  out.data.assign(length, 0);
  out.bitConfidence.assign(8 * length, 0);
  out.byteFrames = base.byteFrames;
  out.byteFrames.resize(length);

  std::vector<std::size_t> supplierOfByte(length, kNotCombined);
  for (std::size_t byte = 0; byte < length; ++byte) {
    bool doubtful = false;
    std::vector<int> bitsFrom(read.size(), 0);
    for (int b = 0; b < 8; ++b) {
      const std::size_t position = 8 * byte + static_cast<std::size_t>(b);
      const BitChoice choice = ChooseBit(
          read, [&](const DecodedRecord& r) { return (r.data[byte] >> (7 - b) & 1) != 0; },
          [&](const DecodedRecord& r, int& confidence) {
            if (byte >= r.data.size()) return false;
            confidence = r.bitConfidence[position];
            return true;
          });
      if (choice.value) out.data[byte] = static_cast<std::uint8_t>(out.data[byte] | 1u << (7 - b));
      out.bitConfidence[position] = choice.confidence;
      doubtful = doubtful || choice.disputed;
      ++bitsFrom[choice.copy];
      if (choice.confidence < kDoubtfulConfidence) {
        ++out.doubtfulBitCount;
        if (out.doubtfulBitFrames.size() < kDoubtfulPositionsKept)
          out.doubtfulBitFrames.push_back(out.byteFrames[byte]);
      }
    }
    if (doubtful) {
      supplierOfByte[byte] = indices[static_cast<std::size_t>(
          std::max_element(bitsFrom.begin(), bitsFrom.end()) - bitsFrom.begin())];
    }
  }
  for (std::size_t byte = 0; byte < length; ++byte) {
    const std::size_t supplier = supplierOfByte[byte];
    if (supplier == kNotCombined) continue;
    std::vector<SuppliedStretch>& stretches = combination.suppliers;
    if (!stretches.empty() && stretches.back().copy == supplier &&
        stretches.back().firstByte + stretches.back().byteCount == byte) {
      ++stretches.back().byteCount;
    } else {
      stretches.push_back({byte, 1, supplier});
    }
  }

  // The checksum word, bit by bit from the copies that read it.
  std::vector<const DecodedRecord*> withChecksum;
  for (const DecodedRecord* copy : read) {
    if (copy->checksumRead && copy->checksumConfidence.size() == 16) withChecksum.push_back(copy);
  }
  if (!withChecksum.empty() && length == DeclaredLength(base)) {
    out.checksumRead = true;
    out.checksumConfidence.assign(16, 0);
    for (int b = 0; b < 16; ++b) {
      // As on tape: the low byte first, each most significant bit first.
      const int shift = (b < 8 ? 0 : 8) + 7 - b % 8;
      const BitChoice choice = ChooseBit(
          withChecksum, [&](const DecodedRecord& r) { return (r.tapeChecksum >> shift & 1) != 0; },
          [&](const DecodedRecord& r, int& confidence) {
            confidence = r.checksumConfidence[static_cast<std::size_t>(b)];
            return true;
          });
      if (choice.value) out.tapeChecksum = static_cast<std::uint16_t>(out.tapeChecksum | 1u << shift);
      out.checksumConfidence[static_cast<std::size_t>(b)] = choice.confidence;
    }
  }
  if (!out.data.empty()) out.computedChecksum = TapeChecksum(out.data.data(), &out.data.back());
  if (!out.checksumRead) {
    // Copies written without a checksum word combine into a record without
    // one: nothing can check it, so it is no more than the clearest reading.
    const bool noChecksum =
        !out.hasHeader && length == DeclaredLength(base) &&
        std::all_of(read.begin(), read.end(), [&](const DecodedRecord* copy) {
          return copy->data.size() < length || copy->status == RecordStatus::kNoChecksum;
        });
    out.status = noChecksum ? RecordStatus::kNoChecksum : RecordStatus::kCutShort;
  } else {
    out.status =
        out.computedChecksum == out.tapeChecksum ? RecordStatus::kCombined : RecordStatus::kChecksumError;
  }
  return combination;
}

Recovery RecoverRecords(std::vector<DecodedRecord> records) {
  Recovery recovery;
  recovery.combinedInto.assign(records.size(), kNotCombined);
  std::vector<bool> grouped(records.size(), false);
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (grouped[i] || !records[i].addressesRead) continue;
    std::vector<std::size_t> group = {i};
    for (std::size_t j = i + 1; j < records.size(); ++j) {
      if (!grouped[j] && AreCopies(records[i], records[j])) group.push_back(j);
    }
    if (group.size() < 2) continue;
    for (const std::size_t member : group) grouped[member] = true;
    // A sound copy wins; the others are left as they were read.
    const bool anySound = std::any_of(group.begin(), group.end(), [&](std::size_t member) {
      return !IsDamaged(records[member]);
    });
    if (anySound) continue;
    CopyCombination combination = CombineCopies(records, group);
    if (combination.record.status == RecordStatus::kChecksumError) {
      ApplyRepair(combination.record, FindRepair(combination.record));
    }
    const RecordStatus status = combination.record.status;
    if (status != RecordStatus::kCombined && status != RecordStatus::kRepaired &&
        status != RecordStatus::kNoChecksum) {
      continue;
    }
    for (const std::size_t member : group) recovery.combinedInto[member] = recovery.combinations.size();
    recovery.combinations.push_back(std::move(combination));
  }
  // A damaged record on its own is repaired where one repair fits.
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (grouped[i] || records[i].status != RecordStatus::kChecksumError) continue;
    ApplyRepair(records[i], FindRepair(records[i]));
  }
  recovery.records = std::move(records);
  return recovery;
}

}  // namespace reader
