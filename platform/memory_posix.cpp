// Linux maps a range of fresh memory at once when told it will be written
// (since 5.14); elsewhere, and on older kernels, the hint is dropped.
#include <sys/mman.h>

#include <cstdint>

#include "platform/memory.h"

namespace platform {

void ExpectWrites(void* start, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  // Only whole pages inside the range: the pages at its ends may hold other
  // data, which mapping them would not harm but the call must be aligned.
  constexpr std::uintptr_t kPage = 4096;
  const auto first = (reinterpret_cast<std::uintptr_t>(start) + kPage - 1) & ~(kPage - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(kPage - 1);
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
  (void)start;
  (void)bytes;
#endif
}

}  // namespace platform
