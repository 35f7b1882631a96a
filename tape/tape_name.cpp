// The name on tape of an image's file.
#include "tape/tape_name.h"

std::string TapeNameOf(const std::string& fileName) {
  std::string name = fileName;
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}
