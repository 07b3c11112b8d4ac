#include "image/image.h"

#include <FreeImage.h>

namespace velmora {

void ImageRelease::operator()(FIBITMAP* image) const { FreeImage_Unload(image); }

ImageLibrary::ImageLibrary() { FreeImage_Initialise(FALSE); }

ImageLibrary::~ImageLibrary() { FreeImage_DeInitialise(); }

void expandTransparencyTable(Image& frame) {
  if (frame == nullptr || FreeImage_GetImageType(frame.get()) != FIT_BITMAP ||
      FreeImage_GetBPP(frame.get()) > 8 || !FreeImage_IsTransparent(frame.get())) {
    return;
  }
  frame.reset(FreeImage_ConvertTo32Bits(frame.get()));
}

}  // namespace velmora
