#include "run/bounds_scan.h"

#include <algorithm>

#include "corvane/hfolder.h"
#include "image/frame_loader.h"
#include "image/frame_work.h"
#include "parallel/in_order.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

BoundsScan determineBounds(const FrameList& frames, const htext& source, uint8_t threshold,
                           unsigned jobs, CoverageMap* coverage,
                           const std::function<void(unsigned)>& scanned,
                           const Placement& placement, PixelBudget* budget) {
  const unsigned count = static_cast<unsigned>(frames.size());
  const unsigned threads = std::max(1u, std::min(jobs, count));
  BoundsScan scan;
  scan.frames.resize(count);
  PixelBudget own(kThreadsPixelBudget);
  PixelBudget* const shared = budget != nullptr ? budget : threads > 1 ? &own : nullptr;
  runInOrder(
      count, threads,
      [&](unsigned k, unsigned) {
        scan.frames[k] =
            scanFrame(hfolder::join(source, frames[k]), threshold, shared, coverage, placement);
      },
      [&](unsigned k) {
        const Status& status = scan.frames[k].result.status;
        if (status.ok()) {
          scanned(k);
          return true;
        }
        scan.stop = status;
        scan.stopFrame = k;
        return false;
      },
      [&](unsigned k, const char* why) {
        scan.frames[k] = FrameScan();
        scan.frames[k].result.status = Status(Status::Code::unreadable, why);
      });
  if (!scan.stop.ok()) return scan;
  scan.placement = placement;
  if (placement.width == 0 && placement.height == 0) {
    for (const FrameScan& frame : scan.frames) {
      scan.placement.width = std::max<int64_t>(scan.placement.width, frame.result.width);
      scan.placement.height = std::max<int64_t>(scan.placement.height, frame.result.height);
    }
  }
  for (FrameScan& frame : scan.frames) {
    CropRect& box = frame.visible;
    if (box.minX == -1) continue;
    const Offset offset = scan.placement.of(frame.result.width, frame.result.height);
    box = CropRect{box.minX + offset.x, box.minY + offset.y, box.maxX + offset.x,
                   box.maxY + offset.y};
    if (scan.area.minX == -1) {
      scan.area = box;
      continue;
    }
    scan.area.minX = std::min(scan.area.minX, box.minX);
    scan.area.minY = std::min(scan.area.minY, box.minY);
    scan.area.maxX = std::max(scan.area.maxX, box.maxX);
    scan.area.maxY = std::max(scan.area.maxY, box.maxY);
  }
  return scan;
}

}  // namespace velmora
