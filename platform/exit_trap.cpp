// ExitProcess for the fuzzing build: instead of ending the process it jumps
// back into RunUntilExit, so one process can go through many whole runs,
// failure exits included, without the code under test knowing.
#include "platform/exit_trap.h"

#include <csetjmp>
#include <cstdlib>

#include "platform/platform.h"

namespace platform {
namespace {

std::jmp_buf* trap = nullptr;
std::uint32_t trappedStatus = 0;

}  // namespace

std::uint32_t RunUntilExit(void (*body)(void* context), void* context) {
  std::jmp_buf here;
  std::jmp_buf* const outer = trap;
  trap = &here;
  std::uint32_t status = kNoExit;
  if (setjmp(here) == 0) {
    body(context);
  } else {
    status = trappedStatus;
  }
  trap = outer;
  return status;
}

void ExitProcess(std::uint32_t status) {
  // Outside a trap there is nowhere to go back to: end as the real one does.
  if (trap == nullptr) std::_Exit(static_cast<int>(status));
  trappedStatus = status;
  std::longjmp(*trap, 1);
}

}  // namespace platform
