// The tape checksum, shared by the writer (option -k) and the reader.
#pragma once

#include <cstdint>

// The checksum of the bytes from `first` to `last` inclusive (first <= last):
// 257 times each byte but the last, plus the last byte into the low half only.
std::uint16_t TapeChecksum(const std::uint8_t* first, const std::uint8_t* last);
