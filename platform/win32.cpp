// The platform services on Windows: each operation is the system call of the
// same name, given exactly what the run gives it. What is added on top: the
// command line is copied into a buffer of our own before the parser writes
// into it, and the texts are converted for a console that does not show
// code page 866.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shlwapi.h>

#include "platform/platform.h"
#include "platform/win32_console.h"

namespace platform {

static_assert(sizeof(FileHandle) == sizeof(HANDLE), "a handle must fit a FileHandle");
static_assert(kInvalidHandle == static_cast<FileHandle>(-1), "INVALID_HANDLE_VALUE is all ones");
static_assert(kGenericRead == GENERIC_READ && kGenericWrite == GENERIC_WRITE, "access rights");
static_assert(kNoSharing == 0 && kFileShareRead == FILE_SHARE_READ, "share modes");
static_assert(kCreateAlways == CREATE_ALWAYS && kOpenExisting == OPEN_EXISTING, "dispositions");
static_assert(kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL, "attributes");
static_assert(kFileBegin == FILE_BEGIN && kFileCurrent == FILE_CURRENT, "move methods");
static_assert(kInvalidSetFilePointer == INVALID_SET_FILE_POINTER, "SetFilePointer failure");
static_assert(kInvalidFileSize == INVALID_FILE_SIZE, "GetFileSize failure");
static_assert(kStdOutputHandle == STD_OUTPUT_HANDLE && kStdErrorHandle == STD_ERROR_HANDLE,
              "standard handles");

namespace {

// A Windows command line holds at most 32767 characters; twice that in bytes
// leaves room for a double-byte ANSI code page.
char commandLine[65536];

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

// Only the standard handles can be consoles for this program. Checking them
// alone keeps the recording's many writes free of an extra system call each.
bool IsStandardOutputOrError(HANDLE handle) {
  return handle == ::GetStdHandle(STD_OUTPUT_HANDLE) || handle == ::GetStdHandle(STD_ERROR_HANDLE);
}

bool PresentsConverted(HANDLE handle) {
  if (!IsStandardOutputOrError(handle)) return false;
  DWORD mode = 0;
  const bool isConsole = ::GetConsoleMode(handle, &mode) != 0;
  return ConsoleNeedsConversion(isConsole, ::GetConsoleOutputCP());
}

// Writes stored text to a console in UTF-16. Counts as transferred the
// stored bytes whose characters the console took whole.
std::uint32_t WriteConverted(HANDLE console, const char* text, std::uint32_t count) {
  constexpr std::uint32_t kChunk = 256;
  wchar_t wide[kChunk];
  std::uint32_t done = 0;
  while (done < count) {
    const std::uint32_t chunk = count - done < kChunk ? count - done : kChunk;
    const std::uint32_t units = StoredTextToWide(text + done, chunk, wide, kChunk);
    DWORD written = 0;
    if (units == 0 || !::WriteConsoleW(console, wide, units, &written, nullptr) ||
        written != units) {
      break;
    }
    done += chunk;
  }
  return done;
}

}  // namespace

void StartProcess(int /*argc*/, char** /*argv*/) {
  // The command line is read whole from the system, not from argv.
}

char* GetCommandLineA() {
  // The parser cuts names out of the text with NULs; the system's own copy
  // is not ours to write, so it works on a copy. A text too long for the
  // copy cannot be parsed and counts as a command-line error.
  const char* const system = ::GetCommandLineA();
  const int length = ::lstrlenA(system);
  if (length < 0 || static_cast<unsigned>(length) >= sizeof commandLine) return nullptr;
  for (int i = 0; i <= length; ++i) commandLine[i] = system[i];
  return commandLine;
}

FileHandle CreateFileA(const char* name, std::uint32_t access, std::uint32_t shareMode,
                       std::uint32_t disposition, std::uint32_t attributes) {
  return FromHandle(
      ::CreateFileA(name, access, shareMode, nullptr, disposition, attributes, nullptr));
}

std::uint32_t GetFileSize(FileHandle file) { return ::GetFileSize(ToHandle(file), nullptr); }

void ReadFile(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* transferred) {
  DWORD read = 0;
  ::ReadFile(ToHandle(file), buffer, count, &read, nullptr);
  *transferred = read;
}

void WriteFile(FileHandle file, const void* bytes, std::uint32_t count,
               std::uint32_t* transferred) {
  const HANDLE handle = ToHandle(file);
  if (PresentsConverted(handle)) {
    *transferred = WriteConverted(handle, static_cast<const char*>(bytes), count);
    return;
  }
  DWORD written = 0;
  ::WriteFile(handle, bytes, count, &written, nullptr);
  *transferred = written;
}

bool FlushFileBuffers(FileHandle /*file*/) {
  // Every WriteFile here goes straight to the system, so nothing is held
  // back. The system call of this name would instead wait for the disk (or
  // for a pipe's reader) and fail on a console: it is not what is asked.
  return true;
}

std::uint32_t SetFilePointer(FileHandle file, std::int32_t distance, std::uint32_t moveMethod) {
  return ::SetFilePointer(ToHandle(file), distance, nullptr, moveMethod);
}

FileHandle GetStdHandle(std::uint32_t which) { return FromHandle(::GetStdHandle(which)); }

int lstrlenA(const char* text) { return ::lstrlenA(text); }

void CloseHandle(FileHandle file) { ::CloseHandle(ToHandle(file)); }

void ExitProcess(std::uint32_t status) { ::ExitProcess(status); }

char* CharUpperA(char* text) { return ::CharUpperA(text); }

char* PathFindFileNameA(char* path) { return ::PathFindFileNameA(path); }

void PathUnquoteSpacesA(char* text) { ::PathUnquoteSpacesA(text); }

}  // namespace platform
