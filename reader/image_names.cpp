// Safe image names and their numbering.
#include "reader/image_names.h"

#include <algorithm>

#include <cstring>

namespace reader {

namespace {

// Bytes from 0x80 up are kept only in the recording's own name: that name
// was a file name already, in the system's encoding, while a header's
// bytes are the tape computer's characters and would not be valid UTF-8.
bool KeptAsIs(unsigned char byte, bool keepHighBytes) {
  if (byte >= 0x80) return keepHighBytes;
  return byte >= 0x20 && byte < 0x7F && std::strchr("/\\<>:\"|?*", byte) == nullptr;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lowered(std::string text) {
  for (char& c : text) c = Lower(c);
  return text;
}

// Windows opens a device instead of a file for these, whatever the
// extension, and ignores trailing spaces before it.
bool IsDeviceName(const std::string& name) {
  std::string base = Lowered(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* device : kDevices) {
    if (base == device) return true;
  }
  const bool numbered = base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0);
  return numbered && base[3] >= '0' && base[3] <= '9';
}

bool HasExtension(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot != std::string::npos && dot > 0 && dot + 1 < name.size();
}

std::string CleanBytes(const std::string& name, bool keepHighBytes) {
  std::string clean;
  for (char c : name) clean += KeptAsIs(static_cast<unsigned char>(c), keepHighBytes) ? c : '_';
  for (std::size_t i = 0; i < clean.size() && clean[i] == '.'; ++i) clean[i] = '_';
  for (std::size_t i = clean.size(); i > 0 && (clean[i - 1] == '.' || clean[i - 1] == ' '); --i) {
    clean[i - 1] = '_';
  }
  return clean;
}

}  // namespace

std::string SafeImageName(const std::string& name) {
  std::string safe = CleanBytes(name.substr(0, kLongestImageName), false);
  if (safe.empty()) return safe;
  if (IsDeviceName(safe)) safe.insert(0, "_");
  if (!HasExtension(safe)) safe += ".rks";
  return safe;
}

std::string RecordingStem(const std::string& path) {
  if (path == "-") return "stdin";
  const std::size_t separator = path.find_last_of("/\\");
  std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  std::string stem = CleanBytes(name.substr(0, kLongestImageName), true);
  if (IsDeviceName(stem)) stem.insert(0, "_");
  return stem.empty() ? "recording" : stem;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty() || directory == ".") return name;
  const char last = directory.back();
  return last == '/' || last == '\\' ? directory + name : directory + "/" + name;
}

std::string ImageFileName(const DecodedRecord& record, const std::string& recordingName) {
  if (record.hasHeader) {
    const std::string safe = SafeImageName(record.name);
    if (!safe.empty()) return safe;
  }
  return RecordingStem(recordingName) + ".rks";
}

std::string UnreadFileName(const std::string& recordingName, double seconds) {
  const auto whole = static_cast<long long>(std::max(0.0, seconds));
  return RecordingStem(recordingName) + ".unread-" + std::to_string(whole / 60) + "m" + std::to_string(whole % 60) +
         "s.wav";
}

bool NameRegistry::Free(const std::string& name, const Reserved& reserved) const {
  return taken_.count(Lowered(name)) == 0 && !(reserved && reserved(name));
}

std::string NameRegistry::Claim(const std::string& name, const Reserved& reserved, bool* renamed) {
  if (renamed != nullptr) *renamed = false;
  if (Free(name, reserved)) {
    taken_.insert(Lowered(name));
    return name;
  }
  const std::size_t dot = name.rfind('.');
  const bool split = dot != std::string::npos && dot > 0;
  const std::string stem = split ? name.substr(0, dot) : name;
  const std::string extension = split ? name.substr(dot) : "";
  unsigned& number = nextNumber_.emplace(Lowered(name), 2).first->second;
  for (;; ++number) {
    const std::string candidate = stem + "-" + std::to_string(number) + extension;
    if (!Free(candidate, reserved)) continue;
    ++number;
    taken_.insert(Lowered(candidate));
    if (renamed != nullptr) *renamed = reserved && reserved(name);
    return candidate;
  }
}

}  // namespace reader
