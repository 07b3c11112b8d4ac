// The bounds search over all frames of a run: the smallest rectangle that
// holds every visible pixel of every frame, a pixel being visible when its
// alpha is above the threshold.
//
// Every frame is scanned over its own size for the box of its own visible
// pixels; the rectangle is the union of those boxes. The first frame that
// cannot be scanned stops the search. Nothing here prints: progress comes
// through a callback, the stop in the result.
#ifndef VELMORA_RUN_BOUNDS_SCAN_H
#define VELMORA_RUN_BOUNDS_SCAN_H

#include <cstdint>
#include <functional>
#include <vector>

#include "base/crop_rect.h"
#include "base/frame_result.h"
#include "base/status.h"
#include "corvane/htext.h"
#include "image/frame_work.h"
#include "run/frame_list.h"

namespace velmora {

class CoverageMap;

// What the scan found: every frame's own result and box, in list order (the
// frames after one that stopped the scan are left unscanned), and the union
// of the boxes, (-1, -1, 0, 0) when no frame has a visible pixel. The boxes
// and the area lie in the animation's canvas, where placement lays each
// frame. stop is ok, or the status of frame stopFrame, which stopped the scan
// (unreadable, tooLarge, tooMuchMetadata, noAlpha); area is then of no use.
struct BoundsScan {
  std::vector<FrameScan> frames;
  CropRect area{-1, -1, 0, 0};
  Placement placement;
  Status stop;
  unsigned stopFrame = 0;
};

// Scans every frame of source/name in list order. scanned(k) is called on
// the calling thread, in list order, for every frame scanned without a stop.
// With jobs above 1, up to that many threads scan the frames; the calls and
// the result are the same. With a coverage map, every scanned frame's visible
// pixels are counted in it, where placement lays the frame; the map needs
// the canvas before the first frame, the boxes only after the last, so a
// placement of an unknown (0 x 0) canvas takes the frames' largest sizes.
// With a budget, the threads share it; else they take one of their own.
BoundsScan determineBounds(const FrameList& frames, const corvane::htext& source,
                           uint8_t threshold, unsigned jobs, CoverageMap* coverage,
                           const std::function<void(unsigned k)>& scanned,
                           const Placement& placement = Placement(),
                           PixelBudget* budget = nullptr);

}  // namespace velmora

#endif  // VELMORA_RUN_BOUNDS_SCAN_H
