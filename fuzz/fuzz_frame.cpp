// One frame through the tool's own per-frame code: the guarded load, the
// bounds scan of the loaded frame, the crop and the encoding with the source's
// colour chunks, read back.
//
// The input is a PNG file. Its last eight bytes, which a PNG decoder never
// reads (they follow IEND in every seed), choose the threshold and the crop:
//   [0] threshold  [1] bit 0: crop to the scanned box instead
//   [2] [3] minX, minY as signed bytes  [4..7] width, height - 1 (9 bits each)
// The harness writes the right CRC into every chunk before the load, so that
// mutations reach the decoder instead of stopping at the checksum.
#include <FreeImage.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "asan_defaults.h"
#include "image/frame_bounds.h"
#include "image/frame_crop.h"
#include "image/frame_loader.h"
#include "png/png_encode.h"

namespace {

// Frames up to 2^20 pixels: the tool's own bound of 2^28 holds as well, but
// decoding gigabytes per input would leave no time for anything else.
constexpr int64_t kFuzzMaxPixels = int64_t(1) << 20;

void check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

void fixCrcs(std::vector<uint8_t>& png) {
  size_t offset = 8;
  while (offset + 12 <= png.size()) {
    const uint32_t length = uint32_t(png[offset]) << 24 | uint32_t(png[offset + 1]) << 16 |
                            uint32_t(png[offset + 2]) << 8 | uint32_t(png[offset + 3]);
    if (length > png.size() - offset - 12) return;
    const uint32_t crc = uint32_t(crc32(0L, &png[offset + 4], uInt(length + 4)));
    uint8_t* field = &png[offset + 8 + length];
    for (int i = 0; i < 4; ++i) field[i] = uint8_t(crc >> (24 - 8 * i));
    offset += size_t(length) + 12;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  const uint8_t* p = data + size - 8;
  const uint8_t threshold = p[0];
  const bool cropToScan = (p[1] & 1) != 0;

  std::vector<uint8_t> png(data, data + size);
  fixCrcs(png);
  FIMEMORY* memory = FreeImage_OpenMemory(png.data(), DWORD(png.size()));
  velmora::Image first;
  std::string colour;
  {
    velmora::FrameSource source = velmora::FrameSource::open(memory, kFuzzMaxPixels);
    first = source.decode();
    colour = source.colourChunks();
    if (first == nullptr) {
      check(!source.status().ok(), "no image unless loaded");
      FreeImage_CloseMemory(memory);
      return 0;
    }
  }
  const int32_t width = int32_t(FreeImage_GetWidth(first.get()));
  const int32_t height = int32_t(FreeImage_GetHeight(first.get()));
  velmora::CropRect box;
  const bool scanned = velmora::scanLoadedFrame(std::move(first), threshold, box);
  if (box.minX != -1) {
    check(scanned, "a box only from a scanned frame");
    check(0 <= box.minX && box.minX <= box.maxX && box.maxX < width, "box within the frame's columns");
    check(0 <= box.minY && box.minY <= box.maxY && box.maxY < height, "box within the frame's rows");
  }

  velmora::CropRect rect;
  if (cropToScan) {
    rect = box;
    rect.maxX += 1;
    rect.maxY += 1;
  } else {
    rect.minX = int8_t(p[2]);
    rect.minY = int8_t(p[3]);
    rect.maxX = rect.minX + 1 + (p[4] | (p[5] & 1) << 8);
    rect.maxY = rect.minY + 1 + (p[6] | (p[7] & 1) << 8);
  }
  if (!velmora::isRectValid(rect)) {
    FreeImage_CloseMemory(memory);
    return 0;
  }
  velmora::correctRectSize(rect);
  check(velmora::rectArea(rect) <= velmora::kMaxCropPixels, "small rectangles stay small");

  // The scan released the frame; the frame loop loads it again.
  FreeImage_SeekMemory(memory, 0, SEEK_SET);
  velmora::FrameSource again = velmora::FrameSource::open(memory, kFuzzMaxPixels);
  velmora::Image cropped = again.decode();
  check(cropped != nullptr, "the same bytes load twice");
  velmora::cropFrame(cropped, rect);
  if (cropped != nullptr) {
    FIBITMAP* const frame = cropped.get();
    check(int64_t(FreeImage_GetWidth(frame)) == int64_t(rect.maxX) - rect.minX, "cropped width");
    check(int64_t(FreeImage_GetHeight(frame)) == int64_t(rect.maxY) - rect.minY, "cropped height");
    std::string png;
    if (velmora::encodeFrame(frame, colour, png).ok()) {
      // The output, colour chunks spliced in, reads back at its own size.
      FIMEMORY* written = FreeImage_OpenMemory(reinterpret_cast<BYTE*>(png.data()), DWORD(png.size()));
      velmora::FrameSource output = velmora::FrameSource::open(written, kFuzzMaxPixels);
      const velmora::Image back = output.decode();
      check(back != nullptr && FreeImage_GetWidth(back.get()) == FreeImage_GetWidth(frame),
            "the written frame reads back");
      FreeImage_CloseMemory(written);
    }
  }
  FreeImage_CloseMemory(memory);
  return 0;
}
