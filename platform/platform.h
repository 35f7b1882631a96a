// The operating-system services lentok relies on, under the names of the
// Windows calls that provide them natively. Each system has one backend file
// (posix.cpp, win32.cpp) that the build picks; nothing outside this folder
// talks to the operating system.
//
// The operations live in namespace `platform` so that the Windows backend can
// implement them on top of the real calls of the same names. The constants
// carry the Windows values, so that backend can pass them straight through.
#pragma once

#include <cstdint>

namespace platform {

// A file or console handle. Like the Windows handle, all bits set means
// "no handle" and is what a failed open returns.
using FileHandle = std::uintptr_t;
constexpr FileHandle kInvalidHandle = ~FileHandle{0};

// Access rights, share modes, dispositions and attributes for CreateFileA.
constexpr std::uint32_t kGenericRead = 0x80000000u;
constexpr std::uint32_t kGenericWrite = 0x40000000u;
constexpr std::uint32_t kNoSharing = 0u;
constexpr std::uint32_t kFileShareRead = 0x00000001u;
constexpr std::uint32_t kCreateAlways = 2u;
constexpr std::uint32_t kOpenExisting = 3u;
constexpr std::uint32_t kFileAttributeNormal = 0x00000080u;

// Move methods for SetFilePointer and its failure value.
constexpr std::uint32_t kFileBegin = 0u;
constexpr std::uint32_t kFileCurrent = 1u;
constexpr std::uint32_t kInvalidSetFilePointer = 0xFFFFFFFFu;

// The failure value of GetFileSize.
constexpr std::uint32_t kInvalidFileSize = 0xFFFFFFFFu;

// The standard handles for GetStdHandle.
constexpr std::uint32_t kStdOutputHandle = 0xFFFFFFF5u;  // (DWORD)-11
constexpr std::uint32_t kStdErrorHandle = 0xFFFFFFF4u;   // (DWORD)-12

// Called first thing by main: lets the backend see the arguments and put
// the process in the state the other operations expect.
void StartProcess(int argc, char** argv);

// The whole command line as one writable NUL-terminated text, the program's
// name first, tokens quoted as the command-line parser expects. Null when
// the arguments cannot be carried by that quoting.
char* GetCommandLineA();

// Opens or creates a file; kInvalidHandle on failure.
FileHandle CreateFileA(const char* name, std::uint32_t access,
                       std::uint32_t shareMode, std::uint32_t disposition,
                       std::uint32_t attributes);

// The low 32 bits of the file's size; kInvalidFileSize on failure.
std::uint32_t GetFileSize(FileHandle file);

// Each stores the number of bytes moved into *transferred (0 on failure).
// The callers judge a transfer by that count alone.
//
// A backend may hold written bytes back and hand them to the system later
// in larger pieces. If that later write fails, the bytes already counted
// are lost; the next counted operation on the handle (WriteFile,
// SetFilePointer, FlushFileBuffers) then reports the failure, and so does
// every one after it until the handle is closed.
void ReadFile(FileHandle file, void* buffer, std::uint32_t count,
              std::uint32_t* transferred);
void WriteFile(FileHandle file, const void* bytes, std::uint32_t count,
               std::uint32_t* transferred);

// Hands every byte held back for the file to the system. False when some of
// them, now or in an earlier flush, could not be written. A backend that
// holds nothing back returns true: this is no request to reach the disk.
bool FlushFileBuffers(FileHandle file);

// Moves the file position, after flushing what is held back; returns the
// new position, or kInvalidSetFilePointer when it cannot be had or the
// flush failed.
std::uint32_t SetFilePointer(FileHandle file, std::int32_t distance,
                             std::uint32_t moveMethod);

FileHandle GetStdHandle(std::uint32_t which);
int lstrlenA(const char* text);
// Closes the handle, flushing first; a failure of that last flush is not
// reported, so a caller that must know calls FlushFileBuffers before.
void CloseHandle(FileHandle file);
[[noreturn]] void ExitProcess(std::uint32_t status);

// Upper-cases a NUL-terminated text in place; returns it.
char* CharUpperA(char* text);

// The start of the final component of a path, inside the same text.
char* PathFindFileNameA(char* path);

// Removes a double quote at each end of the text, in place, when both are
// there; leaves the text alone otherwise.
void PathUnquoteSpacesA(char* text);

}  // namespace platform
