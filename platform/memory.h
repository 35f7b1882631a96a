// A hint about memory the program is about to fill. A system that maps
// fresh memory a page at a time, as each page is first touched, can map a
// whole buffer at once instead, which costs far less where every such
// touch is expensive (in a virtual machine, say: there a fault costs twenty
// times a page's share of the one call). The decoder gives it for a
// record's buffers once it knows the record's length, and for the buffers
// it keeps; lentok-read for each new block it reads a file into.
#pragma once

#include <cstddef>
#include <vector>

namespace platform {

// The memory from `start` on, `bytes` long, will be written soon. Only a
// hint: nothing is written, and where the system has no such call it does
// nothing.
void ExpectWrites(void* start, std::size_t bytes);

// Room in `buffer` for `count` elements in all, which will be written soon:
// where it must grow, its new memory is mapped in one call. For a buffer
// that takes its size once.
template <typename T>
void ReserveToWrite(std::vector<T>& buffer, std::size_t count) {
  if (buffer.capacity() >= count) return;
  buffer.reserve(count);
  ExpectWrites(buffer.data() + buffer.size(), (buffer.capacity() - buffer.size()) * sizeof(T));
}

// The same, and `buffer` then holds `count` elements, the new ones zero:
// the hint comes before the zeros first touch the memory.
template <typename T>
void ResizeToWrite(std::vector<T>& buffer, std::size_t count) {
  ReserveToWrite(buffer, count);
  buffer.resize(count);
}

// The same as ReserveToWrite for a buffer filled again and again with a few more or fewer:
// where it must grow it takes a quarter to spare, so that it seldom grows
// again.
template <typename T>
void GrowToWrite(std::vector<T>& buffer, std::size_t count) {
  if (buffer.capacity() < count) ReserveToWrite(buffer, count + count / 4);
}

}  // namespace platform
