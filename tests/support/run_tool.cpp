// Starting the tool with fork and exec; its output is collected through
// files so that a full pipe can never stall it.
#include "tests/support/run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "tests/support/test_files.h"

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string Slurp(const std::string& path) {
  const Bytes bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> ToolCommand(const std::vector<std::string>& arguments,
                                     const std::string& program = "", bool native = false) {
  std::vector<std::string> command;
  const std::string runner = Environment("LENTOK_RUNNER");
  if (!runner.empty() && !native) command.push_back(runner);
  command.push_back(program.empty() ? ToolPath() : program);
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

[[noreturn]] void ExecCommand(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

int WaitFor(pid_t child) {
  int wstatus = 0;
  while (waitpid(child, &wstatus, 0) < 0 && errno == EINTR) {
  }
  return wstatus;
}

void StoreEnding(int wstatus, ToolResult& result) {
  if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) result.signal = WTERMSIG(wstatus);
}

// Reads the terminal until every writer has closed it, or, once the tool
// has ended, until nothing more comes for a while: a wine server started by
// this run keeps the terminal open for seconds after the program has gone,
// though everything the program wrote is there by the time it ends.
std::string ReadTerminalUntilQuiet(int terminal, pid_t child, int& wstatus) {
  std::string screen;
  bool ended = false;
  for (;;) {
    pollfd ready{terminal, POLLIN, 0};
    if (poll(&ready, 1, ended ? 500 : 1000) > 0) {
      char chunk[4096];
      const ssize_t got = read(terminal, chunk, sizeof chunk);
      if (got > 0) {
        screen.append(chunk, static_cast<std::size_t>(got));
        continue;
      }
      if (got < 0 && errno == EINTR) continue;
      break;  // every writer has closed the terminal
    }
    if (ended) break;
    ended = waitpid(child, &wstatus, WNOHANG) == child;
  }
  if (!ended) wstatus = WaitFor(child);
  return screen;
}

[[noreturn]] void ExecTool(const std::vector<std::string>& command, const std::string& directory,
                           const std::string& outPath, const std::string& errPath,
                           const ToolOptions& options) {
  const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | (options.stdoutFile.empty() ? O_TRUNC : 0), 0644);
  const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int in = open(options.stdinFile.empty() ? "/dev/null" : options.stdinFile.c_str(), O_RDONLY);
  if (out < 0 || err < 0 || in < 0) _exit(126);
  dup2(in, 0);
  dup2(out, 1);
  dup2(err, 2);
  if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(126);
  if (options.beforeExec) options.beforeExec();
  ExecCommand(command);
}

}  // namespace

std::string ToolPath() {
  const std::string path = Environment("LENTOK_EXE");
  if (path.empty()) throw std::runtime_error("LENTOK_EXE is not set");
  return path;
}

bool TestingWindowsBuild() {
  const std::string path = Environment("LENTOK_EXE");
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".exe") == 0;
}

ToolResult RunTool(const std::vector<std::string>& arguments, const std::string& directory,
                   const ToolOptions& options) {
  TempDir capture;
  const std::string outPath = options.stdoutFile.empty() ? capture / "out" : options.stdoutFile;
  const std::string errPath = capture / "err";

  const std::vector<std::string> command = ToolCommand(arguments, options.program, options.native);
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) ExecTool(command, directory, outPath, errPath, options);

  ToolResult result;
  StoreEnding(WaitFor(child), result);
  if (options.stdoutFile.empty()) result.out = Slurp(outPath);
  result.err = Slurp(errPath);
  return result;
}

ToolResult RunToolOnTerminal(const std::vector<std::string>& arguments,
                             const std::string& directory) {
  const std::vector<std::string> command = ToolCommand(arguments);
  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child < 0) throw std::runtime_error("forkpty failed");
  if (child == 0) {
    if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(126);
    setenv("LC_ALL", "C.UTF-8", 1);
    ExecCommand(command);
  }
  ToolResult result;
  int wstatus = 0;
  result.out = ReadTerminalUntilQuiet(terminal, child, wstatus);
  close(terminal);
  StoreEnding(wstatus, result);
  return result;
}
