// The platform services on POSIX systems. File handles are descriptors; the
// two console handles are values no descriptor can take, so that writes to
// them are presented in UTF-8 while writes to files stay byte for byte.
//
// Writes to a file are collected in one fixed buffer and handed to the system
// in large pieces: the recording arrives 512 bytes at a time, and a system
// call for each would cost several times the writing itself.
//
// Windows share modes have no POSIX counterpart, so the protection they give
// is rebuilt here: an output that is the same file as an open input (by
// device and inode, whatever name reaches it) is refused before it is
// truncated, and advisory locks keep a second running instance from
// writing over a file this one reads, or the reverse.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/console_text.h"
#include "platform/platform.h"

namespace platform {
namespace {

constexpr FileHandle kConsoleOutput = kInvalidHandle - 1;
constexpr FileHandle kConsoleError = kInvalidHandle - 2;

int argumentCount = 0;
char** arguments = nullptr;

// Windows limits a command line to 32767 characters; the same bound keeps
// the text in a fixed buffer.
char commandLine[32768];

// Open descriptors compared by the file they reach, whatever name reached it.
class DescriptorSet {
 public:
  // Callers check Full() first.
  void Add(int fd) { fds_[count_++] = fd; }
  void Forget(int fd) {
    for (int i = 0; i < count_; ++i) {
      if (fds_[i] == fd) {
        fds_[i] = fds_[--count_];
        return;
      }
    }
  }
  bool HoldsFileOf(int fd) const;
  bool Full() const { return count_ == kCapacity; }

 private:
  static constexpr int kCapacity = 8;
  int fds_[kCapacity] = {};
  int count_ = 0;
};

// The inputs, opened with read sharing: no output may be created over them.
DescriptorSet sharedInputs;
// The outputs: the report must not go into one of them through a standard
// output that reaches the same file.
DescriptorSet outputs;

int ToDescriptor(FileHandle handle) { return static_cast<int>(handle); }

bool IsConsole(FileHandle handle) { return handle == kConsoleOutput || handle == kConsoleError; }

void EnsureStandardDescriptorsOpen() {
  // A closed standard descriptor would be reused by the next open, and the
  // report would then go into the recording.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int spare = open("/dev/null", O_RDWR);
      if (spare != -1 && spare != fd) close(spare);
    }
  }
}

// --- Write-behind buffer -------------------------------------------------

// Large enough that the system calls cost little next to the copying, small
// enough to stay in the processor's cache.
constexpr std::uint32_t kWriteBufferSize = 64 * 1024;

// The bytes accepted for one descriptor but not yet written. Only one
// descriptor holds the buffer at a time; writes to any other go straight to
// the system meanwhile. Bytes once counted as written but then refused by
// the system cannot be taken back, so a failed flush marks the holder as
// failed until it is closed: every later counted operation on it reports the
// failure, and nothing more is added to a file that already has a gap.
struct WriteBehind {
  int fd = -1;
  bool failed = false;
  std::uint32_t count = 0;
  std::uint8_t bytes[kWriteBufferSize];
};
WriteBehind held;

// --- Command line --------------------------------------------------------

bool NeedsQuotes(const char* argument) {
  return *argument == '\0' || std::strpbrk(argument, " \t") != nullptr;
}

// Appends `text` at `position` if it fits before `limit`; null otherwise.
char* AppendBounded(char* position, const char* limit, const char* text) {
  const std::size_t length = std::strlen(text);
  if (position == nullptr || length >= static_cast<std::size_t>(limit - position)) return nullptr;
  std::memcpy(position, text, length + 1);
  return position + length;
}

char* AppendArgument(char* position, const char* limit, const char* argument) {
  const bool quoted = NeedsQuotes(argument);
  position = AppendBounded(position, limit, " ");
  if (quoted) position = AppendBounded(position, limit, "\"");
  position = AppendBounded(position, limit, argument);
  if (quoted) position = AppendBounded(position, limit, "\"");
  return position;
}

// --- Files ---------------------------------------------------------------

bool IsRegular(int fd) {
  struct stat info;
  return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// Advisory lock on a regular file; only another holder makes it fail, not
// a file system without lock support.
bool LockIfRegular(int fd, int operation) {
  if (!IsRegular(fd)) return true;
  while (flock(fd, operation | LOCK_NB) == -1) {
    if (errno == EINTR) continue;
    return errno != EWOULDBLOCK;
  }
  return true;
}

bool SameFile(int first, int second) {
  struct stat a;
  struct stat b;
  return fstat(first, &a) == 0 && fstat(second, &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

bool DescriptorSet::HoldsFileOf(int fd) const {
  for (int i = 0; i < count_; ++i) {
    if (SameFile(fds_[i], fd)) return true;
  }
  return false;
}

FileHandle Fail(int fd) {
  if (fd != -1) close(fd);
  return kInvalidHandle;
}

FileHandle OpenForReading(const char* name) {
  if (sharedInputs.Full()) return kInvalidHandle;
  // Non-blocking, so that opening a FIFO with no writer does not hang.
  const int fd = open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd == -1) return kInvalidHandle;
  if (fcntl(fd, F_SETFL, 0) == -1 || !LockIfRegular(fd, LOCK_SH)) return Fail(fd);
  sharedInputs.Add(fd);
  return static_cast<FileHandle>(fd);
}

// Opens without truncating, so that nothing is lost before the output is
// known not to be an open input. Only a regular file is then emptied: a
// device or a pipe is written as it is.
FileHandle CreateForWriting(const char* name) {
  const int fd = open(name, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd == -1) return kInvalidHandle;
  if (outputs.Full() || sharedInputs.HoldsFileOf(fd) || !LockIfRegular(fd, LOCK_EX)) {
    return Fail(fd);
  }
  if (IsRegular(fd) && ftruncate(fd, 0) == -1) return Fail(fd);
  outputs.Add(fd);
  return static_cast<FileHandle>(fd);
}

// Reads until `count` bytes, the end of the file, or an error.
std::uint32_t ReadFully(int fd, std::uint8_t* buffer, std::uint32_t count) {
  std::uint32_t done = 0;
  while (done < count) {
    const ssize_t got = read(fd, buffer + done, count - done);
    if (got > 0) {
      done += static_cast<std::uint32_t>(got);
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  return done;
}

// Writes until `count` bytes or an error; partial writes are continued.
std::uint32_t WriteFully(int fd, const std::uint8_t* bytes, std::uint32_t count) {
  std::uint32_t done = 0;
  while (done < count) {
    const ssize_t put = write(fd, bytes + done, count - done);
    if (put > 0) {
      done += static_cast<std::uint32_t>(put);
    } else if (put == 0 || errno != EINTR) {
      break;
    }
  }
  return done;
}

// Writes out the held bytes. On failure the system has kept what it took,
// the rest is dropped, and the holder stays failed.
bool FlushHeld() {
  if (held.failed) return false;
  const std::uint32_t written = WriteFully(held.fd, held.bytes, held.count);
  if (written != held.count) {
    held.failed = true;
    held.count = 0;
    return false;
  }
  held.count = 0;
  held.fd = -1;
  return true;
}

// Flushes `fd` if it holds the buffer; true when nothing of it is left
// unwritten and no earlier flush of it failed.
bool FlushIfHolder(int fd) { return held.fd != fd || FlushHeld(); }

// Copies the bytes into the buffer when it is free or already this file's,
// flushing first when they do not fit; a block at least as large as the
// buffer goes straight out once what came before it is written.
std::uint32_t WriteToFile(int fd, const std::uint8_t* bytes, std::uint32_t count) {
  if (held.fd != -1 && held.fd != fd) return WriteFully(fd, bytes, count);
  if (held.failed) return 0;
  if (count > kWriteBufferSize - held.count && held.count != 0 && !FlushHeld()) return 0;
  if (count >= kWriteBufferSize) return WriteFully(fd, bytes, count);
  std::memcpy(held.bytes + held.count, bytes, count);
  held.count += count;
  held.fd = fd;
  return count;
}

bool IsCharacterDevice(int fd) {
  struct stat info;
  return fstat(fd, &info) == 0 && S_ISCHR(info.st_mode);
}

// Standard output is where the report goes, unless the recording itself is
// being written there (the output named as /dev/stdout, say): then the
// report would land in the stream after the last sample, or, with standard
// output redirected to a file, over the start of the header. Standard error
// takes it instead. A device such as /dev/null keeps no stream to spoil.
int ConsoleDescriptor(FileHandle console) {
  if (console == kConsoleError) return STDERR_FILENO;
  const bool intoRecording =
      outputs.HoldsFileOf(STDOUT_FILENO) && !IsCharacterDevice(STDOUT_FILENO);
  return intoRecording ? STDERR_FILENO : STDOUT_FILENO;
}

// Presents a stored text in UTF-8 with LF line ends. Counts as transferred
// the stored bytes whose presentation was written whole.
std::uint32_t WriteConsole(int fd, const char* text, std::uint32_t count) {
  constexpr std::uint32_t kChunk = 256;
  char presented[kChunk * 3];
  std::uint32_t done = 0;
  while (done < count) {
    std::uint32_t chunk = count - done < kChunk ? count - done : kChunk;
    // Keep a CR LF pair in one chunk so the CR is dropped.
    if (chunk > 1 && done + chunk < count && text[done + chunk - 1] == '\r') --chunk;
    const std::size_t length = Cp866ToUtf8(text + done, chunk, presented);
    const auto size = static_cast<std::uint32_t>(length);
    if (WriteFully(fd, reinterpret_cast<const std::uint8_t*>(presented), size) != size) break;
    done += chunk;
  }
  return done;
}

}  // namespace

void StartProcess(int argc, char** argv) {
  argumentCount = argc;
  arguments = argv;
  EnsureStandardDescriptorsOpen();
  // Past a file-size limit a write should come back short, which the run
  // reports, instead of killing the process.
  signal(SIGXFSZ, SIG_IGN);
  // Likewise a reader that goes away: the write error, not a silent death.
  signal(SIGPIPE, SIG_IGN);
}

char* GetCommandLineA() {
  // The program's own name is passed over by the parser whatever it holds;
  // a fixed one keeps an odd argv[0] from running into the arguments.
  const char* const limit = commandLine + sizeof commandLine;
  char* position = AppendBounded(commandLine, limit, "lentok");
  for (int i = 1; i < argumentCount; ++i) {
    // A double quote inside an argument has no spelling in the quoting the
    // parser reads; refuse it rather than open some other file.
    if (std::strchr(arguments[i], '"') != nullptr) return nullptr;
    position = AppendArgument(position, limit, arguments[i]);
  }
  return position != nullptr ? commandLine : nullptr;
}

FileHandle CreateFileA(const char* name, std::uint32_t access, std::uint32_t /*shareMode*/,
                       std::uint32_t /*disposition*/, std::uint32_t /*attributes*/) {
  // The run opens its input for shared reading of an existing file and
  // creates its output anew, unshared; those two are all this backend needs.
  return (access & kGenericWrite) != 0 ? CreateForWriting(name) : OpenForReading(name);
}

std::uint32_t GetFileSize(FileHandle file) {
  struct stat info;
  if (fstat(ToDescriptor(file), &info) != 0 || !S_ISREG(info.st_mode)) return kInvalidFileSize;
  return static_cast<std::uint32_t>(info.st_size);
}

void ReadFile(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* transferred) {
  *transferred = ReadFully(ToDescriptor(file), static_cast<std::uint8_t*>(buffer), count);
}

void WriteFile(FileHandle file, const void* bytes, std::uint32_t count,
               std::uint32_t* transferred) {
  if (IsConsole(file)) {
    *transferred = WriteConsole(ConsoleDescriptor(file), static_cast<const char*>(bytes), count);
    return;
  }
  *transferred = WriteToFile(ToDescriptor(file), static_cast<const std::uint8_t*>(bytes), count);
}

bool FlushFileBuffers(FileHandle file) {
  if (IsConsole(file)) return true;
  return FlushIfHolder(ToDescriptor(file));
}

std::uint32_t SetFilePointer(FileHandle file, std::int32_t distance, std::uint32_t moveMethod) {
  // The held bytes belong before the new position; if they cannot be
  // written, the caller must hear of it here rather than take the failure
  // for a file without positions.
  if (!FlushIfHolder(ToDescriptor(file))) return kInvalidSetFilePointer;
  const off_t position =
      lseek(ToDescriptor(file), distance, moveMethod == kFileBegin ? SEEK_SET : SEEK_CUR);
  if (position < 0 || position >= static_cast<off_t>(kInvalidSetFilePointer)) {
    return kInvalidSetFilePointer;
  }
  return static_cast<std::uint32_t>(position);
}

FileHandle GetStdHandle(std::uint32_t which) {
  return which == kStdErrorHandle ? kConsoleError : kConsoleOutput;
}

int lstrlenA(const char* text) { return static_cast<int>(std::strlen(text)); }

void CloseHandle(FileHandle file) {
  const int fd = ToDescriptor(file);
  if (held.fd == fd) {
    // Late for a count: a caller that must know flushes before closing.
    FlushHeld();
    held.fd = -1;
    held.failed = false;
    held.count = 0;
  }
  sharedInputs.Forget(fd);
  outputs.Forget(fd);
  close(fd);
}

char* CharUpperA(char* text) {
  // a to z only: every other byte, UTF-8 sequences included, stays as it is.
  for (char* c = text; *c != '\0'; ++c) {
    if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
  }
  return text;
}

char* PathFindFileNameA(char* path) {
  char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

void PathUnquoteSpacesA(char* text) {
  const std::size_t length = std::strlen(text);
  if (length < 2 || text[0] != '"' || text[length - 1] != '"') return;
  std::memmove(text, text + 1, length - 2);
  text[length - 2] = '\0';
}

}  // namespace platform
