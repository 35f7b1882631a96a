// The parts of lentok-read's file services that are the same on every
// system.
#include "platform/files.h"

#include <cstring>
#include <utility>

namespace platform {

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
