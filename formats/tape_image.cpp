// Field access into the tape image as read into the conversion record.
#include "formats/tape_image.h"

#include "formats/byte_order.h"

std::uint16_t ImageStartAddress(const ConversionState& state) {
  return LoadLe16(state.imageBuffer + kStartAddressOffset);
}

std::uint16_t ImageEndAddress(const ConversionState& state) {
  return LoadLe16(state.imageBuffer + kEndAddressOffset);
}

std::uint16_t ImageStoredChecksum(const ConversionState& state) {
  return LoadLe16(state.imageBuffer + ImageDataBlockSize(state));
}

std::uint32_t ImageDataBlockSize(const ConversionState& state) {
  return state.imageSize - kChecksumFieldSize;
}

const std::uint8_t* ImageFirstDataByte(const ConversionState& state) {
  return state.imageBuffer + kDataOffset;
}

const std::uint8_t* ImageLastDataByte(const ConversionState& state) {
  return state.imageBuffer + ImageDataBlockSize(state) - 1;
}
