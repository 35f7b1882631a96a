// --verify's judgement: a tape image read from its bytes, and how a decoded
// record compares with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "reader/decoded_record.h"

namespace reader_tool {

struct TapeImage {
  std::uint16_t startAddress = 0;
  std::uint16_t endAddress = 0;
  std::vector<std::uint8_t> data;
  std::uint16_t storedChecksum = 0;
};

// Two addresses, at least one data byte, the checksum: 7 bytes; at most the
// whole address space of data.
constexpr std::size_t kSmallestImage = 7;
constexpr std::size_t kLargestImage = 4 + 65536 + 2;

enum class ImageProblem {
  kNone,
  kTooShort,
  kTooLong,
  kSizeMismatch,  // the addresses call for another number of data bytes
};

// Reads an image from its bytes. The reader takes a record's length from its
// addresses, so an image whose size says otherwise could never be matched.
ImageProblem ParseImage(const std::vector<std::uint8_t>& bytes, TapeImage& image);

// The number of data bytes the image's addresses call for.
std::size_t DeclaredDataLength(const TapeImage& image);

enum class Verdict {
  kMatch,            // a sound record, or one without a checksum word, holding the image's addresses and data
  kOtherAddresses,   // not this image's record at all
  kDiffers,          // a data byte differs, at `index`
  kCutShort,         // the data ends early, at `index`
  kNoChecksum,       // all data there, but cut short before the checksum (not where it would end without one)
  kChecksumBad,      // all data there, the checksum on tape does not fit it
};

struct Comparison {
  Verdict verdict = Verdict::kOtherAddresses;
  std::size_t index = 0;          // the data byte concerned (kDiffers, kCutShort)
  std::size_t matchingBytes = 0;  // how far record and image agree
  // kMatch only: the checksum on tape (which fits the data) is not the one
  // the image stores. Worth a note, not a failure.
  bool storedChecksumDiffers = false;
};

Comparison CompareWithImage(const reader::DecodedRecord& record, const TapeImage& image);

// Of two comparisons with records of the image's addresses, whether `candidate`
// tells more than `best` (it agrees with the image further).
bool BetterCandidate(const Comparison& candidate, const Comparison& best);

}  // namespace reader_tool
