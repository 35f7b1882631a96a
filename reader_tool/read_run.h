// A whole run of lentok-read: the command line, then either every recording
// read into images or one image verified against a recording. Output goes
// through the streams it is given, so that nothing here prints directly.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "reader_tool/record_report.h"

namespace reader_tool {

struct ToolStreams {
  std::function<bool(const std::string&)> out;  // the report; false when it could not be written
  std::function<void(const std::string&)> err;  // failures, a line each
};

// Runs the tool on `arguments` (the program name left out); returns the exit
// status.
int RunReadTool(const std::vector<std::string>& arguments, Language language,
                const ToolStreams& streams);

// The program's entry: the platform's arguments, language and console.
int ToolMain(int argc, char** argv);

}  // namespace reader_tool
