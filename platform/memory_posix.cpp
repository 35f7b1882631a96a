// Linux maps a range of fresh memory at once when told it will be written
// (since 5.14); elsewhere, and on older kernels, the hint is dropped.
#include <sys/mman.h>

#include <cstdint>

#include "platform/memory.h"

namespace platform {

void ExpectWrites(void* start, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  // Every page the range touches, the ragged ends included: the call must
  // be aligned, and mapping the rest of a page at an end changes nothing in
  // what it holds. Touched one by one instead, each page would cost a fault
  // twenty times as long as its share of the call.
  constexpr std::uintptr_t kPage = 4096;
  if (bytes == 0) return;
  const auto first = reinterpret_cast<std::uintptr_t>(start) & ~(kPage - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(start) + bytes + kPage - 1) & ~(kPage - 1);
  madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
  (void)start;
  (void)bytes;
#endif
}

}  // namespace platform
