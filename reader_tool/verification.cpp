// Comparing decoded records with a tape image.
#include "reader_tool/verification.h"

#include <algorithm>

#include "formats/byte_order.h"

namespace reader_tool {

std::size_t DeclaredDataLength(const TapeImage& image) {
  if (image.endAddress < image.startAddress) return 0;
  return static_cast<std::size_t>(image.endAddress - image.startAddress) + 1;
}

ImageProblem ParseImage(const std::vector<std::uint8_t>& bytes, TapeImage& image) {
  if (bytes.size() < kSmallestImage) return ImageProblem::kTooShort;
  if (bytes.size() > kLargestImage) return ImageProblem::kTooLong;
  image.startAddress = LoadLe16(bytes.data());
  image.endAddress = LoadLe16(bytes.data() + 2);
  image.data.assign(bytes.begin() + 4, bytes.end() - 2);
  image.storedChecksum = LoadLe16(bytes.data() + bytes.size() - 2);
  return image.data.size() == DeclaredDataLength(image) ? ImageProblem::kNone
                                                        : ImageProblem::kSizeMismatch;
}

Comparison CompareWithImage(const reader::DecodedRecord& record, const TapeImage& image) {
  Comparison comparison;
  if (!record.addressesRead || record.startAddress != image.startAddress ||
      record.endAddress != image.endAddress) {
    return comparison;
  }
  const std::size_t common = std::min(record.data.size(), image.data.size());
  std::size_t same = 0;
  while (same < common && record.data[same] == image.data[same]) ++same;
  comparison.matchingBytes = same;
  comparison.index = same;
  if (same < common) {
    comparison.verdict = Verdict::kDiffers;
  } else if (record.data.size() < image.data.size()) {
    comparison.verdict = Verdict::kCutShort;
  } else if (record.status == reader::RecordStatus::kNoChecksum) {
    // Written without a checksum word, as the earlier monitors do: its data
    // is all there is to compare.
    comparison.verdict = Verdict::kMatch;
  } else if (!record.checksumRead) {
    comparison.verdict = Verdict::kNoChecksum;
  } else if (record.tapeChecksum != record.computedChecksum ||
             record.status != reader::RecordStatus::kSound) {
    comparison.verdict = Verdict::kChecksumBad;
  } else {
    comparison.verdict = Verdict::kMatch;
    comparison.storedChecksumDiffers = record.tapeChecksum != image.storedChecksum;
  }
  return comparison;
}

bool BetterCandidate(const Comparison& candidate, const Comparison& best) {
  if (best.verdict == Verdict::kOtherAddresses) return candidate.verdict != Verdict::kOtherAddresses;
  return candidate.verdict != Verdict::kOtherAddresses && candidate.matchingBytes > best.matchingBytes;
}

}  // namespace reader_tool
