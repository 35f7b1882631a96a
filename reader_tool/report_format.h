// The pieces the report is built from: times, fixed-point numbers, hex
// words, a header name shown in plain text, and JSON values. All of it is
// independent of the C locale, so a report reads the same everywhere.
#pragma once

#include <cstdint>
#include <string>

namespace reader_tool {

// m:ss.mmm (minutes as many digits as needed), rounded to the millisecond;
// `point` separates the milliseconds.
std::string FormatTime(double seconds, char point = '.');

// `value` rounded to `decimals` places (0 to 6), with '-' when negative.
std::string FormatFixed(double value, int decimals, char point = '.');

// Four upper-case hexadecimal digits.
std::string Hex4(std::uint16_t value);
// Two upper-case hexadecimal digits.
std::string Hex2(std::uint8_t value);

// Name bytes from tape as printable ASCII: '\\' and '"' escaped with a
// backslash, every byte outside 0x20 to 0x7E as \xNN.
std::string PrintableName(const std::string& bytes);

// Text for a terminal, a file name say: valid UTF-8 is kept, but control
// characters, DEL and bytes that are not UTF-8 become \xNN, so no name can
// move the cursor, ring or split a line of the report.
std::string PrintableText(const std::string& utf8);

// A JSON string of tape bytes: each byte is the character of the same number
// (so the bytes can be had back exactly), escaped as JSON needs.
std::string JsonByteString(const std::string& bytes);

// A JSON string of UTF-8 text; each byte that is not part of valid UTF-8
// becomes the lone surrogate \udcNN (NN the byte), so that a path in any
// encoding can be had back byte for byte.
std::string JsonTextString(const std::string& utf8);

// A JSON number with `decimals` places.
std::string JsonNumber(double value, int decimals);

}  // namespace reader_tool
