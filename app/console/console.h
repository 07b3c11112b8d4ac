// The console: every line the tool prints, its pauses and the interactive
// prompt. Only the console layer includes this.
//
// Everything goes to standard output through say(), which flushes at once so
// that a progress line rewritten with "\r" is visible while the work goes on.
// Nothing is written to standard error.
#ifndef VELMORA_CONSOLE_CONSOLE_H
#define VELMORA_CONSOLE_CONSOLE_H

#include <string>

#include "base/status.h"
#include "corvane/htext.h"

namespace velmora {

void say(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The console pause: prints "\n" + prompt ("\nPress Enter to continue..."
// without one), then, at a terminal only, waits for one character (end of
// input also ends the wait), then prints "\n". From a pipe or a file nothing
// is read, so a script's further lines stay for whoever reads them next.
void waitForEnter(const char* prompt = nullptr);

// " (why)" when someone named the cause of a failure, else nothing: what
// follows a failure's words on the console.
std::string because(const Status& status);

// Asks until a line names an existing folder; <empty> when input ends. Reads
// its lines from a terminal, a pipe or a file alike.
corvane::htext promptSourcePath();

}  // namespace velmora

#endif  // VELMORA_CONSOLE_CONSOLE_H
