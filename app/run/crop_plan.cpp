#include "run/crop_plan.h"

#include <algorithm>

#include "run/bounds_scan.h"

namespace velmora {

using corvane::htext;

CropPlan planCrop(const FrameList& frames, const htext& source, const PlanOptions& options,
                  const std::function<void(unsigned)>& scanned) {
  CropPlan plan;
  plan.forced = options.forced.has_value();
  const uint64_t count = frames.size();
  // The picture's canvas, and the place of a frame in it for a forced
  // rectangle, come from the headers: the scan's own sizes come too late.
  Placement placement{options.anchor, 0, 0};
  FrameExtent extent;
  if (options.pictured ||
      (plan.forced && (options.keepToCanvas || options.anchor != Anchor::topleft))) {
    extent = largestFrame(frames, source);
    placement.width = extent.width;
    placement.height = extent.height;
  }
  CropRect rect;
  if (!plan.forced) {
    if (options.pictured) {
      plan.coverage = std::make_unique<CoverageMap>(extent.width, extent.height, std::nullopt,
                                                    count, options.align);
    }
    BoundsScan scan = determineBounds(frames, source, options.threshold, options.jobs,
                                      plan.coverage.get(), scanned, placement, options.budget);
    if (!scan.stop.ok()) {
      plan.stop = Failure::frame;
      plan.status = scan.stop;
      plan.stopFrame = scan.stopFrame;
      plan.stopResult = scan.frames[scan.stopFrame].result;
      plan.coverage.reset();
      return plan;
    }
    rect = scan.area;
    placement = scan.placement;
    for (const FrameScan& frame : scan.frames) plan.visible.push_back(frame.visible);
  } else {
    rect = *options.forced;
    if (options.keepToCanvas) {
      rect.minX = std::max<int32_t>(rect.minX, 0);
      rect.minY = std::max<int32_t>(rect.minY, 0);
      rect.maxX = int32_t(std::min<int64_t>(rect.maxX, placement.width));
      rect.maxY = int32_t(std::min<int64_t>(rect.maxY, placement.height));
    }
  }
  plan.area = rect;
  plan.placement = placement;
  if (!isRectValid(rect, options.align)) {
    plan.stop = !plan.forced && rect.minX == -1 ? Failure::nothingShown : Failure::invalidRect;
    plan.coverage.reset();
    return plan;
  }
  plan.crop = rect;
  correctRectSize(plan.crop, options.align);
  if (rectArea(plan.crop) > kMaxCropPixels) {
    plan.stop = Failure::cropTooLarge;
    plan.coverage.reset();
    return plan;
  }
  if (options.pictured && plan.forced) {
    plan.coverage = std::make_unique<CoverageMap>(extent.width, extent.height, plan.crop, count);
  }
  return plan;
}

Status pictureOf(const CropPlan& plan, std::string& png) {
  return plan.coverage->picture(
      plan.crop, plan.forced ? std::nullopt : std::optional<CropRect>(plan.area), png);
}

}  // namespace velmora
