// The tape image of a decoded record and the time of a frame.
#include "reader/decoded_record.h"

#include "formats/byte_order.h"

namespace reader {

std::vector<std::uint8_t> ImageBytes(const DecodedRecord& record) {
  // Two address words, the data, the checksum word.
  std::vector<std::uint8_t> image(2 + 2 + record.data.size() + 2);
  std::uint8_t* position = StoreLe16(record.startAddress, image.data());
  position = StoreLe16(record.endAddress, position);
  for (std::uint8_t byte : record.data) *position++ = byte;
  StoreLe16(record.checksumRead ? record.tapeChecksum : record.computedChecksum, position);
  return image;
}

double SecondsAt(const DecodedRecord& record, std::int64_t frame) {
  if (record.sampleRate <= 0) return 0.0;
  return static_cast<double>(frame) / record.sampleRate;
}

}  // namespace reader
