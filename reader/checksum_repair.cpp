// The repair search. The checksum is 257 times the sum of every data byte
// but the last, plus the last byte into the low half only, so a flipped bit
// k of a byte moves it by 257 * 2^k (the last byte's: 2^k in the low half)
// and a combination is checked in constant time from the sum it changes,
// never by summing the data again.
#include "reader/checksum_repair.h"

#include <algorithm>
#include <cstddef>

#include "tape/tape_checksum.h"

namespace reader {

namespace {

struct Candidate {
  std::uint8_t confidence = 0;
  // What flipping it does: to the sum of the bytes before the last, to the
  // last byte, or to the checksum word read from tape.
  std::int32_t sumDelta = 0;
  std::int32_t lastDelta = 0;
  std::uint16_t checksumFlip = 0;
  ChangedBit bit;
};

std::uint16_t ChecksumOf(std::uint32_t sum, std::uint32_t last) {
  const std::uint32_t whole = (257 * sum) & 0xFFFF;
  return static_cast<std::uint16_t>((whole & 0xFF00) | ((whole + last) & 0xFF));
}

// Positions of the bits, least certain first; ties keep their order.
std::vector<std::size_t> LeastCertainFirst(const std::vector<std::uint8_t>& confidence) {
  std::vector<std::size_t> order(confidence.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return confidence[a] < confidence[b]; });
  return order;
}

}  // namespace

RepairResult FindRepair(const DecodedRecord& record, const RepairLimits& limits) {
  RepairResult result;
  const std::size_t bytes = record.data.size();
  if (record.status != RecordStatus::kChecksumError || !record.checksumRead || bytes == 0 ||
      record.bitConfidence.size() != 8 * bytes || record.checksumConfidence.size() != 16) {
    return result;
  }
  // Data bits and checksum bits together: a misread checksum word is as
  // likely as a misread data byte.
  std::vector<std::uint8_t> confidence = record.bitConfidence;
  confidence.insert(confidence.end(), record.checksumConfidence.begin(), record.checksumConfidence.end());
  const std::vector<std::size_t> order = LeastCertainFirst(confidence);
  const auto most = static_cast<std::size_t>(std::max(0, limits.mostCandidates));
  std::size_t count = 0;
  while (count < most && count < order.size() && confidence[order[count]] < limits.candidateBelow) ++count;
  // Every bit left out must have been read clearly: a doubtful bit outside
  // the search could be the wrong one, and the checksum could then agree on
  // a wrong program.
  if (count < order.size() && confidence[order[count]] < kDoubtfulConfidence) {
    result.outcome = RepairResult::Outcome::kNoFit;
    return result;
  }

  std::vector<Candidate> candidates;
  for (std::size_t c = 0; c < count; ++c) {
    const std::size_t index = order[c];
    Candidate candidate;
    candidate.confidence = confidence[index];
    if (index < 8 * bytes) {
      const std::size_t byte = index / 8;
      const int bit = 7 - static_cast<int>(index % 8);
      const bool set = (record.data[byte] >> bit & 1) != 0;
      const std::int32_t delta = (set ? -1 : 1) * (1 << bit);
      (byte + 1 == bytes ? candidate.lastDelta : candidate.sumDelta) = delta;
      candidate.bit.address = static_cast<std::uint16_t>(record.startAddress + byte);
      candidate.bit.bit = bit;
    } else {
      const std::size_t inWord = index - 8 * bytes;
      const int high = inWord < 8 ? 0 : 1;
      const int bit = 7 - static_cast<int>(inWord % 8);
      candidate.checksumFlip = static_cast<std::uint16_t>(1u << (8 * high + bit));
      candidate.bit.inChecksum = true;
      candidate.bit.address = static_cast<std::uint16_t>(high);
      candidate.bit.bit = bit;
    }
    candidates.push_back(candidate);
  }

  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < bytes; ++i) sum += record.data[i];
  const std::uint32_t last = record.data.back();

  // Every combination, the least doubtful (the smallest total confidence
  // flipped) first.
  const std::uint32_t combinations = std::uint32_t{1} << count;
  std::vector<std::uint32_t> masks;
  std::vector<std::uint32_t> cost(combinations, 0);
  for (std::uint32_t mask = 1; mask < combinations; ++mask) {
    masks.push_back(mask);
    for (std::size_t c = 0; c < count; ++c) {
      if (mask >> c & 1) cost[mask] += candidates[c].confidence;
    }
  }
  std::stable_sort(masks.begin(), masks.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return cost[a] < cost[b]; });

  std::uint32_t fit = 0;
  int fits = 0;
  for (const std::uint32_t mask : masks) {
    ++result.tried;
    std::int64_t newSum = sum;
    std::int64_t newLast = last;
    std::uint16_t tape = record.tapeChecksum;
    for (std::size_t c = 0; c < count; ++c) {
      if ((mask >> c & 1) == 0) continue;
      newSum += candidates[c].sumDelta;
      newLast += candidates[c].lastDelta;
      tape = static_cast<std::uint16_t>(tape ^ candidates[c].checksumFlip);
    }
    if (ChecksumOf(static_cast<std::uint32_t>(newSum & 0xFFFF), static_cast<std::uint32_t>(newLast)) !=
        tape) {
      continue;
    }
    fit = mask;
    if (++fits == 2) break;  // two fits: neither can be trusted
  }
  if (fits != 1) {
    result.outcome = fits == 0 ? RepairResult::Outcome::kNoFit : RepairResult::Outcome::kAmbiguous;
    return result;
  }
  result.outcome = RepairResult::Outcome::kRepaired;
  for (std::size_t c = 0; c < count; ++c) {
    if (fit >> c & 1) result.changed.push_back(candidates[c].bit);
  }
  std::sort(result.changed.begin(), result.changed.end(), [](const ChangedBit& a, const ChangedBit& b) {
    if (a.inChecksum != b.inChecksum) return !a.inChecksum;
    return a.address != b.address ? a.address < b.address : a.bit > b.bit;
  });
  return result;
}

void ApplyRepair(DecodedRecord& record, const RepairResult& repair) {
  if (repair.outcome != RepairResult::Outcome::kRepaired) return;
  for (const ChangedBit& changed : repair.changed) {
    if (changed.inChecksum) {
      record.tapeChecksum =
          static_cast<std::uint16_t>(record.tapeChecksum ^ (1u << (8 * changed.address + changed.bit)));
      continue;
    }
    const auto byte = static_cast<std::uint16_t>(changed.address - record.startAddress);
    record.data[byte] = static_cast<std::uint8_t>(record.data[byte] ^ (1u << changed.bit));
  }
  record.computedChecksum = TapeChecksum(record.data.data(), &record.data.back());
  record.status = record.computedChecksum == record.tapeChecksum ? RecordStatus::kRepaired : record.status;
  record.repairedBits = repair.changed;
  record.repairTried = repair.tried;
}

}  // namespace reader
