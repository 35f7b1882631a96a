// A small SVG writer: elements with attributes, nested groups and text,
// every value escaped, numbers written the same in every locale. It knows
// nothing of what is drawn.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tape_map {

using Attributes = std::vector<std::pair<std::string, std::string>>;

// `text` made safe for XML character data and attribute values: markup
// characters become entities, control characters and bytes that are not
// valid UTF-8 become U+FFFD.
std::string EscapeXml(const std::string& text);

// A coordinate or length with at most `decimals` places, no trailing zeros,
// '.' as the point whatever the locale.
std::string Number(double value, int decimals = 1);

class SvgWriter {
 public:
  // The document's size in user units, which are also its size in pixels.
  SvgWriter(double width, double height);

  // <tag attributes>, to be closed by Close().
  void Open(const std::string& tag, const Attributes& attributes = {});
  void Close();
  // <tag attributes/>.
  void Element(const std::string& tag, const Attributes& attributes);
  // <tag attributes>text</tag>.
  void TextElement(const std::string& tag, const Attributes& attributes, const std::string& text);
  // Written as it is: for a style sheet or definitions the caller made safe.
  void Raw(const std::string& markup);

  // Closes what is open and returns the document.
  std::string Finish();

 private:
  void StartTag(const std::string& tag, const Attributes& attributes);

  std::string out_;
  std::vector<std::string> open_;
};

}  // namespace tape_map
