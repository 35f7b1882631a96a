// A whole run of lentok-side: the command line, the images read and checked,
// the side planned and written through a temporary file moved into place,
// the label track beside it, and the table of contents. Output goes
// through the streams it is given, so that nothing here prints directly.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "side/texts.h"

namespace side {

struct SideStreams {
  std::function<bool(const std::string&)> out;  // the table of contents; false when it could not be written
  std::function<void(const std::string&)> err;  // warnings and failures, a line each
};

constexpr int kExitWritten = 0;
constexpr int kExitFailure = 1;

// Runs the tool on `arguments` (the program name left out); returns the
// exit status: 0, 1, or 128 plus the stop signal that ended it.
int RunSideTool(const std::vector<std::string>& arguments, Language language, const SideStreams& streams);

// The program's entry: the platform's arguments, language and console.
int SideToolMain(int argc, char** argv);

}  // namespace side
