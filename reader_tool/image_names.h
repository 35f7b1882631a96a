// Names for the image files lentok-read writes: made safe from whatever
// bytes a tape header holds, and numbered when a name comes again.
#pragma once

#include <set>
#include <string>

namespace reader_tool {

// Longest name kept from a header, before .rks or a number is added; file
// systems stop at 255 bytes.
constexpr std::size_t kLongestImageName = 200;

// `name` as a file name that stays inside its directory on every system:
// path separators, control and other non-ASCII bytes and the characters
// Windows forbids become '_'; so do leading dots (no "." or "..", no
// hidden files) and trailing dots and spaces (which Windows drops); a
// Windows device name (CON, NUL, COM1, ...) gets a '_' in front; over-long
// names are cut; ".rks" is added when there is no extension. An empty
// result is "".
std::string SafeImageName(const std::string& name);

// The final component of `path` without its extension ("stdin" for "-"),
// made safe the same way except that bytes from 0x80 up (the system's own
// encoding of that name) are kept; "recording" when nothing is left.
std::string RecordingStem(const std::string& path);

// `directory` and `name` joined ("" or "." leave the name alone).
std::string JoinPath(const std::string& directory, const std::string& name);

// The names given out in one run. The same name again gets -2, -3, ...
// before its extension; names that differ only in upper and lower case are
// the same name, as they are on Windows.
class NameRegistry {
 public:
  std::string Claim(const std::string& name);

 private:
  std::set<std::string> taken_;  // lower-cased
};

}  // namespace reader_tool
