// The address sanitizer's settings for a fuzz target; included by exactly one
// source of each target.
//
// A freed block waits in quarantine before its memory is handed out again, so
// that a use after free still finds it poisoned. The default quarantine of
// 256 MiB makes every run touch fresh pages (zlib's 256 KiB deflate state, the
// text unit's doubling buffers), and the page faults cost more than the code
// under test. One run frees far less than 16 MiB, so a use after free within
// a run, or into the run before, is still caught.
#ifndef VELMORA_FUZZ_ASAN_DEFAULTS_H
#define VELMORA_FUZZ_ASAN_DEFAULTS_H

//
// A target whose runs are mostly small allocations may add settings of its own
// in VELMORA_FUZZ_ASAN_MORE (":name=value...") before including this header.
#ifndef VELMORA_FUZZ_ASAN_MORE
#define VELMORA_FUZZ_ASAN_MORE ""
#endif

extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16" VELMORA_FUZZ_ASAN_MORE; }

#endif  // VELMORA_FUZZ_ASAN_DEFAULTS_H
