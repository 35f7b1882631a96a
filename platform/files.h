// The operating-system services lentok-read relies on: its arguments in
// UTF-8, files read in blocks and told apart by identity, images written
// under a temporary name and moved into place whole, the user's language,
// console-aware writing of UTF-8 text, and the signals that would otherwise
// end the program mid-write or leave a read blocked. Each
// system has one backend (files_posix.cpp, files_win32.cpp) that the build
// picks. Paths and texts are UTF-8 everywhere above this layer; the Windows
// backend converts them to and from the wide-character calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Why a file operation failed, in the terms the user is told.
enum class FileError {
  kNone,
  kNotFound,       // no such file or directory
  kAccessDenied,   // not permitted
  kAlreadyExists,  // exclusive creation found a file there
  kIsDirectory,    // a directory where a file was expected
  kNoSpace,        // the device or a quota is full, or the file-size limit is reached
  kBadName,        // the system cannot take the name (e.g. not valid UTF-8)
  kOther,          // any other failure of the system call
};

// The program's arguments, the program name left out, as UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// What makes a file the same file under any name: the device (or volume)
// and the file's number on it.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
};
inline bool operator==(const FileIdentity& a, const FileIdentity& b) {
  return a.device == b.device && a.file == b.file;
}
inline bool operator!=(const FileIdentity& a, const FileIdentity& b) { return !(a == b); }

// The identity of what `path` names, links followed; nullopt when nothing
// is there or it cannot be examined.
std::optional<FileIdentity> IdentityOf(const std::string& path);
// The identity of what standard input reads; nullopt for a terminal or
// console, and wherever the system cannot tell.
std::optional<FileIdentity> StandardInputIdentity();

// Where this system splits a path into its directories and final name:
// '/', and on Windows '\' too.
const char* PathSeparators();

// The final component of `path`, and the directory before it ("." when it
// has none), split where this system splits paths.
std::string FinalComponent(const std::string& path);
std::string DirectoryOf(const std::string& path);

// Whether two paths, either of which may not exist yet, name one place:
// the same file, or the same name in the same directory. Names are compared
// case aside, as Windows compares them: a name that differs only so counts
// as the same place rather than risk a file.
bool SamePlace(const std::string& a, const std::string& b);

// A file or standard input, read in blocks. Move-only; closes what it opened.
class InputFile {
 public:
  // Opens `path` for reading; on failure the object is closed and `error`
  // tells why.
  static InputFile Open(const std::string& path, FileError& error);
  // Standard input, in binary mode; not closed by the object.
  static InputFile StandardInput();

  InputFile() = default;
  ~InputFile();
  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool IsOpen() const { return handle_ != kClosed; }

  // Reads up to `capacity` bytes; returns how many, 0 at the end of the
  // input or on failure (then `error` is set). Once a stop signal has been
  // caught (InstallStopSignals), a read of a pipe, FIFO or terminal returns
  // 0 with no error at once, even one already waiting on another thread:
  // the caller tells that from the end by CaughtStopSignal. A regular file
  // never blocks and is read on as usual. One thread at a time reads input
  // that may block.
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity, FileError& error);

 private:
  static constexpr std::intptr_t kClosed = -1;
  InputFile(std::intptr_t handle, bool owned, bool mayBlock)
      : handle_(handle), owned_(owned), mayBlock_(mayBlock) {}
  void Close();

  std::intptr_t handle_ = kClosed;
  bool owned_ = false;
  bool mayBlock_ = false;  // not a regular file: a read may wait for a writer
};

// A new file being written, always under a fresh hidden temporary name in
// the directory of its final one, so that the final name holds either the
// whole file or nothing of it. Move-only; a file dropped without Commit, or
// whose Write or Commit failed, is closed and its temporary file removed.
class OutputFile {
 public:
  // For `path`, failing with kAlreadyExists when anything is there now; its
  // Commit refuses too, with kAlreadyExists, if something has appeared
  // there since, so that nothing is ever clobbered, even by a race with
  // another program.
  static OutputFile CreateNew(const std::string& path, FileError& error);
  // For `path`, which Commit replaces when something is there.
  static OutputFile CreateReplacing(const std::string& path, FileError& error);

  OutputFile() = default;
  ~OutputFile();
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool IsOpen() const { return handle_ != kClosed; }

  // Writes every byte or fails; after a failure the file is discarded, and
  // Write and Commit return that failure again.
  FileError Write(const std::uint8_t* bytes, std::size_t count);
  // Writes over bytes already written, `offset` from the start: a header
  // whose sizes are known only at the end. Only Commit may follow it.
  FileError WriteAt(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count);
  // Closes the file and moves it to its final name. After a failure nothing
  // of it is left.
  FileError Commit();

 private:
  static constexpr std::intptr_t kClosed = -1;
  void Discard();

  std::intptr_t handle_ = kClosed;
  std::string writtenPath_;  // the temporary file
  std::string finalPath_;    // where Commit moves it
  bool replacing_ = false;   // Commit may replace what is at finalPath_
  FileError failure_ = FileError::kNone;  // the failure that discarded it
};

// True when `path` names an existing directory.
bool IsDirectory(const std::string& path);

// The user's language is Russian: POSIX by the locale variables, Windows by
// the user's interface language.
bool UserLanguageIsRussian();

// The POSIX rule: the first non-empty of LC_ALL, LC_MESSAGES and LANG
// decides; a value starting with "ru" means Russian. Null is empty.
bool LocaleVariablesMeanRussian(const char* lcAll, const char* lcMessages, const char* lang);

enum class StandardStream { kOutput, kError };

// Writes UTF-8 text: as bytes to files and pipes, and as characters to a
// console that would not show UTF-8 bytes. False when it could not all be
// written (a closed pipe, a full device, no such stream), so that a report
// that never arrived is not taken for one that did.
bool WriteText(StandardStream stream, const std::string& utf8);

// A write that would take a file past the process's file-size limit then
// fails with kNoSpace instead of ending the program, which would leave
// what it was writing behind. Nothing to do where there is no such signal.
void IgnoreFileSizeSignal();

// A write to a pipe whose reader has gone then fails (WriteText returns
// false) instead of ending the program. Nothing to do where there is no
// such signal.
void IgnoreBrokenPipe();

// Catches the signals that ask the program to stop (POSIX: SIGINT and
// SIGTERM; Windows: Ctrl-C, Ctrl-Break and the console's closing), so
// that it can finish what it writes and remove what it leaves unfinished.
// Only the first is caught: a second one ends the program the usual way.
// False when they could not be installed.
bool InstallStopSignals();

// 0, or the number of the first stop signal caught: SIGINT (2) or SIGTERM
// (15); on Windows 2 for Ctrl-C and 15 for the others.
int CaughtStopSignal();

}  // namespace platform
