// Locale-free formatting of the report's numbers, names and JSON values.
#include "reader_tool/report_format.h"

#include <cmath>
#include <cstdint>

namespace reader_tool {

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

std::string PaddedDecimal(std::uint64_t value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

std::string JsonEscape(unsigned code) {
  std::string escape = "\\u00";
  escape += kHexDigits[(code >> 4) & 0xF];
  escape += kHexDigits[code & 0xF];
  return escape;
}

// Appends `c` (below 0x80) as JSON has it inside a string.
void AppendJsonAscii(char c, std::string& out) {
  switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default:
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        out += JsonEscape(static_cast<unsigned char>(c));
      } else {
        out += c;
      }
  }
}

// The length of the valid UTF-8 sequence at text[i], or 0 when there is none.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are invalid.
  const std::uint32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < lowest[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

}  // namespace

std::string FormatTime(double seconds, char point) {
  const auto milliseconds =
      static_cast<std::uint64_t>(std::llround(std::fmax(seconds, 0.0) * 1000.0));
  const std::uint64_t totalSeconds = milliseconds / 1000;
  return std::to_string(totalSeconds / 60) + ":" + PaddedDecimal(totalSeconds % 60, 2) + point +
         PaddedDecimal(milliseconds % 1000, 3);
}

std::string FormatFixed(double value, int decimals, char point) {
  if (decimals < 0) decimals = 0;
  if (decimals > 6) decimals = 6;
  if (!std::isfinite(value)) value = 0.0;
  std::uint64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const double scaled = std::round(std::fabs(value) * static_cast<double>(scale));
  const auto units = static_cast<std::uint64_t>(scaled);
  std::string text = (value < 0 && units != 0) ? "-" : "";
  text += std::to_string(units / scale);
  if (decimals > 0) text += point + PaddedDecimal(units % scale, decimals);
  return text;
}

std::string Hex4(std::uint16_t value) {
  return Hex2(static_cast<std::uint8_t>(value >> 8)) + Hex2(static_cast<std::uint8_t>(value));
}

namespace {

std::string LowerHex2(std::uint8_t value) {
  static const char kLower[] = "0123456789abcdef";
  return std::string{kLower[value >> 4], kLower[value & 0xF]};
}

}  // namespace

std::string Hex2(std::uint8_t value) {
  return std::string{kHexDigits[value >> 4], kHexDigits[value & 0xF]};
}

std::string PrintableName(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (byte >= 0x20 && byte < 0x7F) {
      out += c;
    } else {
      out += "\\x" + Hex2(byte);
    }
  }
  return out;
}

std::string PrintableText(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = byte < 0x80 ? 1 : Utf8SequenceLength(utf8, i);
    if (byte < 0x20 || byte == 0x7F || length == 0) {
      out += "\\x" + Hex2(byte);
      ++i;
    } else {
      out.append(utf8, i, length);
      i += length;
    }
  }
  return out;
}

std::string JsonByteString(const std::string& bytes) {
  std::string out = "\"";
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      AppendJsonAscii(c, out);
    } else {
      out += JsonEscape(byte);
    }
  }
  return out + "\"";
}

std::string JsonTextString(const std::string& utf8) {
  std::string out = "\"";
  for (std::size_t i = 0; i < utf8.size();) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      AppendJsonAscii(utf8[i++], out);
      continue;
    }
    const std::size_t length = Utf8SequenceLength(utf8, i);
    if (length == 0) {
      // A lone surrogate for the byte, as a system that decodes file names
      // with surrogate escapes would give it, so the exact bytes come back.
      out += "\\udc" + LowerHex2(static_cast<unsigned char>(utf8[i]));
      ++i;
    } else {
      out.append(utf8, i, length);
      i += length;
    }
  }
  return out + "\"";
}

std::string JsonNumber(double value, int decimals) { return FormatFixed(value, decimals); }

}  // namespace reader_tool
