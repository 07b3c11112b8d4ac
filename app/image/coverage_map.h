// The coverage picture (-preview): for every pixel of the animation's canvas,
// how many frames make it visible, with the crop rectangles drawn over it, so
// that a stray pixel that widens the rectangle stands out at a glance.
//
// The canvas spans from (min(0, crop.x), min(0, crop.y)) to (max(widest
// frame, crop right), max(tallest frame, crop bottom)). Up to 4096 pixels on
// its longer side the picture is at 1:1; beyond, each picture pixel stands for
// a k x k block, k the smallest whole number that fits the longer side in
// 4096, and a block counts a frame when any pixel of that frame inside it is
// visible. Counts are kept per block for every frame added, never per frame,
// so they take at most 4096 x 4096 counters (64 MiB of 32-bit counters; 16-bit
// ones while the frames are few enough), whatever the number of threads that
// add frames: additions are serialised, and their order does not matter.
//
// Colours, 8-bit RGB: (24, 24, 24) where no frame is visible; (255, 0, 255)
// where exactly one is; grey 64 + floor(191 (n - 1) / (N - 1)) where n >= 2
// of the N frames added are; (255, 0, 0) where a frame is visible outside the
// widened crop (only a forced rectangle can cut visible pixels). Over that,
// one pixel wide, the outline of the widened crop in (0, 160, 255) and then
// the outline of the area before widening in (0, 255, 0), each drawn only
// over pixels that no frame makes visible: a pixel that sets an edge keeps
// the colour of its count and shows as a gap in the outline.
// A map that could not get the memory for its counters says so when the
// picture is asked for; it never throws.
#ifndef VELMORA_IMAGE_COVERAGE_MAP_H
#define VELMORA_IMAGE_COVERAGE_MAP_H

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/crop_rect.h"
#include "base/status.h"
#include "corvane/htext.h"

struct FIBITMAP;

namespace velmora {

// The longest side of the picture, in picture pixels.
constexpr int64_t kPreviewSide = 4096;

// The widest and the tallest frame of source/name, from their headers (the
// pixels are not decoded); a frame whose header cannot be read counts as none.
// The picture's canvas needs them before the first frame is counted.
struct FrameExtent {
  int64_t width = 0;
  int64_t height = 0;
};
FrameExtent largestFrame(const std::vector<const char*>& names, const corvane::htext& source);

// The smallest k for which ceil(side / k) <= kPreviewSide (1 for side <= 4096).
//   4096 => 1    4097 => 2    8192 => 2    8193 => 3    0 => 1
int64_t previewScale(int64_t side);

class CoverageMap {
 public:
  // For frames at most maxWidth x maxHeight. With a known crop (a forced
  // rectangle) the canvas is settled now and visible pixels outside the crop
  // are marked; without one the crop is found by the scan, whose widening to
  // multiples of align can move the canvas's right and bottom edge by up to
  // align - 1 pixels, so counts are kept for each block size the final canvas
  // may have (one or two). expectedFrames, the most frames that will be
  // added, picks the counter width.
  CoverageMap(int64_t maxWidth, int64_t maxHeight, const std::optional<CropRect>& crop,
              uint64_t expectedFrames, unsigned align = kDefaultAlign);
  CoverageMap(const CoverageMap&) = delete;
  CoverageMap& operator=(const CoverageMap&) = delete;

  // Counts the visible pixels of one decoded frame, laid in the canvas at
  // offset: alpha above threshold for 8-bit RGBA, above threshold * 257 for
  // 16-bit RGBA; a frame of any other type has no transparency and is visible
  // everywhere. Pixels outside the canvas are left out. Safe to call from
  // several threads at once.
  void addFrame(FIBITMAP* frame, uint8_t threshold, const Offset& offset = Offset());

  // The frames added so far: N of the colours.
  uint64_t frames() const { return frames_; }

  // The picture, as PNG bytes, into png: crop is the widened rectangle every
  // frame is cut to, area the one before widening (after a scan; none for a
  // forced rectangle). failed, with why, when it could not be made.
  Status picture(const CropRect& crop, const std::optional<CropRect>& area,
                 std::string& png) const;

 private:
  struct Grid {
    int64_t scale = 1;
    int64_t columns = 0;
    int64_t rows = 0;
    std::vector<uint16_t> narrow;  // the counters, while the frames fit them
    std::vector<uint32_t> wide;
    uint32_t at(int64_t cell) const { return wide.empty() ? narrow[cell] : wide[cell]; }
  };

  template <typename Visible>
  void add(int64_t height, const Offset& offset, const Visible& visible);
  template <typename Visible>
  void count(int64_t height, const Offset& offset, const Visible& visible);

  int64_t maxWidth_ = 0;
  int64_t maxHeight_ = 0;
  int64_t originX_ = 0;
  int64_t originY_ = 0;
  std::optional<CropRect> crop_;
  std::vector<Grid> grids_;
  // The high bit of a counter marks a block where a frame is visible outside
  // the crop.
  uint32_t outsideBit_ = 0;
  uint64_t frames_ = 0;
  bool outOfMemory_ = false;
  std::mutex mutex_;
};

}  // namespace velmora

#endif  // VELMORA_IMAGE_COVERAGE_MAP_H
