// Runs the built tool as a separate process and captures what it does.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct ToolResult {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  int signal = 0;   // the signal that ended it, if one did
  std::string out;
  std::string err;
};

struct ToolOptions {
  // When set, standard output goes to this file (opened for writing,
  // not truncated) instead of being captured.
  std::string stdoutFile;
  // Runs in the child just before exec, e.g. to set a resource limit.
  std::function<void()> beforeExec;
  // When set, the program run instead of ToolPath(), e.g. a copy of it.
  std::string program;
  // When set, standard input comes from this file instead of /dev/null.
  std::string stdinFile;
  // Runs the program itself, never through LENTOK_RUNNER: a native helper
  // (such as the Linux lentok making recordings) beside a Windows build
  // under test.
  bool native = false;
};

// The tool under test: LENTOK_EXE, run through LENTOK_RUNNER when that is
// set (an emulator for a cross build).
std::string ToolPath();

// True when the tool under test is a Windows build (a .exe), whose file
// names, command line and console follow Windows rules.
bool TestingWindowsBuild();

// Runs the tool with `arguments` (not including the program name) in the
// working directory `directory` (empty: the current one).
ToolResult RunTool(const std::vector<std::string>& arguments, const std::string& directory = "",
                   const ToolOptions& options = {});

// Runs the tool with a terminal as its standard input, output and error, and
// returns in `out` what appeared on that terminal, both streams together.
// The terminal speaks UTF-8 (LC_ALL=C.UTF-8 for the tool).
ToolResult RunToolOnTerminal(const std::vector<std::string>& arguments,
                             const std::string& directory = "");
