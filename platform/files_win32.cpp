// The Windows backend of lentok-read's file services: the wide-character
// calls, with every path and text converted from and to UTF-8 here, so that
// names in any script survive whatever the ANSI code page is.
#include "platform/files.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

namespace platform {

namespace {

constexpr LANGID kPrimaryLanguageMask = 0x3FF;

FileError ErrorFromLastError() {
  switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
      return FileError::kNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return FileError::kAccessDenied;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return FileError::kAlreadyExists;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return FileError::kNoSpace;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
      return FileError::kBadName;
    default:
      return FileError::kOther;
  }
}

// Empty on a text that is not valid UTF-8 (or is empty).
std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                           static_cast<int>(utf8.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        wide.data(), length);
  return wide;
}

std::string Utf8(const wchar_t* wide) {
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string utf8(static_cast<std::size_t>(length - 1), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t Stored(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

std::string DirectoryOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\:");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

HANDLE CreateForWriting(const std::wstring& path, FileError& error) {
  if (path.empty()) {
    error = FileError::kBadName;
    return INVALID_HANDLE_VALUE;
  }
  const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  error = handle == INVALID_HANDLE_VALUE ? ErrorFromLastError() : FileError::kNone;
  return handle;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  // The arguments main was given went through the ANSI code page and may
  // have lost characters; the wide command line has them all.
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  if (wide == nullptr) {
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
  }
  for (int i = 1; i < count; ++i) arguments.push_back(Utf8(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

// --- InputFile ---

InputFile InputFile::Open(const std::string& path, FileError& error) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) {
    error = FileError::kBadName;
    return InputFile();
  }
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error = FileError::kIsDirectory;
    return InputFile();
  }
  const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = ErrorFromLastError();
    return InputFile();
  }
  error = FileError::kNone;
  return InputFile(Stored(handle), true);
}

// ReadFile on the standard handle reads bytes as they are: no text mode of
// the C runtime stands between, so nothing needs switching to binary.
InputFile InputFile::StandardInput() {
  return InputFile(Stored(::GetStdHandle(STD_INPUT_HANDLE)), false);
}

void InputFile::Close() {
  if (handle_ != kClosed && owned_) ::CloseHandle(Handle(handle_));
  handle_ = kClosed;
}

std::size_t InputFile::Read(std::uint8_t* buffer, std::size_t capacity, FileError& error) {
  error = FileError::kNone;
  const HANDLE handle = Handle(handle_);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return 0;  // no standard input
  DWORD got = 0;
  const DWORD asked = capacity > 0x10000000u ? 0x10000000u : static_cast<DWORD>(capacity);
  if (::ReadFile(handle, buffer, asked, &got, nullptr)) return got;
  // A pipe whose writer has gone has simply ended.
  if (::GetLastError() == ERROR_BROKEN_PIPE) return 0;
  error = ErrorFromLastError();
  return 0;
}

// --- OutputFile ---

OutputFile OutputFile::CreateNew(const std::string& path, FileError& error) {
  OutputFile file;
  const HANDLE handle = CreateForWriting(Wide(path), error);
  if (handle == INVALID_HANDLE_VALUE) return file;
  file.handle_ = Stored(handle);
  file.writtenPath_ = path;
  return file;
}

OutputFile OutputFile::CreateReplacing(const std::string& path, FileError& error) {
  // A name nobody else holds, in the same directory so that the final move
  // stays on one volume; CREATE_NEW settles any race for it.
  const std::string directory = DirectoryOf(path);
  const DWORD process = ::GetCurrentProcessId();
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = directory + ".lentok-read-" + std::to_string(process) + "-" +
                                  std::to_string(::GetTickCount() + attempt) + ".tmp";
    const HANDLE handle = CreateForWriting(Wide(candidate), error);
    if (handle != INVALID_HANDLE_VALUE) {
      OutputFile file;
      file.handle_ = Stored(handle);
      file.writtenPath_ = candidate;
      file.finalPath_ = path;
      return file;
    }
    if (error != FileError::kAlreadyExists) return OutputFile();
  }
  return OutputFile();
}

FileError OutputFile::Write(const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const DWORD piece = count > 0x10000000u ? 0x10000000u : static_cast<DWORD>(count);
    DWORD put = 0;
    if (!::WriteFile(Handle(handle_), bytes, piece, &put, nullptr) || put == 0) {
      return ErrorFromLastError();
    }
    bytes += put;
    count -= put;
  }
  return FileError::kNone;
}

FileError OutputFile::Commit() {
  const HANDLE handle = Handle(handle_);
  handle_ = kClosed;
  FileError error = FileError::kNone;
  if (!::CloseHandle(handle)) error = ErrorFromLastError();
  const std::wstring written = Wide(writtenPath_);
  if (error == FileError::kNone && !finalPath_.empty() &&
      !::MoveFileExW(written.c_str(), Wide(finalPath_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = ErrorFromLastError();
  }
  if (error != FileError::kNone) ::DeleteFileW(written.c_str());
  return error;
}

void OutputFile::Discard() {
  if (handle_ == kClosed) return;
  ::CloseHandle(Handle(handle_));
  ::DeleteFileW(Wide(writtenPath_).c_str());
  handle_ = kClosed;
}

// --- The rest ---

bool IsDirectory(const std::string& path) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) return false;
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool UserLanguageIsRussian() {
  return (::GetUserDefaultUILanguage() & kPrimaryLanguageMask) == LANG_RUSSIAN;
}

void WriteText(StandardStream stream, const std::string& utf8) {
  if (utf8.empty()) return;
  const HANDLE handle =
      ::GetStdHandle(stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode)) {
    // A console shows characters, whatever its code page.
    const std::wstring wide = Wide(utf8);
    DWORD written = 0;
    ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  const char* bytes = utf8.data();
  std::size_t left = utf8.size();
  while (left > 0) {
    DWORD put = 0;
    if (!::WriteFile(handle, bytes, static_cast<DWORD>(left), &put, nullptr) || put == 0) return;
    bytes += put;
    left -= put;
  }
}

}  // namespace platform
