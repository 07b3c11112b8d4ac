// The settings of a run, read from the command line and checked before
// anything is read from the disk; shared by the two kinds of run the console
// drives (one folder, or the animations of -tree, -split and -sheet).
#ifndef VELMORA_CONSOLE_SETTINGS_H
#define VELMORA_CONSOLE_SETTINGS_H

#include <cstdint>

#include "base/crop_rect.h"
#include "base/status.h"
#include "corvane/htext.h"
#include "host/host.h"
#include "run/frame_list.h"
#include "run/run_options.h"
#include "run/sheet_layout.h"

namespace velmora {

struct RunSettings {
  corvane::htext source;     // as typed, trailing backslashes dropped
  corvane::htext output;     // -o as typed; <empty> when absent
  corvane::htext forced;     // -forcecrop as typed; <empty> when absent
  uint8_t threshold = 0;     // the low 8 bits of -threshold
  unsigned jobs = 1;
  FrameOrder order = FrameOrder::name;
  bool tree = false;
  bool split = false;
  bool incremental = false;
  bool optimize = false;
  Fill fill = Fill::black;
  Anchor anchor = Anchor::topleft;
  unsigned align = kDefaultAlign;
  bool sheet = false;
  unsigned padding = kDefaultPadding;
  unsigned sheetMax = kDefaultSheetMax;
  corvane::htext reportTyped, reportFile;    // -report as typed and settled
  corvane::htext previewTyped, previewFile;  // -preview: a file, or a folder for animations
};

// The options of the run layer that the settings give: the crop, the
// encoding, the threads, the sheet and the pictures' place. The caller adds
// the placing, the folders and the forced rectangle.
RunOptions runOptionsOf(const RunSettings& settings);

// The run of one folder of frames (the tool without -tree, -split and -sheet).
int runFolder(const RunSettings& settings);

// The run of the animations of -tree, -split or -sheet.
int runAnimations(const RunSettings& settings);

// Prints "Checking source dir..." and, when the source names no folder that
// can be read, the STOP that ends the run: the settled folder, or <empty>
// after the STOP. The folder services read backslashes as separators and
// resolve "." and ".." as text; the listing, the loads, the output folder and
// the saves all use that one settled text, so they cannot name different
// folders.
corvane::htext checkSourceFolder(const RunSettings& settings);

// The folder autocropped goes in: -o when it names a folder (given), else
// the source folder; settled.
struct OutputFolder {
  corvane::htext folder;
  bool given = false;
};
OutputFolder outputFolderOf(const RunSettings& settings);

// The line that says which output folder the run uses, when -o was given.
void sayOutputChoice(const RunSettings& settings, const OutputFolder& output);

// The STOP of an autocropped folder that is the source folder, whose frames
// it would overwrite; true after it.
bool sayIfOutputIsSource(const corvane::htext& target, const corvane::htext& source);

// Makes the autocropped folder and the folders above it; false after the STOP
// of one that could not be made.
bool makeOutputFolder(const corvane::htext& target);

// Holds the autocropped folder for this run until lock goes: false after the
// STOP of a folder another run is writing into. A folder that cannot be held
// otherwise (where no file can be made) is written without it.
bool lockOutputFolder(const corvane::htext& target, host::FolderLock& lock);

// Reads -forcecrop into rect, printing ">> Custom crop-rect: <text>"; false
// after the STOP of a malformed one.
bool readForcedRect(const RunSettings& settings, CropRect& rect);

// The STOP of a rectangle that is no rectangle, with its pause.
void sayInvalidRect(const CropRect& rect);

// The STOP of a file the run wrote last (the report, the picture, the
// manifest) that could not be written.
void sayNotWritten(const char* what, const corvane::htext& typed, const Status& status);

// The end of a run that got as far as its frames: "All done!" when all went
// well, the closing pause, and the exit code.
int closeRun(bool allWritten);

}  // namespace velmora

#endif  // VELMORA_CONSOLE_SETTINGS_H
