// The Windows backend of lentok-read's file services: the wide-character
// calls, with every path and text converted from and to UTF-8 here, so that
// names in any script survive whatever the ANSI code page is; and the
// console's control handler with the little state it shares with the reads
// it ends.
#include "platform/files.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>

namespace platform {

const char* PathSeparators() { return "/\\"; }


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
    case ERROR_FILE_TOO_LARGE:
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

std::optional<FileIdentity> IdentityOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!::GetFileInformationByHandle(handle, &information)) return std::nullopt;
  return FileIdentity{information.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

// Anything but a file on a disk may keep a read waiting for a writer.
bool MayBlock(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_DISK;
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

// The temporary file an image is written to: a dot name beside its final
// one so that the move there stays on one volume, and named after it so
// that one left by a crash says whose it was. The final name is cut short
// enough, on a character's boundary, for the temporary one to fit the
// longest name a directory takes (counted in UTF-8 bytes, never fewer than
// the UTF-16 units the system counts). CREATE_NEW settles any race.
HANDLE CreateTemporaryBeside(const std::string& path, std::string& temporary, FileError& error) {
  const std::size_t separator = path.find_last_of("/\\:");
  const std::size_t baseStart = separator == std::string::npos ? 0 : separator + 1;
  constexpr std::size_t kLongestName = 255;
  constexpr std::size_t kAdded = 1 + 1 + 6 + 4;  // ".", ".XXXXXX", ".tmp"
  std::size_t baseLength = path.size() - baseStart;
  if (baseLength > kLongestName - kAdded) {
    baseLength = kLongestName - kAdded;
    while (baseLength > 0 && (static_cast<unsigned char>(path[baseStart + baseLength]) & 0xC0) == 0x80) {
      --baseLength;
    }
  }
  const std::string stem = path.substr(0, baseStart) + "." + path.substr(baseStart, baseLength) + ".";
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  std::uint32_t seed = static_cast<std::uint32_t>(now.QuadPart) ^ (::GetCurrentProcessId() * 2654435761u);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    char unique[7];
    std::snprintf(unique, sizeof unique, "%06x", static_cast<unsigned>(seed & 0xFFFFFFu));
    seed = seed * 1664525u + 1013904223u;
    temporary = stem + unique + ".tmp";
    const HANDLE handle = CreateForWriting(Wide(temporary), error);
    if (handle != INVALID_HANDLE_VALUE || error != FileError::kAlreadyExists) return handle;
  }
  return INVALID_HANDLE_VALUE;
}

// --- What the console's control handler shares with the reads ---
//
// The handler runs on a thread of its own that the system starts, so this
// state cannot live in an object the program holds. A read that may block
// names its thread here, so that the handler can cancel the wait.

std::atomic<int> caughtStopSignal{0};
SRWLOCK blockedReaderLock = SRWLOCK_INIT;
HANDLE blockedReader = nullptr;  // the thread in a read that may block; under the lock

// Names the calling thread as the one in a read that may block, for as
// long as the object lives.
class BlockedReader {
 public:
  BlockedReader() {
    HANDLE self = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &self, 0,
                           FALSE, DUPLICATE_SAME_ACCESS)) {
      return;
    }
    ::AcquireSRWLockExclusive(&blockedReaderLock);
    blockedReader = self;
    ::ReleaseSRWLockExclusive(&blockedReaderLock);
  }
  ~BlockedReader() {
    ::AcquireSRWLockExclusive(&blockedReaderLock);
    const HANDLE self = blockedReader;
    blockedReader = nullptr;
    ::ReleaseSRWLockExclusive(&blockedReaderLock);
    if (self != nullptr) ::CloseHandle(self);
  }
  BlockedReader(const BlockedReader&) = delete;
  BlockedReader& operator=(const BlockedReader&) = delete;
};

// Cancels the read that may block until its thread has left it: the reader
// may have named itself but not yet begun to wait, and the cancel finds
// nothing to end until it has; once it sees the stop it waits no more.
void CancelBlockedRead() {
  for (;;) {
    ::AcquireSRWLockShared(&blockedReaderLock);
    const HANDLE reader = blockedReader;
    if (reader != nullptr) ::CancelSynchronousIo(reader);
    ::ReleaseSRWLockShared(&blockedReaderLock);
    if (reader == nullptr) return;
    ::Sleep(1);
  }
}

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  int none = 0;
  // A second stop is a user who will not wait: the system's own handler
  // ends the program.
  if (!caughtStopSignal.compare_exchange_strong(none, event == CTRL_C_EVENT ? 2 : 15)) return FALSE;
  CancelBlockedRead();
  // The system ends the program as soon as the handler returns from a
  // console's closing; waiting here gives it the time the system allows to
  // finish what it writes.
  if (event == CTRL_CLOSE_EVENT) ::Sleep(INFINITE);
  return TRUE;
}

// Where Write puts its bytes: after the last, at the file's position.
constexpr std::uint64_t kAtTheEnd = ~std::uint64_t{0};

// Writes all of `count` bytes at `offset` (or at the file's position for
// kAtTheEnd), in pieces a DWORD can count; false with the last error set
// on a failure. An offset goes with each call, and the file's own position
// moves past the bytes, which is why only Commit may follow.
bool WriteWhole(HANDLE handle, const std::uint8_t* bytes, std::size_t count, std::uint64_t offset) {
  while (count > 0) {
    const DWORD piece = count > 0x10000000u ? 0x10000000u : static_cast<DWORD>(count);
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD put = 0;
    if (!::WriteFile(handle, bytes, piece, &put, offset == kAtTheEnd ? nullptr : &at) || put == 0) return false;
    bytes += put;
    count -= put;
    if (offset != kAtTheEnd) offset += put;
  }
  return true;
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
  return InputFile(Stored(handle), true, MayBlock(handle));
}

// ReadFile on the standard handle reads bytes as they are: no text mode of
// the C runtime stands between, so nothing needs switching to binary.
InputFile InputFile::StandardInput() {
  const HANDLE handle = ::GetStdHandle(STD_INPUT_HANDLE);
  return InputFile(Stored(handle), false, MayBlock(handle));
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
  if (!mayBlock_) {
    if (::ReadFile(handle, buffer, asked, &got, nullptr)) return got;
  } else {
    // Named first and checked after, so that a stop caught in between is
    // seen here or cancels the wait.
    const BlockedReader reading;
    if (caughtStopSignal.load() != 0) return 0;
    if (::ReadFile(handle, buffer, asked, &got, nullptr)) return got;
    if (caughtStopSignal.load() != 0) return 0;
  }
  // A pipe whose writer has gone has simply ended.
  if (::GetLastError() == ERROR_BROKEN_PIPE) return 0;
  error = ErrorFromLastError();
  return 0;
}

// --- OutputFile ---

OutputFile OutputFile::CreateNew(const std::string& path, FileError& error) {
  const std::wstring wide = Wide(path);
  // Refused now rather than after the whole image is written; Commit
  // refuses again if something appears there meanwhile.
  FileError refused = FileError::kNone;
  if (wide.empty()) {
    refused = FileError::kBadName;
  } else if (::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES) {
    refused = FileError::kAlreadyExists;
  }
  if (refused != FileError::kNone) {
    OutputFile file;
    error = file.failure_ = refused;
    return file;
  }
  OutputFile file = CreateReplacing(path, error);
  file.replacing_ = false;
  return file;
}

OutputFile OutputFile::CreateReplacing(const std::string& path, FileError& error) {
  OutputFile file;
  const HANDLE handle = CreateTemporaryBeside(path, file.writtenPath_, error);
  if (handle == INVALID_HANDLE_VALUE) {
    file.failure_ = error;
    return file;
  }
  file.handle_ = Stored(handle);
  file.finalPath_ = path;
  file.replacing_ = true;
  return file;
}

FileError OutputFile::Write(const std::uint8_t* bytes, std::size_t count) {
  return WriteAt(kAtTheEnd, bytes, count);
}

FileError OutputFile::WriteAt(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count) {
  if (handle_ == kClosed) return failure_ != FileError::kNone ? failure_ : FileError::kOther;
  if (!WriteWhole(Handle(handle_), bytes, count, offset)) {
    failure_ = ErrorFromLastError();
    Discard();
    return failure_;
  }
  return FileError::kNone;
}

FileError OutputFile::Commit() {
  if (handle_ == kClosed) return failure_ != FileError::kNone ? failure_ : FileError::kOther;
  const HANDLE handle = Handle(handle_);
  handle_ = kClosed;
  FileError error = FileError::kNone;
  if (!::CloseHandle(handle)) error = ErrorFromLastError();
  const std::wstring written = Wide(writtenPath_);
  // Without MOVEFILE_REPLACE_EXISTING the move fails when anything is at
  // the final name.
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replacing_ ? MOVEFILE_REPLACE_EXISTING : 0);
  if (error == FileError::kNone && !::MoveFileExW(written.c_str(), Wide(finalPath_).c_str(), flags)) {
    error = ErrorFromLastError();
  }
  if (error != FileError::kNone) ::DeleteFileW(written.c_str());
  failure_ = error;
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

bool WriteText(StandardStream stream, const std::string& utf8) {
  if (utf8.empty()) return true;
  const HANDLE handle =
      ::GetStdHandle(stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode)) {
    // A console shows characters, whatever its code page.
    const std::wstring wide = Wide(utf8);
    const wchar_t* characters = wide.data();
    std::size_t left = wide.size();
    while (left > 0) {
      const DWORD piece = left > 0x4000u ? 0x4000u : static_cast<DWORD>(left);
      DWORD written = 0;
      if (!::WriteConsoleW(handle, characters, piece, &written, nullptr) || written == 0) return false;
      characters += written;
      left -= written;
    }
    return !wide.empty();  // empty: the text was not UTF-8
  }
  const char* bytes = utf8.data();
  std::size_t left = utf8.size();
  while (left > 0) {
    DWORD put = 0;
    if (!::WriteFile(handle, bytes, static_cast<DWORD>(left), &put, nullptr) || put == 0) return false;
    bytes += put;
    left -= put;
  }
  return true;
}

// Windows has neither signal: past a size limit, or to a pipe nobody
// reads, a write simply fails.
void IgnoreFileSizeSignal() {}

void IgnoreBrokenPipe() {}

bool InstallStopSignals() { return ::SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0; }

int CaughtStopSignal() { return caughtStopSignal.load(); }

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) return std::nullopt;
  // Backup semantics open directories too; every sharing mode, so that a
  // file another program holds open can still be examined.
  const HANDLE handle =
      ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  const std::optional<FileIdentity> identity = IdentityOfHandle(handle);
  ::CloseHandle(handle);
  return identity;
}

std::optional<FileIdentity> StandardInputIdentity() {
  const HANDLE handle = ::GetStdHandle(STD_INPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) == FILE_TYPE_CHAR) {
    return std::nullopt;
  }
  return IdentityOfHandle(handle);
}

}  // namespace platform
