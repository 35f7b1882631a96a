// The tape image (.rks): start address, end address (both 16-bit
// little-endian), the data bytes, and the 16-bit checksum of the data, in
// that order. The data length follows from the file size alone; nothing in
// the image is checked against anything else.
#pragma once

#include <cstdint>

#include "app/conversion_state.h"

constexpr std::uint32_t kStartAddressOffset = 0;
constexpr std::uint32_t kEndAddressOffset = 2;
constexpr std::uint32_t kDataOffset = 4;
constexpr std::uint32_t kChecksumFieldSize = 2;

// Two address words, at least one data byte, and the checksum word.
constexpr std::uint32_t kMinimumImageSize = 7;

std::uint16_t ImageStartAddress(const ConversionState& state);
std::uint16_t ImageEndAddress(const ConversionState& state);
std::uint16_t ImageStoredChecksum(const ConversionState& state);

// The bytes that go on tape as the data block: everything but the stored
// checksum (addresses included).
std::uint32_t ImageDataBlockSize(const ConversionState& state);

// The data bytes alone, between the address words and the checksum.
const std::uint8_t* ImageFirstDataByte(const ConversionState& state);
const std::uint8_t* ImageLastDataByte(const ConversionState& state);
