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
