// The crop rectangle and its arithmetic.
//
// A rectangle is four signed 32-bit pixel coordinates, y growing downward, -1
// meaning "not set". Every finished rectangle has exclusive maxima, so its
// width is maxX - minX and its height maxY - minY. The arithmetic here is done
// in 64 bits, so no forced rectangle, however close to the limits of a 32-bit
// integer, can overflow.
#ifndef VELMORA_BASE_CROP_RECT_H
#define VELMORA_BASE_CROP_RECT_H

#include <cstdint>

namespace velmora {

// While a scan runs the maxima are inclusive; see above for finished ones.
struct CropRect {
  int32_t minX = -1;
  int32_t minY = -1;
  int32_t maxX = -1;
  int32_t maxY = -1;
};

// The most pixels one cropped frame may hold (16384 x 16384); a larger
// rectangle could not be allocated for every frame on an ordinary machine.
constexpr int64_t kMaxCropPixels = int64_t(1) << 28;

// The multiple the crop is widened to unless -align says otherwise, and the
// largest -align.
constexpr unsigned kDefaultAlign = 16;
constexpr unsigned kMaxAlign = 256;

// minX and minY set (not -1), maxX and maxY positive, both sides non-empty,
// and width and height after the widening to multiples of align still within
// a signed 32-bit integer. Other negative minima pass.
//   (0, 0, 1, 1)     => true     (-3, -3, 5, 5) => true
//   (-1, 0, 5, 5)    => false    (5, 0, 5, 5)   => false
//   (-1, -1, 0, 0)   => false
bool isRectValid(const CropRect& rect, unsigned align = kDefaultAlign);

// Grows maxX, then maxY, until width and height are multiples of align (1
// to kMaxAlign); the left and top edges stay. Expects a valid rectangle.
//   (10, 20, 110, 70)       => (10, 20, 122, 84)
//   (10, 20, 110, 70), 1    => (10, 20, 110, 70)
//   (10, 20, 110, 70), 256  => (10, 20, 266, 276)
void correctRectSize(CropRect& rect, unsigned align = kDefaultAlign);

// What the crop adds outside a frame's canvas (-fill).
enum class Fill { black, transparent };

// How frames of different sizes are laid on one another (-anchor), in the
// canvas of the largest width W and the largest height H among them.
enum class Anchor { topleft, center, bottom };

// Where a frame of w x h lies in the W x H canvas.
//   topleft => (0, 0)
//   center  => ((W - w) / 2, (H - h) / 2), rounded down
//   bottom  => ((W - w) / 2 rounded down, H - h)
struct Offset {
  int32_t x = 0;
  int32_t y = 0;
};
Offset placeFrame(Anchor anchor, int64_t canvasWidth, int64_t canvasHeight, int64_t width,
                  int64_t height);

// rect moved by (-offset.x, -offset.y) into framed: a rectangle of the
// canvas in the frame's own canvas. False when that leaves the range of a
// 32-bit integer (a forced rectangle near its limits).
bool inFrame(const CropRect& rect, const Offset& offset, CropRect& framed);

// Width times height, in 64 bits.
int64_t rectArea(const CropRect& rect);

}  // namespace velmora

#endif  // VELMORA_BASE_CROP_RECT_H
