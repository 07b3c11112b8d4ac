// The run from banner to exit code: the one layer that speaks.
//
// Command-line mode when arguments are given, else the interactive prompt.
// The units below compute and hand back what happened; the driver prints
// every line, pauses, and picks the exit code: 0 after a completed run, the
// help text, a folder without frames or input ended at the prompt, and 1
// after every "STOP: " line and every fatal error. Everything the run holds
// lives in runDriver and is released before it returns.
#ifndef VELMORA_CONSOLE_RUN_DRIVER_H
#define VELMORA_CONSOLE_RUN_DRIVER_H

namespace velmora {

int runDriver(int argc, const char* const* argv);

}  // namespace velmora

#endif  // VELMORA_CONSOLE_RUN_DRIVER_H
