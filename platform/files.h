// The operating-system services lentok-read relies on: its arguments in
// UTF-8, files read in blocks, images created exclusively or renamed into
// place, the user's language and console-aware writing of UTF-8 text. Each
// system has one backend (files_posix.cpp, files_win32.cpp) that the build
// picks. Paths and texts are UTF-8 everywhere above this layer; the Windows
// backend converts them to and from the wide-character calls.
#pragma once

#include <cstddef>
#include <cstdint>
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
  kNoSpace,        // the device or a quota is full
  kBadName,        // the system cannot take the name (e.g. not valid UTF-8)
  kOther,          // any other failure of the system call
};

// The program's arguments, the program name left out, as UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

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
  // input or on failure (then `error` is set).
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity, FileError& error);

 private:
  static constexpr std::intptr_t kClosed = -1;
  InputFile(std::intptr_t handle, bool owned) : handle_(handle), owned_(owned) {}
  void Close();

  std::intptr_t handle_ = kClosed;
  bool owned_ = false;
};

// A new file being written. Move-only; a file dropped without Commit is
// closed and, when it was a temporary one, removed.
class OutputFile {
 public:
  // Creates `path`, failing with kAlreadyExists when anything is there, so
  // that nothing is ever clobbered, even by a race with another program.
  static OutputFile CreateNew(const std::string& path, FileError& error);
  // Creates a fresh temporary file in the directory of `path`, to be renamed
  // over `path` by Commit.
  static OutputFile CreateReplacing(const std::string& path, FileError& error);

  OutputFile() = default;
  ~OutputFile();
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool IsOpen() const { return handle_ != kClosed; }

  // Writes every byte or fails.
  FileError Write(const std::uint8_t* bytes, std::size_t count);
  // Closes the file and, for a replacing one, renames it into place. After a
  // failure nothing of it is left.
  FileError Commit();

 private:
  static constexpr std::intptr_t kClosed = -1;
  void Discard();

  std::intptr_t handle_ = kClosed;
  std::string writtenPath_;  // the file as created
  std::string finalPath_;    // where it goes on Commit; empty: it is there
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
// console that would not show UTF-8 bytes. Failures are not reported: there
// is nowhere left to report them.
void WriteText(StandardStream stream, const std::string& utf8);

}  // namespace platform
