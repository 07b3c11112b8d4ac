// The animations of a -tree or -split run, cropped one after another or
// spread over threads, each on its own: an animation that cannot be cropped
// leaves its earlier output as it was and the others go on.
//
// An animation's frames are written into a new folder of the run's own
// (the staging folder beside autocropped), which takes the place of the
// animation's folder once every frame is written; the old folder goes after
// that, so no stale frame of an earlier, longer run stays behind and a run
// stopped in the middle leaves the old folder or the new one. What the old
// folder held besides the animation's frames (the folders of the animations
// below it, a file of the user's) moves into the new one first. Results come
// back through a callback in animation order, on the calling thread, which
// also puts each folder in its place: the files are those of one thread
// whatever the number of threads. Nothing here prints.
#ifndef VELMORA_RUN_TREE_RUN_H
#define VELMORA_RUN_TREE_RUN_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/crop_rect.h"
#include "base/frame_result.h"
#include "base/status.h"
#include "corvane/htext.h"
#include "image/frame_work.h"
#include "run/animations.h"
#include "run/manifest.h"
#include "run/placement.h"
#include "run/sheet_layout.h"

namespace velmora {

struct TreeOptions {
  uint8_t threshold = 0;
  Fill fill = Fill::black;
  Anchor anchor = Anchor::topleft;
  unsigned align = kDefaultAlign;
  bool optimize = false;
  bool forced = false;
  CropRect forcedRect;
  unsigned jobs = 1;
  corvane::htext target;    // the autocropped folder, which exists
  corvane::htext staging;   // a new folder of the run's own beside it
  corvane::htext pictures;  // -preview's folder; <empty> for none
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

// Why an animation was not written.
enum class AnimationFailure {
  none,
  frame,         // a frame stopped the scan (status: unreadable, noAlpha, ...)
  nothingShown,  // no frame has a visible pixel
  invalidRect,   // the forced rectangle is not a rectangle
  tooLarge,      // the widened rectangle holds more than kMaxCropPixels
  notWritten,    // a frame of the frame loop could not be written
  notReplaced,   // the new folder could not take the old one's place
  cellTooLarge,  // -sheet: its cell and padding are larger than a page may be
  sheet,         // -sheet: another animation of its folder stopped the sheet
};

// Where a frame's cell lies in a sheet: its page's file and rectangle.
struct SheetCell {
  std::string page;
  uint32_t x = 0, y = 0, w = 0, h = 0;
};

struct AnimationResult {
  bool skipped = false;  // unchanged since the manifest's run; nothing done
  AnimationFailure failure = AnimationFailure::none;
  Status status;         // the frame's or the folder's
  unsigned frame = 0;    // the frame, for frame and notWritten
  bool forced = false;
  CropRect area;         // finished, before widening
  CropRect crop;         // widened
  Placement placement;
  std::vector<CropRect> visible;  // after a scan: every frame's box in the canvas
  std::vector<FrameResult> results;
  corvane::htext folder;           // where its frames are
  // notReplaced: what its old folder held besides its frames could be put
  // neither back nor beside it, and is still in the staging folder, which
  // then stays.
  bool stranded = false;
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
corvane::htext outputFolder(const TreeOptions& options, const Animation& animation);

// The name an animation has in its sheet: its stem, or its folder's name.
std::string sheetName(const TreeOptions& options, const Animation& animation);

// The file an animation's picture is written as: <pictures>/<output>.png
// with split, <pictures>/<output>/coverage.png without.
corvane::htext pictureFile(const TreeOptions& options, const Animation& animation);

// What stopped an animation, as the console and the report word it:
// "frame \"x.png\" could not be loaded as PNG", "no frame has a visible
// pixel", ...; the reason (the result's status) comes after it.
std::string animationProblem(const Animation& animation, const AnimationResult& result);

// The settings that shape an animation's output, as the manifest compares
// them: a change of any of them redoes every animation.
std::string outputSettings(const TreeOptions& options, FrameOrder order);

// The manifest an -incremental run leaves: the entries of the animations it
// cropped or skipped, and for one that failed the entry read, if any.
// unchanged when it is the manifest read: nothing cropped, nothing gone.
Manifest nextManifest(const Manifest& read, const std::vector<Animation>& animations,
                      const std::vector<AnimationResult>& results, bool& unchanged);

// Crops every animation; done(k, result) is called on the calling thread in
// animation order, once animation k's folder is in place. With jobs above
// 1, up to that many threads crop the animations (a single animation's
// frames, when there is one). The staging folder is removed at the end,
// unless a result is stranded.
std::vector<AnimationResult> cropAnimations(
    const std::vector<Animation>& animations, const TreeOptions& options,
    const std::function<void(unsigned k, const AnimationResult& result)>& done);

}  // namespace velmora

#endif  // VELMORA_RUN_TREE_RUN_H
