// Names for the image files a read writes: made safe from whatever bytes a
// tape header holds, and numbered when a name comes again or would land on
// a file the run must not write.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "reader/decoded_record.h"

namespace reader {

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

// The file name of the record's image: the header's name made safe, with
// .rks added when it has no extension; without a header, the stem of
// `recordingName` with .rks. Numbering of repeated names is NameRegistry's.
std::string ImageFileName(const DecodedRecord& record, const std::string& recordingName);

// The file name signal no record explains is kept under: the stem of
// `recordingName`, then where the stretch begins, in whole minutes and
// seconds ("tape.unread-0m16s.wav").
std::string UnreadFileName(const std::string& recordingName, double seconds);

// The names given out in one run. The same name again, or one that
// `reserved` refuses, gets -2, -3, ... before its extension; names that
// differ only in upper and lower case are the same name, as they are on
// Windows. Each stem remembers the next number to try, so a run of many
// records of one name costs no more than one of as many names.
class NameRegistry {
 public:
  using Reserved = std::function<bool(const std::string& name)>;

  // The name to use for `name`; `reserved` (may be empty) says which free
  // names must not be used all the same. `renamed` tells whether the name
  // given differs from `name`.
  std::string Claim(const std::string& name, const Reserved& reserved = {}, bool* renamed = nullptr);

 private:
  bool Free(const std::string& name, const Reserved& reserved) const;

  std::unordered_set<std::string> taken_;             // lower-cased
  std::unordered_map<std::string, unsigned> nextNumber_;  // lower-cased stem and extension
};

}  // namespace reader
