#include "image/frame_crop.h"

#include <FreeImage.h>

#include <cstdint>

namespace velmora {

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

void cropFrame(Image& frame, const CropRect& rect) {
  expandTransparencyTable(frame);
  if (frame == nullptr) return;
  FIBITMAP* const source = frame.get();
  const int32_t height = static_cast<int32_t>(FreeImage_GetHeight(source));
  const int32_t width = static_cast<int32_t>(FreeImage_GetWidth(source));
  const void* fill = fillFor(source);
  FIBITMAP* cropped = FreeImage_EnlargeCanvas(source, -rect.minX, -rect.minY, rect.maxX - width,
                                              rect.maxY - height, fill, FI_COLOR_IS_RGBA_COLOR);
  if (cropped == nullptr && (rect.minX >= width || rect.minY >= height || rect.maxX <= 0 ||
                             rect.maxY <= 0)) {
    // The library refuses a rectangle that misses the frame altogether; such
    // a frame (a small one among larger ones, say) crops to pure fill.
    cropped = FreeImage_AllocateExT(FreeImage_GetImageType(source), rect.maxX - rect.minX,
                                    rect.maxY - rect.minY, FreeImage_GetBPP(source), fill,
                                    FI_COLOR_IS_RGBA_COLOR, FreeImage_GetPalette(source),
                                    FreeImage_GetRedMask(source), FreeImage_GetGreenMask(source),
                                    FreeImage_GetBlueMask(source));
  }
  frame.reset(cropped);
}

}  // namespace velmora
