// The run from banner to exit code.
//
// Command-line mode when arguments are given, else the interactive prompt.
// Everything the run holds lives in runDriver and is released before it
// returns; the exit code is 0 after a completed run, the help text, a folder
// without frames or input ended at the prompt, and 1 after every "STOP: " line
// and every fatal error.
#ifndef VELMORA_RUN_DRIVER_H
#define VELMORA_RUN_DRIVER_H


namespace velmora {

int runDriver(int argc, const char* const* argv);

}  // namespace velmora

#endif  // VELMORA_RUN_DRIVER_H
