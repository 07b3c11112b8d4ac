// Console output and the pause, shared by every unit of the tool.
//
// Everything the tool prints goes to standard output through say(), which
// flushes at once so that a progress line rewritten with "\r" is visible while
// the work goes on. Nothing is written to standard error.
#ifndef VELMORA_CONSOLE_H
#define VELMORA_CONSOLE_H

namespace velmora {

void say(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The console pause: prints "\n" + prompt ("\nPress Enter to continue..."
// without one), reads one character (end of input also ends the pause), then
// prints "\n".
void waitForEnter(const char* prompt = nullptr);

}  // namespace velmora

#endif  // VELMORA_CONSOLE_H
