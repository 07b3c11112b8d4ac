// The coverage picture: frames of arbitrary sizes and pixel types, some
// larger than the canvas they are declared for, counted by a CoverageMap and
// drawn, with a forced rectangle or with the widened area of a scan. Nothing
// may be written outside the counters or the picture (the sanitizers watch),
// the picture's size must follow the 4096 rule, and where the frames keep to
// the canvas the decoded picture must match, pixel for pixel, a count kept
// here per picture pixel. Before the first input, frames are added up to
// where a 16-bit counter would wrap, with and without a forced rectangle.
#include <FreeImage.h>
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "asan_defaults.h"
#include "base/crop_rect.h"
#include "image/coverage_map.h"

using velmora::CropRect;

// The harness's own reference work is left out of the coverage the fuzzer
// steers by: it says nothing about the tool's code, and tracing its
// per-pixel comparisons would cost more than the code under test.
#define UNTRACED __attribute__((no_sanitize("coverage")))

namespace {

void check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

UNTRACED int64_t ceilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }
UNTRACED int64_t floorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// The smallest k with ceil(side / k) <= 4096, found by stepping down from a
// k that surely fits.
UNTRACED int64_t scaleFor(int64_t side) {
  int64_t k = side / 4096 + 1;
  while (k > 1 && ceilDiv(side, k - 1) <= 4096) --k;
  return k;
}

enum Kind { kRgba8, kRgba16, kRgb8, kGrey8, kGrey16, kRgb16, kKinds };

// A frame: its size and type, and its alpha as a pattern of bytes repeated
// along the rows, so that a few input bytes describe any frame.
struct Frame {
  Kind kind = kRgba8;
  int64_t width = 1;
  int64_t height = 1;
  std::vector<uint8_t> pattern;
  int64_t stride = 1;
  uint64_t repeat = 1;  // how many times it is added
  bool absent = false;  // added as nullptr
};

UNTRACED unsigned patternAt(const Frame& frame, int64_t x, int64_t y, int64_t offset) {
  if (frame.pattern.empty()) return 0;
  return frame.pattern[size_t((x + y * frame.stride + offset) % int64_t(frame.pattern.size()))];
}

UNTRACED unsigned alpha16(const Frame& frame, int64_t x, int64_t y) {
  return patternAt(frame, x, y, 0) << 8 | patternAt(frame, x, y, 1);
}

UNTRACED bool isVisible(const Frame& frame, int64_t x, int64_t y, unsigned threshold) {
  if (frame.kind == kRgba8) return patternAt(frame, x, y, 0) > threshold;
  if (frame.kind == kRgba16) return alpha16(frame, x, y) > 257 * threshold;
  return true;
}

UNTRACED FIBITMAP* bitmapOf(const Frame& frame) {
  static const FREE_IMAGE_TYPE types[kKinds] = {FIT_BITMAP, FIT_RGBA16, FIT_BITMAP, FIT_BITMAP, FIT_UINT16, FIT_RGB16};
  static const int depths[kKinds] = {32, 64, 24, 8, 16, 48};
  FIBITMAP* bitmap = FreeImage_AllocateT(types[frame.kind], int(frame.width), int(frame.height), depths[frame.kind]);
  check(bitmap != nullptr, "a small frame can be allocated");
  const int64_t pitch = FreeImage_GetPitch(bitmap);
  BYTE* const bits = FreeImage_GetBits(bitmap);
  for (int64_t y = 0; y < frame.height; ++y) {
    BYTE* row = bits + (frame.height - 1 - y) * pitch;
    for (int64_t x = 0; x < frame.width && (frame.kind == kRgba8 || frame.kind == kRgba16); ++x) {
      if (frame.kind == kRgba8) {
        row[4 * x + FI_RGBA_ALPHA] = BYTE(patternAt(frame, x, y, 0));
      } else {
        reinterpret_cast<FIRGBA16*>(row)[x].alpha = WORD(alpha16(frame, x, y));
      }
    }
  }
  return bitmap;
}

struct Rgb {
  unsigned red, green, blue;
  bool operator==(const Rgb& o) const { return red == o.red && green == o.green && blue == o.blue; }
};

// A rectangle's outline as its first and last picture column and row; none
// for an empty rectangle.
struct Span {
  bool drawn;
  int64_t left, right, top, bottom;
  UNTRACED bool has(int64_t column, int64_t row) const {
    const bool inColumns = left <= column && column <= right, inRows = top <= row && row <= bottom;
    return drawn && ((inColumns && (row == top || row == bottom)) || (inRows && (column == left || column == right)));
  }
};

struct Case {
  int64_t maxWidth = 0;
  int64_t maxHeight = 0;
  std::optional<CropRect> forced;  // given to the map; else the crop comes from a scan
  CropRect crop;                   // what the picture is drawn for
  std::optional<CropRect> area;
  uint64_t expectedFrames = 0;
  uint8_t threshold = 0;
  std::vector<Frame> frames;
};

UNTRACED void run(const Case& c) {
  velmora::CoverageMap map(c.maxWidth, c.maxHeight, c.forced, c.expectedFrames);
  uint64_t added = 0;
  for (const Frame& frame : c.frames) {
    if (frame.absent) {
      map.addFrame(nullptr, c.threshold);
      continue;
    }
    FIBITMAP* bitmap = bitmapOf(frame);
    for (uint64_t i = 0; i < frame.repeat; ++i) map.addFrame(bitmap, c.threshold);
    FreeImage_Unload(bitmap);
    added += frame.repeat;
  }
  check(map.frames() == added, "every frame added counts once");

  std::string png;
  // The tool's own crops always give a picture: a forced one is the map's,
  // and a scan's widened area lies within 15 pixels of the frames.
  check(map.picture(c.crop, c.area, png).ok(), "a picture for the tool's crop");

  const int64_t width0 = std::max<int64_t>(c.maxWidth, 0), height0 = std::max<int64_t>(c.maxHeight, 0);
  const int64_t originX = std::min<int64_t>(0, c.crop.minX), originY = std::min<int64_t>(0, c.crop.minY);
  const int64_t width = std::max<int64_t>(width0, c.crop.maxX) - originX;
  const int64_t height = std::max<int64_t>(height0, c.crop.maxY) - originY;
  const int64_t k = scaleFor(std::max(width, height));
  check(velmora::previewScale(std::max(width, height)) == k, "previewScale of the canvas");
  const int64_t columns = ceilDiv(width, k), rows = ceilDiv(height, k);

  FIMEMORY* memory = FreeImage_OpenMemory(reinterpret_cast<BYTE*>(const_cast<char*>(png.data())), DWORD(png.size()));
  FIBITMAP* picture = FreeImage_LoadFromMemory(FIF_PNG, memory);
  FreeImage_CloseMemory(memory);
  check(picture != nullptr, "the picture decodes");
  check(FreeImage_GetWidth(picture) == uint64_t(columns) && FreeImage_GetHeight(picture) == uint64_t(rows),
        "the picture's size follows the 4096 rule");
  check(FreeImage_GetImageType(picture) == FIT_BITMAP && FreeImage_GetBPP(picture) == 24, "8-bit RGB");

  const bool withinCanvas = std::all_of(c.frames.begin(), c.frames.end(), [&](const Frame& frame) {
    return frame.absent || (frame.width <= width0 && frame.height <= height0);
  });
  if (!withinCanvas) {
    FreeImage_Unload(picture);
    return;
  }
  // Per picture pixel: how many frames show in it, and whether any shows
  // outside the forced rectangle there.
  std::vector<uint32_t> count(size_t(columns * rows), 0);
  std::vector<uint8_t> cut(count.size(), 0);
  std::vector<uint8_t> shown(count.size());
  for (const Frame& frame : c.frames) {
    if (frame.absent) continue;
    shown.assign(shown.size(), 0);
    for (int64_t y = 0; y < frame.height; ++y) {
      for (int64_t x = 0; x < frame.width; ++x) {
        if (!isVisible(frame, x, y, c.threshold)) continue;
        const size_t cell = size_t(floorDiv(y - originY, k) * columns + floorDiv(x - originX, k));
        shown[cell] = 1;
        if (c.forced && (x < c.forced->minX || x >= c.forced->maxX || y < c.forced->minY || y >= c.forced->maxY)) {
          cut[cell] = 1;
        }
      }
    }
    for (size_t cell = 0; cell < count.size(); ++cell) count[cell] += shown[cell] != 0 ? uint32_t(frame.repeat) : 0;
  }
  const auto spanOf = [&](const CropRect& rect) {
    return Span{rect.maxX > rect.minX && rect.maxY > rect.minY, floorDiv(int64_t(rect.minX) - originX, k),
                floorDiv(int64_t(rect.maxX) - 1 - originX, k), floorDiv(int64_t(rect.minY) - originY, k),
                floorDiv(int64_t(rect.maxY) - 1 - originY, k)};
  };
  const Span cropLine = spanOf(c.crop);
  const Span areaLine = c.area ? spanOf(*c.area) : Span{false, 0, 0, 0, 0};
  for (int64_t row = 0; row < rows; ++row) {
    const BYTE* line = FreeImage_GetScanLine(picture, int(rows - 1 - row));
    for (int64_t column = 0; column < columns; ++column) {
      const size_t cell = size_t(row * columns + column);
      const uint64_t n = count[cell];
      Rgb expected{24, 24, 24};
      // A line is drawn only where no frame shows, so a pixel that sets an
      // edge stays visible in its count's colour.
      const bool clear = n == 0 && cut[cell] == 0;
      if (clear && areaLine.has(column, row)) {
        expected = {0, 255, 0};
      } else if (clear && cropLine.has(column, row)) {
        expected = {0, 160, 255};
      } else if (cut[cell] != 0) {
        expected = {255, 0, 0};
      } else if (n == 1) {
        expected = {255, 0, 255};
      } else if (n >= 2) {
        const unsigned grey = unsigned(64 + 191 * (n - 1) / (added - 1));
        expected = {grey, grey, grey};
      }
      const BYTE* pixel = line + 3 * column;
      const Rgb got{pixel[FI_RGBA_RED], pixel[FI_RGBA_GREEN], pixel[FI_RGBA_BLUE]};
      if (!(got == expected)) {
        std::fprintf(stderr, "picture pixel (%lld, %lld) of %lldx%lld (scale %lld): (%u, %u, %u), count %llu of %llu; "
                     "expected (%u, %u, %u)\n", (long long)column, (long long)row, (long long)columns, (long long)rows,
                     (long long)k, got.red, got.green, got.blue, (unsigned long long)n, (unsigned long long)added,
                     expected.red, expected.green, expected.blue);
        check(false, "the picture's colours follow the counts");
      }
    }
  }
  FreeImage_Unload(picture);
}

CropRect rectIn(FuzzedDataProvider& in, int64_t lowX, int64_t highX, int64_t spanX, int64_t lowY, int64_t highY,
                int64_t spanY) {
  CropRect rect;
  rect.minX = int32_t(in.ConsumeIntegralInRange<int64_t>(lowX, highX));
  rect.minY = int32_t(in.ConsumeIntegralInRange<int64_t>(lowY, highY));
  rect.maxX = int32_t(rect.minX + in.ConsumeIntegralInRange<int64_t>(1, spanX));
  rect.maxY = int32_t(rect.minY + in.ConsumeIntegralInRange<int64_t>(1, spanY));
  return rect;
}

// Widens rect as the tool does, except across the thin side of a long
// canvas: a picture of one is at least 2049 pixels long, and kept a few
// pixels thin it costs no more than a small one.
void widen(CropRect& rect, bool large, bool across) {
  const CropRect before = rect;
  velmora::correctRectSize(rect);
  if (large && across) rect.maxY = before.maxY;
  if (large && !across) rect.maxX = before.maxX;
}

// Frames added until the counters stand at the most they must hold: a
// counter that wrapped, or ran into the mark of a forced rectangle, would
// show in the colours.
void checkManyFrames() {
  for (const bool forced : {true, false}) {
    for (const uint64_t frames : {forced ? 0x7fffu : 0xffffu, forced ? 0x8000u : 0x10000u}) {
      Case c;
      c.maxWidth = 5;
      c.maxHeight = 4;
      c.crop = forced ? CropRect{0, 0, 4, 3} : CropRect{0, 0, 16, 16};
      if (forced) c.forced = c.crop;
      c.area = CropRect{0, 0, 3, 3};
      c.expectedFrames = frames;
      Frame most;
      most.width = 3;
      most.height = 2;
      most.pattern = {255, 0, 9};
      most.stride = 2;
      most.repeat = frames - 2;
      Frame opaque;
      opaque.kind = kRgb8;
      opaque.width = 5;
      opaque.height = 4;
      opaque.repeat = 2;
      c.frames = {most, opaque};
      run(c);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  checkManyFrames();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int64_t side = in.ConsumeIntegralInRange<int64_t>(0, int64_t(1) << 40);
  const int64_t k = velmora::previewScale(side);
  check(k == scaleFor(side), "previewScale is the smallest k that fits");

  Case c;
  c.threshold = in.ConsumeIntegral<uint8_t>();
  const bool forced = in.ConsumeBool();
  // Now and then a canvas longer than 4096 on one side, thin on the other.
  // (An input that runs out reads as zeros, so zero means the small one.)
  const bool large = in.ConsumeIntegralInRange<int>(0, 15) == 15;
  const bool across = in.ConsumeBool();
  int64_t longSide = 0, shortSide = 0;
  if (large) {
    longSide = in.ConsumeIntegralInRange<int64_t>(4097, 16400);
    shortSide = in.ConsumeIntegralInRange<int64_t>(-2, 2);
    c.maxWidth = across ? longSide : shortSide;
    c.maxHeight = across ? shortSide : longSide;
  } else {
    c.maxWidth = in.ConsumeIntegralInRange<int64_t>(-2, 24);
    c.maxHeight = in.ConsumeIntegralInRange<int64_t>(-2, 24);
  }
  const int64_t width0 = std::max<int64_t>(c.maxWidth, 0), height0 = std::max<int64_t>(c.maxHeight, 0);

  const int frameCount = in.ConsumeIntegralInRange<int>(0, large ? 3 : 6);
  uint64_t total = 0;
  for (int i = 0; i < frameCount; ++i) {
    Frame frame;
    frame.absent = in.ConsumeIntegralInRange<int>(0, 15) == 0;
    frame.kind = Kind(in.ConsumeIntegralInRange<int>(0, kKinds - 1));
    // Mostly within the canvas; some frames reach past it.
    const int64_t beyond = in.ConsumeBool() ? 0 : 20;
    frame.width = in.ConsumeIntegralInRange<int64_t>(1, std::max<int64_t>(width0, 1) + beyond);
    frame.height = in.ConsumeIntegralInRange<int64_t>(1, std::max<int64_t>(height0, 1) + beyond);
    // A long frame is a thin one: 4096 pixels at most, to keep inputs quick.
    frame.height = std::min<int64_t>(frame.height, std::max<int64_t>(1, 4096 / frame.width));
    frame.stride = in.ConsumeIntegralInRange<int64_t>(0, 64);
    frame.repeat = in.ConsumeIntegralInRange<uint64_t>(1, 3);
    const size_t length = in.ConsumeIntegralInRange<size_t>(0, 16);
    frame.pattern = in.ConsumeBytes<uint8_t>(length);
    if (!frame.absent) total += frame.repeat;
    c.frames.push_back(std::move(frame));
  }
  const uint64_t choices[] = {total, 0x7fff, 0x8000, 0xffff, 0x10000, total + in.ConsumeIntegral<uint8_t>()};
  c.expectedFrames = choices[in.ConsumeIntegralInRange<int>(0, 5)];

  if (forced) {
    // Any rectangle, reaching as far past the canvas on each side as the
    // canvas is long, or a little for a thin side.
    const int64_t reachX = std::max<int64_t>(width0, large ? 2 : 16);
    const int64_t reachY = std::max<int64_t>(height0, large ? 2 : 16);
    c.forced = rectIn(in, -reachX / 2, reachX, reachX, -reachY / 2, reachY, reachY);
    // The tool widens it to multiples of 16; the map takes any rectangle.
    if (in.ConsumeBool()) widen(*c.forced, large, across);
    c.crop = *c.forced;
    if (in.ConsumeBool()) {
      CropRect area;
      area.minX = in.ConsumeIntegralInRange<int32_t>(-40, 80);
      area.minY = in.ConsumeIntegralInRange<int32_t>(-40, 80);
      area.maxX = in.ConsumeIntegralInRange<int32_t>(-40, 80);
      area.maxY = in.ConsumeIntegralInRange<int32_t>(-40, 80);
      c.area = area;
    }
  } else {
    // A scan's area lies within the frames; the crop is it, widened or not.
    CropRect area = rectIn(in, 0, std::max<int64_t>(width0 - 1, 0), 1, 0, std::max<int64_t>(height0 - 1, 0), 1);
    if (width0 > area.minX + 1) area.maxX = int32_t(in.ConsumeIntegralInRange<int64_t>(area.minX + 1, width0));
    if (height0 > area.minY + 1) area.maxY = int32_t(in.ConsumeIntegralInRange<int64_t>(area.minY + 1, height0));
    c.area = area;
    c.crop = area;
    if (in.ConsumeBool()) widen(c.crop, large, across);
  }
  run(c);
  return 0;
}
