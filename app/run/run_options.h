// What a run is asked to do and what became of each of its animations.
//
// A run is a list of animations: a one-folder run is a list of one, whose
// frames are written in place into the autocropped folder; the runs over
// animations (-tree, -split, -sheet) write each animation, or with -sheet
// each folder's sheet, into a staging folder that then takes its folder's
// place whole (run/placement.h). Every way an animation can fail is named by
// one Failure (run/failure.h); the Status beside it holds the cause. These are facts for the
// console to word: nothing here is a sentence.
#ifndef VELMORA_RUN_RUN_OPTIONS_H
#define VELMORA_RUN_RUN_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "base/crop_rect.h"
#include "base/frame_result.h"
#include "base/status.h"
#include "corvane/htext.h"
#include "image/frame_work.h"
#include "run/animations.h"
#include "run/failure.h"
#include "run/manifest.h"
#include "run/sheet_layout.h"

namespace velmora {

// How an animation's output reaches its folder.
enum class Placing {
  // Each frame is saved whole into the folder as it is written; a frame that
  // cannot be saved keeps its earlier file, and the others are written all
  // the same. The picture is the file pictures names.
  inPlace,
  // Into a new folder of the staging folder, which takes the place of the
  // animation's folder once every frame is written; the first frame that
  // fails drops the animation and leaves its earlier output.
  staged,
};

struct RunOptions {
  Placing placing = Placing::staged;
  uint8_t threshold = 0;
  Fill fill = Fill::black;
  Anchor anchor = Anchor::topleft;
  unsigned align = kDefaultAlign;
  bool optimize = false;
  bool forced = false;
  CropRect forcedRect;
  unsigned jobs = 1;
  corvane::htext target;    // the autocropped folder, which exists
  corvane::htext staging;   // staged: a new folder of the run's own beside it
  // In place: the picture's file; staged: -preview's folder. <empty> for none.
  corvane::htext pictures;
  bool split = false;       // pictures are named after the stem
  // -sheet: each folder's animations as the pages of one atlas, cells of
  // padding pixels apart on pages of at most sheetMax a side; animations
  // without -split are named after their folder (sourceName for the source
  // folder itself).
  bool sheet = false;
  unsigned padding = kDefaultPadding;
  unsigned sheetMax = kDefaultSheetMax;
  corvane::htext sourceName;
  // Each animation's report entry is wanted (-report, -incremental).
  bool reporting = false;
  // With -incremental: the settings that shape the output, and the last
  // run's manifest, whose unchanged animations are skipped.
  bool incremental = false;
  std::string settings;
  const Manifest* manifest = nullptr;
};

// Where a frame's cell lies in a sheet: its page's file and rectangle.
struct SheetCell {
  std::string page;
  uint32_t x = 0, y = 0, w = 0, h = 0;
};

struct AnimationResult {
  bool skipped = false;  // unchanged since the manifest's run; nothing done
  Failure failure = Failure::none;
  Status status;         // the frame's or the folder's
  unsigned frame = 0;    // the frame, for frame and notWritten
  bool forced = false;
  CropRect area;         // finished, before widening
  CropRect crop;         // widened
  Placement placement;
  std::vector<CropRect> visible;  // after a scan: every frame's box in the canvas
  std::vector<FrameResult> results;
  unsigned failedFrames = 0;      // in place: the frames not written
  corvane::htext folder;           // where its frames are
  // notReplaced: what its old folder held besides its frames could be put
  // neither back nor beside it, and is still in the staging folder, which
  // then stays.
  bool stranded = false;
  bool pictureAsked = false;       // its plan held a coverage map
  corvane::htext picture;          // the picture's file; <empty> without one
  Status pictured;                 // whether it could be written
  uint64_t bytesIn = 0;
  uint64_t bytesOut = 0;
  // -sheet: each frame's cell, the cells stored, the frames that share a
  // cell with an earlier one; the pages of its folder's sheet and their bytes
  // (on the first animation of the folder only).
  std::vector<SheetCell> cells;
  unsigned stored = 0;
  unsigned shared = 0;
  unsigned pages = 0;
  // What the manifest keeps of it; for a skipped one, its entry. With
  // reporting, entry.report is its report entry (for a failed one too).
  ManifestEntry entry;
};

// The folder an animation's frames go in: its own, or with -sheet its
// folder's sheet's.
corvane::htext outputFolder(const RunOptions& options, const Animation& animation);

// The folder below autocropped that holds the sheet of an animation, and
// below the pictures' folder its picture: with -split its stem's folder's.
corvane::htext sheetFolder(const RunOptions& options, const Animation& animation);

// The name an animation has in its sheet: its stem, or its folder's name.
std::string sheetName(const RunOptions& options, const Animation& animation);

// The file an animation's picture is written as: in place, pictures itself;
// staged, <pictures>/<output>.png with split, <pictures>/<output>/coverage.png
// without.
corvane::htext pictureFile(const RunOptions& options, const Animation& animation);

}  // namespace velmora

#endif  // VELMORA_RUN_RUN_OPTIONS_H
