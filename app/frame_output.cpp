#include "frame_output.h"

#include <FreeImage.h>

#include <algorithm>
#include <vector>

#include "bounds_scanner.h"
#include "console.h"
#include "corvane/hfolder.h"
#include "coverage_map.h"
#include "file_save.h"
#include "frame_loader.h"
#include "png_chunks.h"
#include "png_optimize.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

namespace {

// Opaque black in the layout of one pixel of the frame's type: the library
// copies as many bytes from the fill colour as one pixel has (8 for 16-bit
// RGBA, up to 16), so a four-byte colour would be read past its end.
const void* fillFor(FIBITMAP* frame) {
  static const RGBQUAD bitmap = {0, 0, 0, 255};  // blue, green, red, alpha
  static const FIRGBA16 rgba16 = {0, 0, 0, 65535};
  static const FIRGBAF rgbaf = {0.0f, 0.0f, 0.0f, 1.0f};
  static const double black[2] = {0.0, 0.0};  // the widest pixel, without alpha
  switch (FreeImage_GetImageType(frame)) {
    case FIT_BITMAP:
      return &bitmap;
    case FIT_RGBA16:
      return &rgba16;
    case FIT_RGBAF:
      return &rgbaf;
    default:
      return black;
  }
}

}  // namespace

void cropFrame(FIBITMAP*& frame, const CropRect& rect) {
  expandTransparencyTable(frame);
  if (frame == nullptr) return;
  const int32_t height = static_cast<int32_t>(FreeImage_GetHeight(frame));
  const int32_t width = static_cast<int32_t>(FreeImage_GetWidth(frame));
  const void* fill = fillFor(frame);
  FIBITMAP* cropped = FreeImage_EnlargeCanvas(frame, -rect.minX, -rect.minY, rect.maxX - width,
                                              rect.maxY - height, fill, FI_COLOR_IS_RGBA_COLOR);
  if (cropped == nullptr && (rect.minX >= width || rect.minY >= height || rect.maxX <= 0 ||
                             rect.maxY <= 0)) {
    // The library refuses a rectangle that misses the frame altogether; such
    // a frame (a small one among larger ones, say) crops to pure fill.
    cropped = FreeImage_AllocateExT(FreeImage_GetImageType(frame), rect.maxX - rect.minX,
                                    rect.maxY - rect.minY, FreeImage_GetBPP(frame), fill,
                                    FI_COLOR_IS_RGBA_COLOR, FreeImage_GetPalette(frame),
                                    FreeImage_GetRedMask(frame), FreeImage_GetGreenMask(frame),
                                    FreeImage_GetBlueMask(frame));
  }
  FreeImage_Unload(frame);
  frame = cropped;
}

bool encodeFrame(FIBITMAP* image, const std::string& chunks, std::string& png, int flags) {
  FIMEMORY* memory = FreeImage_OpenMemory();
  if (memory == nullptr) return false;
  BYTE* data = nullptr;
  DWORD size = 0;
  const bool encoded = FreeImage_SaveToMemory(FIF_PNG, image, memory, flags) &&
                       FreeImage_AcquireMemory(memory, &data, &size);
  if (encoded) png.assign(reinterpret_cast<const char*>(data), size);
  FreeImage_CloseMemory(memory);
  return encoded && (chunks.empty() || spliceAfterHeader(png, chunks));
}

FrameResult writeFrame(const htext& path, const CropRect& rect, const htext& target,
                       PixelBudget* budget, const LoopOptions& options, PngMemory* memory) {
  FrameSource source = FrameSource::open(path);
  if (source.status() != FrameStatus::ok) return source.result();
  const BudgetShare share(budget, int64_t(source.width()) * source.height() + rectArea(rect));
  Image frame = source.decode();
  FrameResult result = source.result();
  if (frame == nullptr) return result;
  FIBITMAP* cropped = frame.release();
  if (options.coverage != nullptr) {
    expandTransparencyTable(cropped);
    options.coverage->addFrame(cropped, options.threshold);
  }
  cropFrame(cropped, rect);
  frame.reset(cropped);
  std::string png;
  if (frame == nullptr) {
    result.status = FrameStatus::notCropped;
  } else if (!encodeFrame(frame.get(), source.colourChunks(), png)) {
    result.status = FrameStatus::notSaved;
  } else {
    // The default encoding is the bound that the optimized one must beat.
    if (options.optimize) encodeOptimized(frame.get(), source.colourChunks(), png, memory);
    if (!saveFile(png, target, &result.reason)) result.status = FrameStatus::notSaved;
  }
  return result;
}

const char* frameProblem(FrameStatus status) {
  static_assert(kMaxFramePixels == 268435456 && kMaxPackedMetadataBytes == 65536,
                "the wordings below name the bounds");
  switch (status) {
    case FrameStatus::ok:
      return nullptr;
    case FrameStatus::tooLarge:
      return "declares more than 268435456 pixels";
    case FrameStatus::tooMuchMetadata:
      return "holds more than 65536 bytes of compressed metadata";
    case FrameStatus::notCropped:
      return "could not be cropped";
    case FrameStatus::notSaved:
      return "could not be saved";
    default:
      return "could not be loaded as PNG";
  }
}

std::vector<FrameResult> writeCroppedFrames(const FrameList& frames, const htext& source,
                                            const htext& folder, const CropRect& rect,
                                            const LoopOptions& options) {
  const char* const label = "Cropping and saving new frames to disk...";
  const unsigned count = static_cast<unsigned>(frames.size());
  const unsigned threads = std::max(1u, std::min(options.jobs, count));
  std::vector<FrameResult> results(count);
  PixelBudget budget(kThreadsPixelBudget);
  std::vector<PngMemory> memories(threads);
  say("\n");
  say("\r>> %s %i%%", label, progressPercent(0, count));
  runInOrder(
      count, threads,
      [&](unsigned k, unsigned worker) {
        results[k] = writeFrame(hfolder::join(source, frames[k]), rect,
                                hfolder::join(folder, outputName(k + 1)),
                                threads > 1 ? &budget : nullptr, options, &memories[worker]);
      },
      [&](unsigned k) {
        if (const char* problem = frameProblem(results[k].status)) {
          say("\nWarning, frame \"%s\" %s; \"%s\" was not written.\n", frames[k], problem,
              outputName(k + 1).c_str());
        }
        say("\r>> %s %i%%", label, progressPercent(k + 1, count));
        return true;
      });
  return results;
}

}  // namespace velmora
