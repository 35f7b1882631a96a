// The SVG writer: escaping, numbers and the element stack.
#include "map/svg_writer.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tape_map {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the valid UTF-8 sequence at `at`, or 0.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(at);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not text; nor
  // are U+FFFE and U+FFFF, which XML forbids.
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF || code == 0xFFFE || code == 0xFFFF)
    return 0;
  return length;
}

}  // namespace

std::string EscapeXml(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8Length(text, at);
    const char c = text[at];
    if (length == 0) {
      out += kReplacement;
      ++at;
      continue;
    }
    if (length == 1) {
      switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
          // XML 1.0 allows no control character but tab and the line ends.
          if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            out += kReplacement;
          } else {
            out += c;
          }
      }
    } else {
      out.append(text, at, length);
    }
    at += length;
  }
  return out;
}

std::string Number(double value, int decimals) {
  if (!std::isfinite(value)) return "0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  std::string text = buffer;
  // snprintf follows the C locale, which the tool never changes; the point
  // is put right all the same in case a host program did.
  for (char& c : text) {
    if (c == ',') c = '.';
  }
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

SvgWriter::SvgWriter(double width, double height) {
  out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  const std::string w = Number(width), h = Number(height);
  Open("svg", {{"xmlns", "http://www.w3.org/2000/svg"},
               {"width", w},
               {"height", h},
               {"viewBox", "0 0 " + w + " " + h}});
}

void SvgWriter::StartTag(const std::string& tag, const Attributes& attributes) {
  out_ += "<" + tag;
  for (const auto& [name, value] : attributes) out_ += " " + name + "=\"" + EscapeXml(value) + "\"";
}

void SvgWriter::Open(const std::string& tag, const Attributes& attributes) {
  StartTag(tag, attributes);
  out_ += ">\n";
  open_.push_back(tag);
}

void SvgWriter::Close() {
  if (open_.empty()) return;
  out_ += "</" + open_.back() + ">\n";
  open_.pop_back();
}

void SvgWriter::Element(const std::string& tag, const Attributes& attributes) {
  StartTag(tag, attributes);
  out_ += "/>\n";
}

void SvgWriter::TextElement(const std::string& tag, const Attributes& attributes, const std::string& text) {
  StartTag(tag, attributes);
  out_ += ">" + EscapeXml(text) + "</" + tag + ">\n";
}

void SvgWriter::Raw(const std::string& markup) { out_ += markup; }

std::string SvgWriter::Finish() {
  while (!open_.empty()) Close();
  return std::move(out_);
}

}  // namespace tape_map
