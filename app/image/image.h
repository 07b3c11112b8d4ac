// The owning handle of a decoded image, and the one conversion every unit
// that reads pixels shares.
//
// Every decoded frame, crop and picture is held by an Image from the moment
// the library hands it over, so it is released on every path, an early
// return or an exception included. Units above the image layer pass Images
// around without seeing the image library's header.
#ifndef VELMORA_IMAGE_IMAGE_H
#define VELMORA_IMAGE_IMAGE_H

#include <memory>

struct FIBITMAP;

namespace velmora {

struct ImageRelease {
  void operator()(FIBITMAP* image) const;
};
using Image = std::unique_ptr<FIBITMAP, ImageRelease>;

// The image library, ready for the lifetime of the object. A statically
// linked library (the Windows build) registers its formats only when asked;
// a shared one has done so when it was loaded, and this changes nothing.
class ImageLibrary {
 public:
  ImageLibrary();
  ~ImageLibrary();
  ImageLibrary(const ImageLibrary&) = delete;
  ImageLibrary& operator=(const ImageLibrary&) = delete;
};

// A frame of 8 bits or fewer per pixel with a transparency table (palette and
// grey PNGs with tRNS) is replaced by its 32-bit RGBA conversion, which
// applies the table. Other frames stay as they are. frame is empty afterwards
// when the conversion failed.
void expandTransparencyTable(Image& frame);

}  // namespace velmora

#endif  // VELMORA_IMAGE_IMAGE_H
