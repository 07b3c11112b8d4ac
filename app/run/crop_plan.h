// The crop of one animation, settled before any frame is written: the scan
// of its frames for their visible boxes (or a forced rectangle), the canvas
// the frames lie in, the rectangle and its widening, and the coverage map
// -preview counts in. The run of one folder and the runs over animations
// share it; nothing here prints: progress comes through a callback, every
// stop in the result.
#ifndef VELMORA_RUN_CROP_PLAN_H
#define VELMORA_RUN_CROP_PLAN_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/crop_rect.h"
#include "base/frame_result.h"
#include "base/status.h"
#include "corvane/htext.h"
#include "image/coverage_map.h"
#include "image/frame_work.h"
#include "run/failure.h"
#include "run/frame_list.h"

namespace velmora {

struct PlanOptions {
  uint8_t threshold = 0;
  Anchor anchor = Anchor::topleft;
  unsigned align = kDefaultAlign;  // 1 for no widening
  std::optional<CropRect> forced;
  // A forced rectangle is kept to the canvas (a sheet's cells hold no pixel
  // outside it).
  bool keepToCanvas = false;
  bool pictured = false;  // a coverage map is kept for the picture
  unsigned jobs = 1;
  PixelBudget* budget = nullptr;
};

struct CropPlan {
  // none, frame (frame stopFrame stopped the scan: status, stopResult),
  // nothingShown, invalidRect (area is no rectangle) or cropTooLarge (crop,
  // the widened area, holds more than kMaxCropPixels).
  Failure stop = Failure::none;
  Status status;
  unsigned stopFrame = 0;
  FrameResult stopResult;
  bool forced = false;
  CropRect area;  // finished, before widening (after a stop of the scan: none)
  CropRect crop;  // widened
  Placement placement;
  std::vector<CropRect> visible;  // after a scan: every frame's box in the canvas
  // With pictured, and unless the plan stopped: the map the scan counted in,
  // or for a forced rectangle an empty one that the frame loop counts in.
  std::unique_ptr<CoverageMap> coverage;
};

// Plans the crop of the frames source/name. scanned(k) is called as
// determineBounds calls it; a forced rectangle scans nothing.
CropPlan planCrop(const FrameList& frames, const corvane::htext& source,
                  const PlanOptions& options, const std::function<void(unsigned k)>& scanned);

// The coverage picture of a plan whose frames are all counted, as PNG bytes.
Status pictureOf(const CropPlan& plan, std::string& png);

}  // namespace velmora

#endif  // VELMORA_RUN_CROP_PLAN_H
