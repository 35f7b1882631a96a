// The POSIX backend of lentok-read's file services: plain descriptors, paths
// and texts passed through as the bytes they are, and the stop signals'
// handler with the little state it shares with the reads it wakes.
#include "platform/files.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace platform {

const char* PathSeparators() { return "/"; }


namespace {

FileError ErrorFromErrno(int code) {
  switch (code) {
    case ENOENT:
    case ENOTDIR:
      return FileError::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return FileError::kAccessDenied;
    case EEXIST:
      return FileError::kAlreadyExists;
    case EISDIR:
      return FileError::kIsDirectory;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:  // past the file-size limit, once its signal is ignored
      return FileError::kNoSpace;
    case ENAMETOOLONG:
    case EILSEQ:
      return FileError::kBadName;
    default:
      return FileError::kOther;
  }
}

int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

FileIdentity IdentityFrom(const struct stat& status) {
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

// Anything but a regular file or a disk may keep a read waiting for a
// writer; so may what cannot be examined.
bool MayBlock(int descriptor) {
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) return true;
  return !S_ISREG(status.st_mode) && !S_ISBLK(status.st_mode);
}

constexpr mode_t kNewFileMode = 0666;  // less the umask, as for any new file

// The temporary file an image is written to: hidden, beside its final name
// so that moving it there stays on one file system, and named after it so
// that one left by a crash says whose it was. mkostemps settles any race
// for the name. The final name is cut short enough for the temporary one
// to fit the longest name a directory takes, on a character's boundary.
int CreateTemporaryBeside(const std::string& path, std::string& temporary, FileError& error) {
  const std::size_t slash = path.rfind('/');
  const std::size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
  static constexpr char kSuffix[] = ".tmp";
  static constexpr std::size_t kAdded = 1 + 1 + 6 + sizeof kSuffix - 1;  // ".", ".XXXXXX", ".tmp"
  std::size_t baseLength = path.size() - baseStart;
  if (baseLength > NAME_MAX - kAdded) {
    baseLength = NAME_MAX - kAdded;
    while (baseLength > 0 && (static_cast<unsigned char>(path[baseStart + baseLength]) & 0xC0) == 0x80) {
      --baseLength;
    }
  }
  temporary = path.substr(0, baseStart) + "." + path.substr(baseStart, baseLength) + ".XXXXXX" + kSuffix;
  const int descriptor = ::mkostemps(temporary.data(), sizeof kSuffix - 1, O_CLOEXEC);
  if (descriptor < 0) {
    error = ErrorFromErrno(errno);
    return -1;
  }
  // mkostemps makes the file private; an image is an ordinary file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(descriptor, kNewFileMode & ~mask);
  error = FileError::kNone;
  return descriptor;
}

// Gives the file at `from` the name `to` too, unless something is there:
// a hard link never replaces. Where the file system has no hard links,
// Linux can rename without replacing instead.
FileError LinkWithoutReplacing(const std::string& from, const std::string& to) {
  if (::link(from.c_str(), to.c_str()) == 0) return FileError::kNone;
  const int code = errno;
  if (code != EPERM && code != ENOTSUP && code != EOPNOTSUPP && code != EXDEV && code != ENOSYS) {
    return ErrorFromErrno(code);
  }
#ifdef SYS_renameat2
  constexpr unsigned kRenameNoReplace = 1;  // RENAME_NOREPLACE, which not every C library names
  if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kRenameNoReplace) == 0) {
    return FileError::kNone;
  }
  return ErrorFromErrno(errno);
#else
  return ErrorFromErrno(code);
#endif
}

// --- What the stop signals' handler shares with the rest ---
//
// A handler may touch nothing but lock-free atomics and make only
// async-signal-safe calls, so this state cannot live in an object. The
// pipe is written by the handler and never read: once written it stays
// readable, and every wait on it, on any thread, ends at once.

static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<int> caughtStopSignal{0};
std::atomic<int> stopWakeRead{-1};
std::atomic<int> stopWakeWrite{-1};

void OnStopSignal(int number) {
  const int savedErrno = errno;
  int none = 0;
  caughtStopSignal.compare_exchange_strong(none, number);
  // A second stop signal is a user who will not wait: it ends the program.
  // One that was ignored from the start stays ignored.
  struct sigaction usual {};
  usual.sa_handler = SIG_DFL;
  sigemptyset(&usual.sa_mask);
  for (const int stop : {SIGINT, SIGTERM}) {
    struct sigaction current {};
    if (::sigaction(stop, nullptr, &current) == 0 && current.sa_handler == OnStopSignal) {
      ::sigaction(stop, &usual, nullptr);
    }
  }
  const char byte = 0;
  if (::write(stopWakeWrite.load(), &byte, 1) < 0) {
    // A full pipe is readable already.
  }
  errno = savedErrno;
}

bool SetDescriptorFlags(int descriptor) {
  return ::fcntl(descriptor, F_SETFD, FD_CLOEXEC) == 0 &&
         ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK) == 0;
}

// True when a read of `descriptor` will not wait: it holds bytes, has ended
// or has failed (the read says which). False once a stop signal is caught,
// or when the wait itself fails (then `error` says why).
bool AwaitInput(int descriptor, FileError& error) {
  const int wake = stopWakeRead.load();
  if (wake < 0) return true;  // no stop signals caught: the read may wait itself
  for (;;) {
    if (caughtStopSignal.load() != 0) return false;
    struct pollfd watched[2] = {{descriptor, POLLIN, 0}, {wake, POLLIN, 0}};
    if (::poll(watched, 2, -1) >= 0) {
      if (watched[1].revents != 0) return false;
      if (watched[0].revents != 0) return true;
    } else if (errno != EINTR) {
      error = ErrorFromErrno(errno);
      return false;
    }
  }
}

// Where Write puts its bytes: after the last, at the file's position.
constexpr std::uint64_t kAtTheEnd = ~std::uint64_t{0};

// Writes all of `count` bytes at `offset` (or at the file's position for
// kAtTheEnd), through interruptions and short writes; the errno of a
// failure, or 0.
int WriteWhole(int descriptor, const std::uint8_t* bytes, std::size_t count, std::uint64_t offset) {
  while (count > 0) {
    const ssize_t put = offset == kAtTheEnd ? ::write(descriptor, bytes, count)
                                            : ::pwrite(descriptor, bytes, count, static_cast<off_t>(offset));
    if (put < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes += put;
    count -= static_cast<std::size_t>(put);
    if (offset != kAtTheEnd) offset += static_cast<std::uint64_t>(put);
  }
  return 0;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return arguments;
}

// --- InputFile ---

InputFile InputFile::Open(const std::string& path, FileError& error) {
  int descriptor;
  do {
    descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) {
    error = ErrorFromErrno(errno);
    return InputFile();
  }
  // A directory opens fine on POSIX; say so now rather than at the first read.
  struct stat status {};
  if (::fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode)) {
    ::close(descriptor);
    error = FileError::kIsDirectory;
    return InputFile();
  }
  error = FileError::kNone;
  return InputFile(descriptor, true, MayBlock(descriptor));
}

InputFile InputFile::StandardInput() { return InputFile(STDIN_FILENO, false, MayBlock(STDIN_FILENO)); }

void InputFile::Close() {
  if (handle_ != kClosed && owned_) ::close(Descriptor(handle_));
  handle_ = kClosed;
}

std::size_t InputFile::Read(std::uint8_t* buffer, std::size_t capacity, FileError& error) {
  error = FileError::kNone;
  // The wait comes before the read, so that the stop signal's pipe can end
  // it wherever the signal was delivered; a read interrupted on this thread
  // alone would leave one waiting on another thread blocked.
  if (mayBlock_ && !AwaitInput(Descriptor(handle_), error)) return 0;
  for (;;) {
    const ssize_t got = ::read(Descriptor(handle_), buffer, capacity);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno == EINTR) {
      if (mayBlock_ && caughtStopSignal.load() != 0) return 0;
      continue;
    }
    error = ErrorFromErrno(errno);
    return 0;
  }
}

// --- OutputFile ---

OutputFile OutputFile::CreateNew(const std::string& path, FileError& error) {
  OutputFile file;
  // Refused now rather than after the whole image is written; Commit
  // refuses again if something appears there meanwhile.
  struct stat status {};
  if (::lstat(path.c_str(), &status) == 0) {
    error = file.failure_ = FileError::kAlreadyExists;
    return file;
  }
  const int descriptor = CreateTemporaryBeside(path, file.writtenPath_, error);
  if (descriptor < 0) {
    file.failure_ = error;
    return file;
  }
  file.handle_ = descriptor;
  file.finalPath_ = path;
  return file;
}

OutputFile OutputFile::CreateReplacing(const std::string& path, FileError& error) {
  OutputFile file;
  const int descriptor = CreateTemporaryBeside(path, file.writtenPath_, error);
  if (descriptor < 0) {
    file.failure_ = error;
    return file;
  }
  file.handle_ = descriptor;
  file.finalPath_ = path;
  file.replacing_ = true;
  return file;
}

FileError OutputFile::Write(const std::uint8_t* bytes, std::size_t count) {
  return WriteAt(kAtTheEnd, bytes, count);
}

FileError OutputFile::WriteAt(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count) {
  if (handle_ == kClosed) return failure_ != FileError::kNone ? failure_ : FileError::kOther;
  if (const int code = WriteWhole(Descriptor(handle_), bytes, count, offset)) {
    failure_ = ErrorFromErrno(code);
    Discard();
    return failure_;
  }
  return FileError::kNone;
}

FileError OutputFile::Commit() {
  if (handle_ == kClosed) return failure_ != FileError::kNone ? failure_ : FileError::kOther;
  const int descriptor = Descriptor(handle_);
  handle_ = kClosed;
  FileError error = FileError::kNone;
  if (::close(descriptor) != 0 && errno != EINTR) error = ErrorFromErrno(errno);
  if (error == FileError::kNone) {
    if (replacing_) {
      if (::rename(writtenPath_.c_str(), finalPath_.c_str()) != 0) error = ErrorFromErrno(errno);
    } else {
      error = LinkWithoutReplacing(writtenPath_, finalPath_);
    }
  }
  // After a link the temporary name is the image's second one; after a
  // failure it is all there is of it. Either way it goes.
  if (error != FileError::kNone || !replacing_) ::unlink(writtenPath_.c_str());
  failure_ = error;
  return error;
}

void OutputFile::Discard() {
  if (handle_ == kClosed) return;
  ::close(Descriptor(handle_));
  ::unlink(writtenPath_.c_str());
  handle_ = kClosed;
}

// --- The rest ---

bool IsDirectory(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool UserLanguageIsRussian() {
  return LocaleVariablesMeanRussian(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                    std::getenv("LANG"));
}

bool WriteText(StandardStream stream, const std::string& utf8) {
  const int descriptor = stream == StandardStream::kOutput ? STDOUT_FILENO : STDERR_FILENO;
  const char* bytes = utf8.data();
  std::size_t left = utf8.size();
  while (left > 0) {
    const ssize_t put = ::write(descriptor, bytes, left);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes += put;
    left -= static_cast<std::size_t>(put);
  }
  return true;
}

void IgnoreFileSizeSignal() { ::signal(SIGXFSZ, SIG_IGN); }

void IgnoreBrokenPipe() { ::signal(SIGPIPE, SIG_IGN); }

bool InstallStopSignals() {
  if (stopWakeRead.load() >= 0) return true;
  int wake[2];
  if (::pipe(wake) != 0) return false;
  if (!SetDescriptorFlags(wake[0]) || !SetDescriptorFlags(wake[1])) {
    ::close(wake[0]);
    ::close(wake[1]);
    return false;
  }
  stopWakeWrite.store(wake[1]);
  stopWakeRead.store(wake[0]);
  // No SA_RESTART: a wait the signal interrupts comes back to look.
  struct sigaction stop {};
  stop.sa_handler = OnStopSignal;
  sigemptyset(&stop.sa_mask);
  sigaddset(&stop.sa_mask, SIGINT);
  sigaddset(&stop.sa_mask, SIGTERM);
  for (const int number : {SIGINT, SIGTERM}) {
    struct sigaction before {};
    if (::sigaction(number, nullptr, &before) != 0) return false;
    // A signal ignored from the start, as the shell does for a job in the
    // background, stays ignored.
    if (before.sa_handler == SIG_IGN) continue;
    if (::sigaction(number, &stop, nullptr) != 0) return false;
  }
  return true;
}

int CaughtStopSignal() { return caughtStopSignal.load(); }

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return IdentityFrom(status);
}

std::optional<FileIdentity> StandardInputIdentity() {
  struct stat status {};
  if (::isatty(STDIN_FILENO) || ::fstat(STDIN_FILENO, &status) != 0) return std::nullopt;
  return IdentityFrom(status);
}

}  // namespace platform
