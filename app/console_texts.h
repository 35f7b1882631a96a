// Every text lentok prints, stored as code page 866 bytes with CR LF line
// ends, and the report built from an image's addresses and checksum.
#pragma once

#include <cstdint>

namespace texts {

// The command-line error text; the usage text is its tail.
extern const char kCommandLineError[];
extern const char* const kUsage;
extern const char kReadError[];
extern const char kWriteError[];

}  // namespace texts

// Appends `value` as upper-case hexadecimal digits without leading zeros
// (0 gives "0"); returns the position after the last digit.
char* AppendHex(std::uint32_t value, char* destination);

// Builds the three-line report at `destination`; returns its length.
// The buffer needs room for 4 line ends, 3 labels and 3 numbers (< 100 bytes).
std::uint32_t BuildReport(std::uint16_t startAddress, std::uint16_t endAddress,
                          std::uint32_t checksum, char* destination);
