// A shared library opened while the program runs, and the symbols in it:
// lentok-read opens its audio libraries only when a recording needs them,
// so that reading WAV does not pay for loading them. Only the native build
// uses this (shared_library_posix.cpp); the Windows build links those
// libraries into the program.
#pragma once

#include <string>

namespace platform {

class SharedLibrary {
 public:
  // Opens the library by its file name (a soname such as "libFLAC.so.12");
  // on failure IsOpen() is false and Problem() says why.
  explicit SharedLibrary(const std::string& name);
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  bool IsOpen() const { return handle_ != nullptr; }
  const std::string& Problem() const { return problem_; }

  // The address of a function or object in the library, or null.
  void* Find(const char* symbol) const;

 private:
  void* handle_ = nullptr;
  std::string problem_;
};

}  // namespace platform
