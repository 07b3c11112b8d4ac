#include "frame_output.h"

#include <FreeImage.h>

#include <cstdio>

#include "console.h"
#include "corvane/hfolder.h"
#include "frame_loader.h"

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

htext zeroPad(const htext& text, int width) {
  if (static_cast<int64_t>(text.size()) >= width) return text;
  return htext(std::string(width - text.size(), '0')) + text;
}

namespace {

// Saves through a temporary name beside the final one; gives false and leaves
// nothing behind when either step fails.
bool saveFrame(FIBITMAP* image, const htext& path) {
  const htext partial = path + ".part";
  if (!FreeImage_Save(FIF_PNG, image, partial.c_str(), PNG_DEFAULT)) {
    // A folder in the way made the save fail; it is not ours, and remove()
    // would take it when empty.
    if (!hfolder::isFolder(partial)) std::remove(partial.c_str());
    return false;
  }
  if (std::rename(partial.c_str(), path.c_str()) != 0) {
    std::remove(partial.c_str());
    return false;
  }
  return true;
}

}  // namespace

int writeCroppedFrames(const FrameList& frames, const htext& source, const htext& output,
                       const CropRect& rect) {
  const char* const label = "Cropping and saving new frames to disk...";
  const unsigned count = static_cast<unsigned>(frames.size());
  int failed = 0;
  say("\n");
  for (unsigned i = 1; i <= count; ++i) {
    const char* name = frames[i - 1];
    say("\r>> %s %i%%", label, progressPercent(i - 1, count));
    const htext path = hfolder::join(source, name);
    const htext target = hfolder::join(output, "/autocropped/out_") + zeroPad(htext(int(i)), 5) + ".png";
    const char* failure = nullptr;
    FIBITMAP* frame = loadFrameForOutput(path, failure);
    if (frame != nullptr) {
      cropFrame(frame, rect);
      if (frame == nullptr) {
        failure = "could not be cropped";
      } else if (!saveFrame(frame, target)) {
        failure = "could not be saved";
      }
      FreeImage_Unload(frame);
    }
    if (failure != nullptr) {
      ++failed;
      say("\nWarning, frame \"%s\" %s; \"%s\" was not written.\n", name, failure,
          hfolder::leafOf(target).c_str());
    }
  }
  say("\r>> %s %i%%", label, progressPercent(count, count));
  return failed;
}

}  // namespace velmora
