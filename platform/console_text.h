// Presenting the stored console texts (code page 866, CR LF) on a terminal
// that speaks UTF-8 with LF line ends.
#pragma once

#include <cstddef>

// Converts `length` bytes of code page 866 text to UTF-8 at `destination`,
// dropping the CR of every CR LF pair. `destination` needs room for three
// bytes per input byte. Returns the number of bytes produced.
std::size_t Cp866ToUtf8(const char* text, std::size_t length, char* destination);
