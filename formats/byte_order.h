// Explicit little-endian loads and stores for file fields and samples, so no
// layout depends on the host's byte order or on copying a struct.
#pragma once

#include <cstdint>

constexpr std::uint8_t* StoreLe16(std::uint16_t value, std::uint8_t* destination) {
  destination[0] = static_cast<std::uint8_t>(value);
  destination[1] = static_cast<std::uint8_t>(value >> 8);
  return destination + 2;
}

constexpr std::uint8_t* StoreLe32(std::uint32_t value, std::uint8_t* destination) {
  destination = StoreLe16(static_cast<std::uint16_t>(value), destination);
  return StoreLe16(static_cast<std::uint16_t>(value >> 16), destination);
}

constexpr std::uint16_t LoadLe16(const std::uint8_t* source) {
  return static_cast<std::uint16_t>(source[0] | (source[1] << 8));
}
