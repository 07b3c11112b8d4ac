// The JSON report of a run (-report <file>): the folders, the threshold, the
// rectangle before and after widening, and what became of every frame, for an
// importer that must put the cropped frames back where they were.
//
// One object, in this key order:
//   source, output    the settled source folder and its autocropped folder
//   preview           with -preview, the settled path of the coverage
//                     picture, or null when it could not be written
//   threshold         the alpha threshold used (its low 8 bits)
//   order             the frame order, "name" or "natural" (-order)
//   forced            whether -forcecrop gave the rectangle
//   optimized         whether -optimize was given
//   fill, anchor      -fill and -anchor: "black" or "transparent"; "topleft",
//                     "center" or "bottom"
//   align             the multiple the crop was widened to (-align)
//   area, crop        the rectangle before and after widening, {x, y, w, h},
//                     in the canvas the frames are laid in
//   edges             after a scan: for each edge of area (left, top, right,
//                     bottom) where it lies (at; right and bottom exclusive),
//                     how many frames reach it (count), the first 10 of them
//                     (frames), and where it would lie without them
//                     (without; null when no other frame shows anything)
//   frames            in output order: source (the frame's name), output
//                     (out_00001.png, ...), sourceSize {w, h} from its header
//                     or null, with an anchor other than topleft its offset
//                     {x, y} in the canvas (null without a size),
//                     spriteSourceSize (the crop, in the frame's own canvas),
//                     after a scan visible (the frame's box {x, y, w, h} in
//                     the canvas, null when it shows nothing), written, and
//                     for a frame not written the problem the frame loop
//                     printed and, where the system gave one, its reason
//
// The report of a -tree, -split or -sheet run is one object too: source,
// output, threshold, order, split ("stem" or null), fill, anchor, align,
// optimized, and animations, one entry per animation in animation order:
// folder (below the source folder), stem (null without -split), output (its
// folder), then preview, forced, area, crop, edges and frames as above (with
// -sheet a frame's output is null and its page and cell follow, as sheet and
// cell {x, y, w, h}), or for one that failed its problem and, where one was
// named, the reason.
// Text that is not valid UTF-8 (names are bytes here) is written with U+FFFD
// in place of each invalid sequence, so the document is always valid JSON.
#ifndef VELMORA_RUN_RUN_REPORT_H
#define VELMORA_RUN_RUN_REPORT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/crop_rect.h"
#include "base/frame_result.h"
#include "base/status.h"
#include "corvane/htext.h"
#include "image/frame_work.h"
#include "run/animations.h"
#include "run/frame_list.h"
#include "run/run_options.h"

namespace velmora {

struct RunSummary {
  corvane::htext source;
  corvane::htext output;
  uint8_t threshold = 0;
  FrameOrder order = FrameOrder::name;
  bool forced = false;
  bool optimized = false;  // -optimize
  Fill fill = Fill::black;
  Anchor anchor = Anchor::topleft;
  unsigned align = kDefaultAlign;
  Placement placement;  // where each frame lies in the canvas
  CropRect area;  // finished, before widening
  CropRect crop;  // widened
  // After a scan, every frame's own visible box (unset when it shows
  // nothing); empty for a forced rectangle.
  std::vector<CropRect> visible;
  bool previewAsked = false;
  corvane::htext preview;  // the picture's settled path; <empty> when not written
};

// One edge of the area and the frames behind it.
struct Edge {
  int64_t at = 0;
  unsigned count = 0;
  std::vector<unsigned> frames;   // the first kEdgeFramesListed that reach it, by list place
  std::optional<int64_t> without;  // the edge the other frames' boxes give
};
constexpr unsigned kEdgeFramesListed = 10;

struct Edges {
  Edge left, top, right, bottom;
};

// The edges of area (the union of the boxes in visible) and the frames whose
// box reaches each; unset boxes reach none.
//   boxes (3, 0, 10, 5), (5, 1, 8, 9), unset; area (3, 0, 10, 9) =>
//   left   at 3,  count 1, frames [0], without 5
//   top    at 0,  count 1, frames [0], without 1
//   right  at 10, count 1, frames [0], without 8
//   bottom at 9,  count 1, frames [1], without 5
Edges edgesOf(const std::vector<CropRect>& visible, const CropRect& area);

// The words for why a frame was not written, as the console words it;
// nullptr for ok. The report quotes them; they are the console's.
using FrameProblemWords = const char* (*)(Status::Code code);

// The report, indented by two blanks, ending in a line feed. results holds
// one entry per frame, in the order of frames.
std::string reportJson(const RunSummary& run, const FrameList& frames,
                       const std::vector<FrameResult>& results, FrameProblemWords frameProblem);

// One frame of a sheet page: where its cell lies on the page (frame), where
// the cell lies in the animation's canvas (sprite), the canvas, and the
// anchor point in fractions of the canvas.
struct SheetFrame {
  std::string name;
  uint32_t x = 0, y = 0, w = 0, h = 0;
  CropRect sprite;
  uint32_t sourceWidth = 0, sourceHeight = 0;
  double pivotX = 0.5, pivotY = 0.5;
};

// One page of a sheet: its image, size and frames, each animation's frames
// on it in frame order, and on the first page of several the others' JSON.
struct SheetPage {
  std::string image;
  uint32_t width = 0, height = 0;
  std::vector<SheetFrame> frames;
  std::vector<std::pair<std::string, std::vector<std::string>>> animations;
  std::vector<std::string> related;
};

// A page's JSON in the hash layout that Phaser's and PixiJS's atlas loaders
// read: frames keyed by the source file name (frame, rotated, trimmed,
// spriteSourceSize, sourceSize, pivot, and the same point as anchor, which
// PixiJS reads), animations, and meta (app, version, image, format, size,
// scale, related_multi_packs on a first page of several).
std::string sheetJson(const SheetPage& page);

// What the report of a -tree, -split or -sheet run gives besides its
// options: the settled source folder and the frame order.
struct TreeSummary {
  corvane::htext source;
  FrameOrder order = FrameOrder::name;
};

// One animation's entry of the report, as JSON (for the report, and for the
// manifest to give back when the animation is skipped); problem is what
// stopped a failed one, in the console's words.
std::string animationEntryJson(const RunOptions& options, const Animation& animation,
                               const AnimationResult& result, const std::string& problem,
                               FrameProblemWords frameProblem);

// An entry the manifest kept, with its output folder and picture where this
// run has them (the same files, perhaps by another path).
std::string keptEntryJson(const std::string& entry, const corvane::htext& output,
                          const corvane::htext& picture);

// The report of a -tree, -split or -sheet run, from its entries in animation
// order.
std::string treeReportJson(const TreeSummary& run, const RunOptions& options,
                           const std::vector<std::string>& entries);

}  // namespace velmora

#endif  // VELMORA_RUN_RUN_REPORT_H
