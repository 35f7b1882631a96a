// Room in a vector for what is about to be written into it, in the same
// plain form on every system: a resize, or a reserve with room to spare,
// with no hint to the system about the memory.
#pragma once

#include <cstddef>
#include <vector>

namespace platform {

// `buffer` holds `count` elements, the new ones zero.
template <typename T>
void ResizeToWrite(std::vector<T>& buffer, std::size_t count) {
  buffer.resize(count);
}

// Room for `count` elements in a buffer filled again and again with a few
// more or fewer: where it must grow it takes a quarter to spare, so that it
// seldom grows again.
template <typename T>
void GrowToWrite(std::vector<T>& buffer, std::size_t count) {
  if (buffer.capacity() < count) buffer.reserve(count + count / 4);
}

}  // namespace platform
