// Splitting the command line into tokens and reading the options and the two
// file names out of it, in place.
#pragma once

#include <cstdint>

#include "app/conversion_state.h"

struct Token {
  char* start;
  char* end;  // the space, tab or NUL that ended the token
  std::uint32_t length;  // 0: no token left
};

// The next token at or after `position`. Double quotes protect spaces and
// tabs and stay part of the token. Reads only.
Token NextToken(char* position);

// Sets the option flags and the two names from `commandLine` (the program's
// own name first), cutting the names out with NULs and removing their
// surrounding quotes. Ends the run with the usage or the command-line error
// text when the grammar is not met; a null text is a command line that could
// not be carried and gives the command-line error.
void ParseCommandLine(ConversionState& state, char* commandLine);
