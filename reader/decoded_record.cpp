// The image of a decoded record, and positions as times.
#include "reader/decoded_record.h"

#include <algorithm>

#include "formats/byte_order.h"
#include "platform/memory.h"
#include "tape/tape_checksum.h"

namespace reader {

std::vector<std::uint8_t> ImageBytes(const DecodedRecord& record) {
  std::vector<std::uint8_t> image;
  platform::ResizeToWrite(image, 4 + record.data.size() + 2);
  StoreLe16(record.startAddress, image.data());
  StoreLe16(record.endAddress, image.data() + 2);
  std::copy(record.data.begin(), record.data.end(), image.begin() + 4);
  const std::uint16_t checksum = record.checksumRead ? record.tapeChecksum : record.computedChecksum;
  StoreLe16(checksum, image.data() + 4 + record.data.size());
  return image;
}

bool IsDamaged(const DecodedRecord& record) {
  switch (record.status) {
    case RecordStatus::kSound:
    case RecordStatus::kCombined: return false;
    case RecordStatus::kNoChecksum: return record.doubtfulBitCount > 0;
    default: return true;
  }
}

double SecondsAt(const DecodedRecord& record, std::int64_t frame) {
  return record.sampleRate > 0 ? static_cast<double>(frame) / record.sampleRate : 0.0;
}

}  // namespace reader
