// The tool's console under a fuzzer: its messages go nowhere and its pause
// never waits, since standard input is at its end from the start.
#ifndef VELMORA_FUZZ_QUIET_CONSOLE_H
#define VELMORA_FUZZ_QUIET_CONSOLE_H

#include <cstdio>
#include <cstdlib>

inline void quietConsole() {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  if (std::freopen("/dev/null", "r", stdin) == nullptr) std::abort();
}

#endif  // VELMORA_FUZZ_QUIET_CONSOLE_H
