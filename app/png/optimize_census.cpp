#include "png/optimize_census.h"

#include <algorithm>
#include <cstring>

namespace velmora {
namespace optimize {

namespace {

// 1, 2, 4 or 8: the fewest bits of a grey sample that give level exactly
// (libpng widens a sample of b bits by repeating its bits).
int greyBitsOf(unsigned level) {
  if (level == 0 || level == 255) return 1;
  if (level % 85 == 0) return 2;
  if (level % 17 == 0) return 4;
  return 8;
}
}  // namespace

bool Pixels::open(FIBITMAP* image) {
  image_ = image;
  width_ = FreeImage_GetWidth(image);
  height_ = FreeImage_GetHeight(image);
  bpp_ = FreeImage_GetBPP(image);
  type_ = FreeImage_GetImageType(image);
  if (width_ == 0 || height_ == 0 || FreeImage_GetBits(image) == nullptr) return false;
  if (type_ == FIT_UINT16 || type_ == FIT_RGB16 || type_ == FIT_RGBA16) {
    wide_ = true;
    wide8_.resize(4 * size_t(width_));
    return true;
  }
  if (type_ != FIT_BITMAP) return false;
  if (bpp_ == 24 || bpp_ == 32) return true;
  if (bpp_ != 1 && bpp_ != 4 && bpp_ != 8) return false;
  const RGBQUAD* palette = FreeImage_GetPalette(image);
  const unsigned entries = FreeImage_GetColorsUsed(image);
  if (palette == nullptr || entries == 0) return false;
  // An index past the stored palette or its transparency table reads as
  // the library reads it when it converts: opaque beyond the table.
  const BYTE* table = FreeImage_GetTransparencyTable(image);
  const unsigned alphas = FreeImage_IsTransparent(image) && table != nullptr
                              ? FreeImage_GetTransparencyCount(image)
                              : 0;
  for (unsigned i = 0; i < 256; ++i) {
    const RGBQUAD c = i < entries ? palette[i] : RGBQUAD{0, 0, 0, 0};
    const uint8_t sample[4] = {c.rgbRed, c.rgbGreen, c.rgbBlue,
                               uint8_t(i < alphas ? table[i] : 255)};
    std::memcpy(&lookup_[i], sample, 4);
  }
  return true;
}

void Pixels::row8(unsigned y, uint8_t* out) const {
  const BYTE* line = FreeImage_GetScanLine(image_, height_ - 1 - y);
  if (wide_) {
    uint16_t* in = wide8_.data();
    wideRow(line, in);
    for (unsigned i = 0; i < 4 * width_; ++i) out[i] = uint8_t(in[i] >> 8);
    return;
  }
  if (bpp_ == 32 || bpp_ == 24) {
    const unsigned step = bpp_ / 8;
    for (unsigned x = 0; x < width_; ++x, line += step, out += 4) {
      out[0] = line[FI_RGBA_RED];
      out[1] = line[FI_RGBA_GREEN];
      out[2] = line[FI_RGBA_BLUE];
      out[3] = step == 4 ? line[FI_RGBA_ALPHA] : 255;
    }
    return;
  }
  for (unsigned x = 0; x < width_; ++x, out += 4) {
    unsigned index = line[x * bpp_ / 8];
    if (bpp_ == 4) index = x % 2 == 0 ? index >> 4 : index & 15;
    if (bpp_ == 1) index = (index >> (7 - x % 8)) & 1;
    std::memcpy(out, &lookup_[index], 4);
  }
}

void Pixels::row16(unsigned y, uint16_t* out) const {
  wideRow(FreeImage_GetScanLine(image_, height_ - 1 - y), out);
}

void Pixels::wideRow(const BYTE* line, uint16_t* out) const {
  const auto* words = reinterpret_cast<const uint16_t*>(line);
  const unsigned channels = type_ == FIT_UINT16 ? 1 : type_ == FIT_RGB16 ? 3 : 4;
  for (unsigned x = 0; x < width_; ++x, words += channels, out += 4) {
    out[0] = words[0];
    out[1] = channels == 1 ? words[0] : words[1];
    out[2] = channels == 1 ? words[0] : words[2];
    out[3] = channels == 4 ? words[3] : 65535;
  }
}

void takeCensus(const Pixels& pixels, Census& census) {
  const unsigned width = pixels.width();
  if (pixels.wide()) {
    std::vector<uint16_t> row(4 * size_t(width));
    bool reducible = true;
    for (unsigned y = 0; y < pixels.height() && reducible; ++y) {
      pixels.row16(y, row.data());
      for (unsigned i = 0; i < row.size(); ++i) reducible &= row[i] % 257 == 0;
    }
    if (!reducible) {
      census.wide = true;
      for (unsigned y = 0; y < pixels.height(); ++y) {
        pixels.row16(y, row.data());
        for (unsigned x = 0; x < width; ++x) {
          const uint16_t* p = &row[4 * size_t(x)];
          census.grey &= p[0] == p[1] && p[1] == p[2];
          census.opaque &= p[3] == 65535;
        }
      }
      return;
    }
  }
  std::vector<uint8_t> row(4 * size_t(width));
  bool few = true;
  uint32_t last = 0;
  bool any = false;
  for (unsigned y = 0; y < pixels.height(); ++y) {
    pixels.row8(y, row.data());
    for (unsigned x = 0; x < width; ++x) {
      const uint8_t* p = &row[4 * size_t(x)];
      const uint32_t key = packRgba(p);
      // Sprites repeat a colour along a row; the set is asked once per run.
      if (any && key == last) continue;
      any = true;
      last = key;
      census.grey &= p[0] == p[1] && p[1] == p[2];
      census.opaque &= p[3] == 255;
      census.greyBits = std::max(census.greyBits, greyBitsOf(p[0]));
      if (few) few = census.colours.add(key);
      // Nothing the rest of the pixels hold can allow another form.
      if (!few && !census.grey && !census.opaque) return;
    }
  }
  census.fewColours = few;
}

}  // namespace optimize
}  // namespace velmora
