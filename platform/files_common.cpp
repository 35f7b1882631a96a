// The parts of lentok-read's file services that are the same on every
// system.
#include "platform/files.h"

#include <cstring>

namespace platform {

bool LocaleVariablesMeanRussian(const char* lcAll, const char* lcMessages, const char* lang) {
  for (const char* value : {lcAll, lcMessages, lang}) {
    if (value != nullptr && value[0] != '\0') return std::strncmp(value, "ru", 2) == 0;
  }
  return false;
}

}  // namespace platform
