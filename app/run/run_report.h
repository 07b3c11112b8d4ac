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
//   area, crop        the rectangle before and after widening, {x, y, w, h}
//   edges             after a scan: for each edge of area (left, top, right,
//                     bottom) where it lies (at; right and bottom exclusive),
//                     how many frames reach it (count), the first 10 of them
//                     (frames), and where it would lie without them
//                     (without; null when no other frame shows anything)
//   frames            in output order: source (the frame's name), output
//                     (out_00001.png, ...), sourceSize {w, h} from its header
//                     or null, spriteSourceSize (the crop), after a scan
//                     visible (the frame's own box {x, y, w, h}, null when it
//                     shows nothing), written, and for a frame not written
//                     the problem the frame loop printed and, where the
//                     system gave one, its reason
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
#include "run/frame_list.h"

namespace velmora {

struct RunSummary {
  corvane::htext source;
  corvane::htext output;
  uint8_t threshold = 0;
  FrameOrder order = FrameOrder::name;
  bool forced = false;
  bool optimized = false;  // -optimize
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

// The report, indented by two blanks, ending in a line feed. results holds
// one entry per frame, in the order of frames.
std::string reportJson(const RunSummary& run, const FrameList& frames,
                       const std::vector<FrameResult>& results);

// Saves reportJson as path with saveFile (host/file_save.h). failed, with
// why, when it could not be written; an earlier file at path then stays as
// it was.
Status writeReport(const corvane::htext& path, const RunSummary& run, const FrameList& frames,
                 const std::vector<FrameResult>& results);

}  // namespace velmora

#endif  // VELMORA_RUN_RUN_REPORT_H
