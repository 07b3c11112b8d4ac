#include "image/frame_work.h"

#include <algorithm>
#include <string>

#include "host/file_save.h"
#include "host/host.h"
#include "image/coverage_map.h"
#include "image/frame_bounds.h"
#include "image/frame_crop.h"
#include "image/frame_loader.h"
#include "png/png_encode.h"
#include "png/png_optimize.h"

namespace velmora {

using corvane::htext;

FrameScan scanFrame(const htext& path, uint8_t threshold, PixelBudget* budget,
                    CoverageMap* coverage, const Placement& placement) {
  FrameScan scan;
  FrameSource source = FrameSource::open(path);
  scan.result = source.result();
  if (!source.status().ok()) return scan;
  // The frame and its alpha channel.
  const BudgetShare share(budget, 2 * int64_t(source.width()) * source.height());
  Image frame = source.decode();
  scan.result = source.result();
  if (frame == nullptr) return scan;
  CropRect box;
  const Offset offset = placement.of(source.width(), source.height());
  if (!scanLoadedFrame(std::move(frame), threshold, box, coverage, offset)) {
    scan.result.status = Status(Status::Code::noAlpha);
  } else if (box.minX != -1) {
    scan.visible = CropRect{box.minX, box.minY, box.maxX + 1, box.maxY + 1};
  }
  return scan;
}

FrameResult writeFrame(const htext& path, const CropRect& rect, const htext& target,
                       PixelBudget* budget, const WriteOptions& options, PngMemory* memory) {
  FrameSource source = FrameSource::open(path);
  if (!source.status().ok()) return source.result();
  // The frame and its crop; then the crop and its filtered rows, and under
  // -optimize also a form's rows and a second filtering, and the best one.
  const int64_t crop = rectArea(rect);
  const BudgetShare share(budget, std::max(int64_t(source.width()) * source.height(), crop) +
                                      crop * (options.optimize ? 4 : 1));
  Image frame = source.decode();
  FrameResult result = source.result();
  if (frame == nullptr) return result;
  const Offset offset = options.placement.of(source.width(), source.height());
  if (options.coverage != nullptr) {
    expandTransparencyTable(frame);
    options.coverage->addFrame(frame.get(), options.threshold, offset);
  }
  CropRect framed;
  if (inFrame(rect, offset, framed)) {
    cropFrame(frame, framed, options.fill);
  } else {
    frame.reset();
  }
  if (frame == nullptr) {
    result.status = Status(Status::Code::notCropped);
    return result;
  }
  std::string png;
  const Status encoded =
      options.optimize ? encodeSmallest(frame.get(), source.colourChunks(), png, memory,
                                        source.statesResolution())
                       : encodeFrame(frame.get(), source.colourChunks(), png, memory);
  if (!encoded.ok()) {
    result.status = encoded.as(Status::Code::notSaved);
    return result;
  }
  frame.reset();
  const Status saved = options.freshFolder ? host::writeNewFile(target, png.data(), png.size())
                                           : saveFile(png, target);
  if (saved.ok()) {
    result.bytesOut = png.size();
  } else {
    result.status = saved.as(Status::Code::notSaved);
  }
  return result;
}

}  // namespace velmora
