// Ending the process on POSIX systems. Kept apart from the other services so
// that the fuzzing build can put a trap in its place (exit_trap.cpp).
#include <unistd.h>

#include "platform/platform.h"

namespace platform {

void ExitProcess(std::uint32_t status) { _exit(static_cast<int>(status)); }

}  // namespace platform
