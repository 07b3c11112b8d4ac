#include "base/crop_rect.h"

namespace velmora {

namespace {

constexpr int64_t kInt32Max = 2147483647;

int64_t roundUp(int64_t size, unsigned align) { return (size + align - 1) / align * align; }

}  // namespace

bool isRectValid(const CropRect& rect, unsigned align) {
  if (rect.minX == -1 || rect.minY == -1) return false;
  if (rect.maxX <= 0 || rect.maxY <= 0) return false;
  if (rect.minX >= rect.maxX || rect.minY >= rect.maxY) return false;
  const int64_t width = int64_t(rect.maxX) - rect.minX;
  const int64_t height = int64_t(rect.maxY) - rect.minY;
  // The widened sizes and the maxima they move must stay 32-bit numbers.
  const int64_t wideWidth = roundUp(width, align);
  const int64_t wideHeight = roundUp(height, align);
  return wideWidth <= kInt32Max && wideHeight <= kInt32Max && rect.minX + wideWidth <= kInt32Max &&
         rect.minY + wideHeight <= kInt32Max;
}

void correctRectSize(CropRect& rect, unsigned align) {
  rect.maxX = static_cast<int32_t>(rect.minX + roundUp(int64_t(rect.maxX) - rect.minX, align));
  rect.maxY = static_cast<int32_t>(rect.minY + roundUp(int64_t(rect.maxY) - rect.minY, align));
}

Offset placeFrame(Anchor anchor, int64_t canvasWidth, int64_t canvasHeight, int64_t width,
                  int64_t height) {
  // The canvas is the largest of the frames', so neither difference is
  // negative; halves round down, as the canvas's own pixels do.
  const int64_t spareX = canvasWidth > width ? canvasWidth - width : 0;
  const int64_t spareY = canvasHeight > height ? canvasHeight - height : 0;
  switch (anchor) {
    case Anchor::center:
      return Offset{int32_t(spareX / 2), int32_t(spareY / 2)};
    case Anchor::bottom:
      return Offset{int32_t(spareX / 2), int32_t(spareY)};
    default:
      return Offset{};
  }
}

bool inFrame(const CropRect& rect, const Offset& offset, CropRect& framed) {
  const int64_t moved[4] = {int64_t(rect.minX) - offset.x, int64_t(rect.minY) - offset.y,
                            int64_t(rect.maxX) - offset.x, int64_t(rect.maxY) - offset.y};
  for (const int64_t value : moved) {
    if (value < -kInt32Max - 1 || value > kInt32Max) return false;
  }
  framed = CropRect{int32_t(moved[0]), int32_t(moved[1]), int32_t(moved[2]), int32_t(moved[3])};
  return true;
}

int64_t rectArea(const CropRect& rect) {
  return (int64_t(rect.maxX) - rect.minX) * (int64_t(rect.maxY) - rect.minY);
}

}  // namespace velmora
