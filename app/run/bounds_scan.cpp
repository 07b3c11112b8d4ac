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
                           const std::function<void(unsigned)>& scanned) {
  const unsigned count = static_cast<unsigned>(frames.size());
  const unsigned threads = std::max(1u, std::min(jobs, count));
  BoundsScan scan;
  scan.frames.resize(count);
  PixelBudget budget(kThreadsPixelBudget);
  runInOrder(
      count, threads,
      [&](unsigned k, unsigned) {
        scan.frames[k] = scanFrame(hfolder::join(source, frames[k]), threshold,
                                   threads > 1 ? &budget : nullptr, coverage);
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
  for (const FrameScan& frame : scan.frames) {
    const CropRect& box = frame.visible;
    if (box.minX == -1) continue;
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
