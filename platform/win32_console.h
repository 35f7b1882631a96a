// How the Windows backend presents the stored console texts (code page 866,
// CR LF). Kept apart from the calls that write them so that the choice and
// the conversion can be tested on their own.
#pragma once

#include <cstdint>

namespace platform {

constexpr std::uint32_t kStoredTextCodePage = 866;

// The stored bytes go out as they are to files and pipes, and to a console
// that shows code page 866. Any other console (most of them, and every
// UTF-8 one) would show them as garbage, so there they are converted.
bool ConsoleNeedsConversion(bool isConsole, std::uint32_t outputCodePage);

// Converts `count` bytes of stored text to UTF-16 at `destination`, which
// holds `capacity` units; one byte gives one unit in code page 866, CR LF
// kept. Returns the units produced: 0 for an empty text, one that does not
// fit, or a failed conversion.
std::uint32_t StoredTextToWide(const char* text, std::uint32_t count, wchar_t* destination,
                               std::uint32_t capacity);

}  // namespace platform
