// The POSIX backend of lentok-read's file services: plain descriptors, paths
// and texts passed through as the bytes they are.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {

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
    case EFBIG:
      return FileError::kNoSpace;
    case ENAMETOOLONG:
    case EILSEQ:
      return FileError::kBadName;
    default:
      return FileError::kOther;
  }
}

int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

// The directory part of `path`, with its separator, or "" for a bare name.
std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

constexpr mode_t kNewFileMode = 0666;  // less the umask, as for any new file

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
  return InputFile(descriptor, true);
}

InputFile InputFile::StandardInput() { return InputFile(STDIN_FILENO, false); }

void InputFile::Close() {
  if (handle_ != kClosed && owned_) ::close(Descriptor(handle_));
  handle_ = kClosed;
}

std::size_t InputFile::Read(std::uint8_t* buffer, std::size_t capacity, FileError& error) {
  error = FileError::kNone;
  for (;;) {
    const ssize_t got = ::read(Descriptor(handle_), buffer, capacity);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno == EINTR) continue;
    error = ErrorFromErrno(errno);
    return 0;
  }
}

// --- OutputFile ---

OutputFile OutputFile::CreateNew(const std::string& path, FileError& error) {
  OutputFile file;
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
  if (descriptor < 0) {
    error = ErrorFromErrno(errno);
    return file;
  }
  error = FileError::kNone;
  file.handle_ = descriptor;
  file.writtenPath_ = path;
  return file;
}

OutputFile OutputFile::CreateReplacing(const std::string& path, FileError& error) {
  // mkstemp gives a name nobody else holds, in the same directory so that
  // the final rename stays on one file system and replaces atomically.
  std::string pattern = DirectoryOf(path) + ".lentok-read-XXXXXX";
  const int descriptor = ::mkstemp(pattern.data());
  OutputFile file;
  if (descriptor < 0) {
    error = ErrorFromErrno(errno);
    return file;
  }
  // mkstemp makes the file private; an image is an ordinary file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(descriptor, kNewFileMode & ~mask);
  error = FileError::kNone;
  file.handle_ = descriptor;
  file.writtenPath_ = pattern;
  file.finalPath_ = path;
  return file;
}

FileError OutputFile::Write(const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t put = ::write(Descriptor(handle_), bytes, count);
    if (put < 0) {
      if (errno == EINTR) continue;
      return ErrorFromErrno(errno);
    }
    bytes += put;
    count -= static_cast<std::size_t>(put);
  }
  return FileError::kNone;
}

FileError OutputFile::Commit() {
  const int descriptor = Descriptor(handle_);
  handle_ = kClosed;
  FileError error = FileError::kNone;
  if (::close(descriptor) != 0 && errno != EINTR) error = ErrorFromErrno(errno);
  if (error == FileError::kNone && !finalPath_.empty() &&
      ::rename(writtenPath_.c_str(), finalPath_.c_str()) != 0) {
    error = ErrorFromErrno(errno);
  }
  // A new file that failed is removed; so is a temporary one that did not
  // reach its place.
  if (error != FileError::kNone) ::unlink(writtenPath_.c_str());
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

void WriteText(StandardStream stream, const std::string& utf8) {
  const int descriptor = stream == StandardStream::kOutput ? STDOUT_FILENO : STDERR_FILENO;
  const char* bytes = utf8.data();
  std::size_t left = utf8.size();
  while (left > 0) {
    const ssize_t put = ::write(descriptor, bytes, left);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;
    bytes += put;
    left -= static_cast<std::size_t>(put);
  }
}

}  // namespace platform
