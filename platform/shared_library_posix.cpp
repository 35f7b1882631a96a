// Shared libraries through dlopen.
#include <dlfcn.h>

#include "platform/shared_library.h"

namespace platform {

SharedLibrary::SharedLibrary(const std::string& name) {
  // Every symbol bound now, so that a library missing one fails here, and
  // none of them offered to libraries opened later.
  handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    problem_ = why != nullptr ? why : name + ": cannot be opened";
  }
}

SharedLibrary::~SharedLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

void* SharedLibrary::Find(const char* symbol) const {
  return handle_ != nullptr ? dlsym(handle_, symbol) : nullptr;
}

}  // namespace platform
