// Runs the built lentok-read (LENTOK_READ_EXE, through LENTOK_RUNNER when
// that is set) as a separate process, in a chosen language.
#pragma once

#include <string>
#include <vector>

#include "tests/support/run_tool.h"

struct ReadToolRun {
  std::string directory;  // the working directory; empty: the current one
  std::string stdinFile;  // standard input; empty: /dev/null
  // LANG for the tool, with LC_ALL and LC_MESSAGES unset.
  std::string language = "C.UTF-8";
};

std::string ReadToolPath();

// The tool as a shell command: the runner (LENTOK_RUNNER, such as wine64)
// and the program, each quoted, for a pipeline.
std::string ReadToolCommand();

// True when the tool under test is a Windows build (a .exe).
bool ReadToolIsWindowsBuild();

ToolResult RunReadTool(const std::vector<std::string>& arguments, const ReadToolRun& run = {});
