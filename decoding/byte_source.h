// The input of a decoder, as a pull: whatever holds the recording's bytes
// (a file, standard input, a buffer in memory) hands them out in order.
// Nothing here seeks, so the same decoder reads files and pipes alike.
#pragma once

#include <cstddef>
#include <cstdint>

namespace decoding {

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // Copies up to `capacity` next bytes into `buffer` and returns how many;
  // 0 at the end of the input. A failure of the underlying input also
  // returns 0 and sets `failed`.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t capacity, bool& failed) = 0;
};

}  // namespace decoding
