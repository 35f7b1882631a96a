// The name on tape of an image's file.
#include "tape/tape_name.h"

std::string TapeNameOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\");
  std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}
