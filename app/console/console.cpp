#include "console/console.h"

#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <string>

#include "corvane/hfolder.h"
#include "host/host.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

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
  // Reading through the C library's buffer would take the rest of a pipe
  // with it: the next command of a shell loop would never see its lines.
  if (host::inputIsTerminal()) std::getchar();
  say("\n");
}

std::string because(const Status& status) {
  return status.reason().empty() ? std::string() : " (" + status.reason() + ")";
}

htext promptSourcePath() {
  for (;;) {
    say("Enter the source frames path: ");
    std::string line;
    if (!std::getline(std::cin, line)) return htext();
    if (line.empty()) continue;
    if (hfolder::isFolder(line)) return line;
    say("\n  Warning: path appears to be invalid or inaccessible.\n  Try again or press CTRL+C to "
        "terminate.\n\n");
  }
}

}  // namespace velmora
