// What opening one of the audio libraries gives: its functions, or why
// there are none.
#pragma once

#include <memory>
#include <string>

namespace decoding {

// A library's functions, usable for as long as `functions` is held; null,
// with `problem` saying why, when the library could not be opened.
template <typename Functions>
struct AudioLibrary {
  std::shared_ptr<const Functions> functions;
  std::string problem;
};

}  // namespace decoding
