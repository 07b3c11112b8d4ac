#include "image/frame_crop.h"

#include <FreeImage.h>

#include <cstdint>

namespace velmora {

namespace {

// The fill in the layout of one pixel of the frame's type: the library
// copies as many bytes from the fill colour as one pixel has (8 for 16-bit
// RGBA, up to 16), so a four-byte colour would be read past its end.
const void* fillFor(FIBITMAP* frame, Fill fill) {
  static const RGBQUAD bitmap[2] = {{0, 0, 0, 255}, {0, 0, 0, 0}};  // blue, green, red, alpha
  static const FIRGBA16 rgba16[2] = {{0, 0, 0, 65535}, {0, 0, 0, 0}};
  static const FIRGBAF rgbaf[2] = {{0.0f, 0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.0f, 0.0f}};
  static const double black[2] = {0.0, 0.0};  // the widest pixel, without alpha
  const int k = fill == Fill::transparent ? 1 : 0;
  switch (FreeImage_GetImageType(frame)) {
    case FIT_BITMAP:
      return &bitmap[k];
    case FIT_RGBA16:
      return &rgba16[k];
    case FIT_RGBAF:
      return &rgbaf[k];
    default:
      return black;
  }
}

bool hasAlpha(FIBITMAP* frame) {
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(frame);
  return type == FIT_RGBA16 || type == FIT_RGBAF ||
         (type == FIT_BITMAP && FreeImage_GetBPP(frame) == 32);
}

// A frame without alpha in the type that holds its samples and alpha, so that
// a transparent fill can be transparent.
void addAlpha(Image& frame) {
  switch (FreeImage_GetImageType(frame.get())) {
    case FIT_BITMAP:
      frame.reset(FreeImage_ConvertTo32Bits(frame.get()));
      break;
    case FIT_UINT16:
    case FIT_RGB16:
      frame.reset(FreeImage_ConvertToRGBA16(frame.get()));
      break;
    case FIT_FLOAT:
    case FIT_RGBF:
      frame.reset(FreeImage_ConvertToRGBAF(frame.get()));
      break;
    default:
      break;
  }
}

}  // namespace

void cropFrame(Image& frame, const CropRect& rect, Fill fill) {
  expandTransparencyTable(frame);
  if (frame == nullptr) return;
  const int32_t height = static_cast<int32_t>(FreeImage_GetHeight(frame.get()));
  const int32_t width = static_cast<int32_t>(FreeImage_GetWidth(frame.get()));
  const bool beyond = rect.minX < 0 || rect.minY < 0 || rect.maxX > width || rect.maxY > height;
  if (fill == Fill::transparent && beyond && !hasAlpha(frame.get())) {
    addAlpha(frame);
    if (frame == nullptr) return;
  }
  FIBITMAP* const source = frame.get();
  const void* colour = fillFor(source, fill);
  FIBITMAP* cropped = FreeImage_EnlargeCanvas(source, -rect.minX, -rect.minY, rect.maxX - width,
                                              rect.maxY - height, colour, FI_COLOR_IS_RGBA_COLOR);
  if (cropped == nullptr && (rect.minX >= width || rect.minY >= height || rect.maxX <= 0 ||
                             rect.maxY <= 0)) {
    // The library refuses a rectangle that misses the frame altogether; such
    // a frame (a small one among larger ones, say) crops to pure fill.
    cropped = FreeImage_AllocateExT(FreeImage_GetImageType(source), rect.maxX - rect.minX,
                                    rect.maxY - rect.minY, FreeImage_GetBPP(source), colour,
                                    FI_COLOR_IS_RGBA_COLOR, FreeImage_GetPalette(source),
                                    FreeImage_GetRedMask(source), FreeImage_GetGreenMask(source),
                                    FreeImage_GetBlueMask(source));
  }
  frame.reset(cropped);
}

}  // namespace velmora
