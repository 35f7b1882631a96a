// The Windows console presentation of the stored texts: when to convert, and
// the conversion itself through the system's own code page 866 table.
#include "platform/win32_console.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform {

bool ConsoleNeedsConversion(bool isConsole, std::uint32_t outputCodePage) {
  return isConsole && outputCodePage != kStoredTextCodePage;
}

std::uint32_t StoredTextToWide(const char* text, std::uint32_t count, wchar_t* destination,
                               std::uint32_t capacity) {
  if (count == 0 || count > capacity) return 0;
  const int produced = ::MultiByteToWideChar(kStoredTextCodePage, 0, text, static_cast<int>(count),
                                             destination, static_cast<int>(capacity));
  return produced > 0 ? static_cast<std::uint32_t>(produced) : 0;
}

}  // namespace platform
