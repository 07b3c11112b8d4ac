#include "base/crop_rect.h"

namespace velmora {

namespace {

constexpr int64_t kInt32Max = 2147483647;

int64_t roundUpTo16(int64_t size) { return (size + 15) / 16 * 16; }

}  // namespace

bool isRectValid(const CropRect& rect) {
  if (rect.minX == -1 || rect.minY == -1) return false;
  if (rect.maxX <= 0 || rect.maxY <= 0) return false;
  if (rect.minX >= rect.maxX || rect.minY >= rect.maxY) return false;
  const int64_t width = int64_t(rect.maxX) - rect.minX;
  const int64_t height = int64_t(rect.maxY) - rect.minY;
  // The widened sizes and the maxima they move must stay 32-bit numbers.
  const int64_t wideWidth = roundUpTo16(width);
  const int64_t wideHeight = roundUpTo16(height);
  return wideWidth <= kInt32Max && wideHeight <= kInt32Max && rect.minX + wideWidth <= kInt32Max &&
         rect.minY + wideHeight <= kInt32Max;
}

void correctRectSize(CropRect& rect) {
  rect.maxX = static_cast<int32_t>(rect.minX + roundUpTo16(int64_t(rect.maxX) - rect.minX));
  rect.maxY = static_cast<int32_t>(rect.minY + roundUpTo16(int64_t(rect.maxY) - rect.minY));
}

int64_t rectArea(const CropRect& rect) {
  return (int64_t(rect.maxX) - rect.minX) * (int64_t(rect.maxY) - rect.minY);
}

}  // namespace velmora
