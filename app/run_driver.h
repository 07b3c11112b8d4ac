// The run from banner to exit code.
//
// Command-line mode when arguments are given, else the interactive prompt.
// Everything the run holds lives in runDriver and is released before it
// returns; the exit code is 0 after a completed run, the help text, a folder
// without frames or input ended at the prompt, and 1 after every "STOP: " line
// and every fatal error.
#ifndef VELMORA_RUN_DRIVER_H
#define VELMORA_RUN_DRIVER_H

#include "bounds_scanner.h"
#include "corvane/hcontainer.h"
#include "corvane/htext.h"

namespace velmora {

// The frames of a listing: the names ending in ".png" (byte for byte), in
// name order, which numbers the output files. Names compare byte by byte with
// a-z folded to A-Z, the order of a folder on Windows' own file system; names
// equal after folding compare byte by byte. The list points into listing,
// which must outlive it.
//   [c.png, B.png, a.png]              => [a.png, B.png, c.png]
//   [walk_b.png, walkA.png]            => [walkA.png, walk_b.png]
//   [frame_2.png, frame_10.png]        => [frame_10.png, frame_2.png]
//   [a.png, A.png]                     => [A.png, a.png]
//   [x.PNG, .png, y.png.bak]           => [.png]
FrameList selectFrames(const corvane::hlist<corvane::htext>& listing);

int runDriver(int argc, const char* const* argv);

}  // namespace velmora

#endif  // VELMORA_RUN_DRIVER_H
