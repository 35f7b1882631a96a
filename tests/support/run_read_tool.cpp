// lentok-read through the general tool runner, with its own program and
// locale.
#include "tests/support/run_read_tool.h"

#include <cstdlib>
#include <stdexcept>

std::string ReadToolPath() {
  const char* path = std::getenv("LENTOK_READ_EXE");
  if (path == nullptr || *path == '\0') throw std::runtime_error("LENTOK_READ_EXE is not set");
  return path;
}

namespace {

// In single quotes for the shell, each quote inside closed and reopened.
std::string ShellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::string ReadToolCommand() {
  const char* runner = std::getenv("LENTOK_RUNNER");
  const std::string program = ShellQuoted(ReadToolPath());
  return runner != nullptr && *runner != '\0' ? ShellQuoted(runner) + " " + program : program;
}

bool ReadToolIsWindowsBuild() {
  const std::string path = ReadToolPath();
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".exe") == 0;
}

ToolResult RunReadTool(const std::vector<std::string>& arguments, const ReadToolRun& run) {
  ToolOptions options;
  options.program = ReadToolPath();
  options.stdinFile = run.stdinFile;
  const std::string language = run.language;
  options.beforeExec = [language] {
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", language.c_str(), 1);
  };
  return RunTool(arguments, run.directory, options);
}
