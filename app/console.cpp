#include "console.h"

#include <cstdarg>
#include <cstdio>

namespace velmora {

void say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

void waitForEnter(const char* prompt) {
  if (prompt == nullptr) {
    say("\nPress Enter to continue...");
  } else {
    say("\n%s", prompt);
  }
  std::getchar();
  say("\n");
}

}  // namespace velmora
