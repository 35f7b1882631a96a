// A recursive-descent walk over the JSON grammar that builds nothing.
#include "tests/support/json_check.h"

#include <cstring>

namespace {

class JsonWalker {
 public:
  explicit JsonWalker(const std::string& text) : text_(text) {}

  bool Document() {
    SkipSpace();
    if (!Value()) return false;
    SkipSpace();
    return at_ == text_.size();
  }

 private:
  bool Value() {
    if (depth_ > 100 || at_ >= text_.size()) return false;
    switch (text_[at_]) {
      case '{': return Object();
      case '[': return Array();
      case '"': return String();
      case 't': return Word("true");
      case 'f': return Word("false");
      case 'n': return Word("null");
      default: return Number();
    }
  }

  bool Object() {
    ++at_, ++depth_;
    SkipSpace();
    if (Take('}')) return --depth_, true;
    do {
      SkipSpace();
      if (at_ >= text_.size() || text_[at_] != '"' || !String()) return false;
      SkipSpace();
      if (!Take(':')) return false;
      SkipSpace();
      if (!Value()) return false;
      SkipSpace();
    } while (Take(','));
    --depth_;
    return Take('}');
  }

  bool Array() {
    ++at_, ++depth_;
    SkipSpace();
    if (Take(']')) return --depth_, true;
    do {
      SkipSpace();
      if (!Value()) return false;
      SkipSpace();
    } while (Take(','));
    --depth_;
    return Take(']');
  }

  bool String() {
    ++at_;
    while (at_ < text_.size()) {
      const auto c = static_cast<unsigned char>(text_[at_]);
      if (c == '"') return ++at_, true;
      if (c < 0x20) return false;
      if (c == '\\') {
        if (!Escape()) return false;
      } else if (c >= 0x80) {
        if (!Utf8()) return false;
      } else {
        ++at_;
      }
    }
    return false;
  }

  bool Escape() {
    ++at_;
    if (at_ >= text_.size()) return false;
    const char c = text_[at_++];
    if (std::strchr("\"\\/bfnrt", c) != nullptr) return true;
    if (c != 'u' || at_ + 4 > text_.size()) return false;
    for (int i = 0; i < 4; ++i) {
      if (std::strchr("0123456789abcdefABCDEF", text_[at_++]) == nullptr) return false;
    }
    return true;
  }

  bool Utf8() {
    const auto lead = static_cast<unsigned char>(text_[at_]);
    const int length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || at_ + length > text_.size()) return false;
    for (int i = 1; i < length; ++i) {
      if ((static_cast<unsigned char>(text_[at_ + i]) & 0xC0) != 0x80) return false;
    }
    at_ += length;
    return true;
  }

  bool Number() {
    const std::size_t start = at_;
    Take('-');
    if (Take('0')) {
    } else if (!Digits()) {
      return false;
    }
    if (Take('.') && !Digits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    return at_ > start;
  }

  bool Digits() {
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ > start;
  }

  bool Word(const char* word) {
    const std::size_t length = std::strlen(word);
    if (text_.compare(at_, length, word) != 0) return false;
    at_ += length;
    return true;
  }

  bool Take(char c) {
    if (at_ < text_.size() && text_[at_] == c) return ++at_, true;
    return false;
  }

  void SkipSpace() {
    while (at_ < text_.size() && std::strchr(" \t\r\n", text_[at_]) != nullptr && text_[at_] != '\0') ++at_;
  }

  const std::string& text_;
  std::size_t at_ = 0;
  int depth_ = 0;
};

}  // namespace

bool IsValidJson(const std::string& text) { return JsonWalker(text).Document(); }
