// The parts of lentok-read's file services that are the same on every
// system.
#include "platform/files.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

namespace platform {

std::string FinalComponent(const std::string& path) {
  const std::size_t separator = path.find_last_of(PathSeparators());
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t separator = path.find_last_of(PathSeparators());
  return separator == std::string::npos ? "." : path.substr(0, separator + 1);
}

bool SamePlace(const std::string& a, const std::string& b) {
  const std::optional<FileIdentity> first = IdentityOf(a);
  if (first && first == IdentityOf(b)) return true;
  const std::optional<FileIdentity> directory = IdentityOf(DirectoryOf(a));
  if (!directory || directory != IdentityOf(DirectoryOf(b))) return false;
  const std::string x = FinalComponent(a);
  const std::string y = FinalComponent(b);
  return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(), [](char p, char q) {
           return std::tolower(static_cast<unsigned char>(p)) == std::tolower(static_cast<unsigned char>(q));
         });
}

// Ownership of the handles: the same on every system; closing and
// discarding are each backend's own.

InputFile::~InputFile() { Close(); }

InputFile::InputFile(InputFile&& other) noexcept
    : handle_(other.handle_), owned_(other.owned_), mayBlock_(other.mayBlock_) {
  other.handle_ = kClosed;
}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    owned_ = other.owned_;
    mayBlock_ = other.mayBlock_;
    other.handle_ = kClosed;
  }
  return *this;
}

OutputFile::~OutputFile() { Discard(); }

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(other.handle_),
      writtenPath_(std::move(other.writtenPath_)),
      finalPath_(std::move(other.finalPath_)),
      replacing_(other.replacing_),
      failure_(other.failure_) {
  other.handle_ = kClosed;
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    Discard();
    handle_ = other.handle_;
    writtenPath_ = std::move(other.writtenPath_);
    finalPath_ = std::move(other.finalPath_);
    replacing_ = other.replacing_;
    failure_ = other.failure_;
    other.handle_ = kClosed;
  }
  return *this;
}

bool LocaleVariablesMeanRussian(const char* lcAll, const char* lcMessages, const char* lang) {
  for (const char* value : {lcAll, lcMessages, lang}) {
    if (value != nullptr && value[0] != '\0') return std::strncmp(value, "ru", 2) == 0;
  }
  return false;
}

}  // namespace platform
