// Which pixels of a decoded frame are visible: the one test that the bounds
// scan and the coverage map both apply, so the box of a frame and the pixels
// its picture counts can never disagree.
//
// A pixel is visible when its alpha is greater than the threshold: the alpha
// byte of a 32-bit pixel against the threshold itself, the 16-bit alpha of a
// FIT_RGBA16 pixel against threshold * 257 (which maps 0..255 onto 0..65535
// exactly, so 255 still leaves nothing visible). The tests are inline and
// branch-free, for the scan's inner loops; rows are given top first.
#ifndef VELMORA_IMAGE_VISIBLE_PIXEL_H
#define VELMORA_IMAGE_VISIBLE_PIXEL_H

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>

namespace velmora {

// The rows of frame, counted from the top: the library stores them bottom-up.
class RowsFromTop {
 public:
  explicit RowsFromTop(FIBITMAP* frame) : frame_(frame), height_(FreeImage_GetHeight(frame)) {}
  const BYTE* operator()(int64_t y) const { return FreeImage_GetScanLine(frame_, int(height_ - 1 - y)); }

 private:
  FIBITMAP* frame_;
  int64_t height_;
};

// Pixel x of a row of 32-bit pixels.
struct Rgba8Visible {
  explicit Rgba8Visible(uint8_t threshold) : limit(threshold) {}
  bool operator()(const BYTE* row, int64_t x) const {
    return row[4 * size_t(x) + FI_RGBA_ALPHA] > limit;
  }
  uint8_t limit;
};

// Pixel x of a row of FIT_RGBA16 pixels.
struct Rgba16Visible {
  explicit Rgba16Visible(uint8_t threshold) : limit(257u * threshold) {}
  bool operator()(const BYTE* row, int64_t x) const {
    return reinterpret_cast<const FIRGBA16*>(row)[x].alpha > limit;
  }
  unsigned limit;
};

}  // namespace velmora

#endif  // VELMORA_IMAGE_VISIBLE_PIXEL_H
