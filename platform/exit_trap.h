// A trap for the end of the process, for harnesses that drive whole runs in
// one process (the fuzz targets). Only builds that link exit_trap.cpp in
// place of the system's exit provide it.
#pragma once

#include <cstdint>

namespace platform {

// Calls `body(context)`; when it ends the process through ExitProcess, the
// process goes on instead and the status comes back here. A body that
// returns gives kNoExit. The body must not hold objects with destructors
// across the exit, since the way back skips them.
constexpr std::uint32_t kNoExit = 0xFFFFFFFFu;
std::uint32_t RunUntilExit(void (*body)(void* context), void* context);

}  // namespace platform
