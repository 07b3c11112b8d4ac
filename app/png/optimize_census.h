// The -optimize encoder's first step: the pixels of a cropped frame read as
// RGBA samples, and the census of what they allow (grey, opaque, at most 256
// colours, 16-bit samples that are exact 8-bit ones).
#ifndef VELMORA_PNG_OPTIMIZE_CENSUS_H
#define VELMORA_PNG_OPTIMIZE_CENSUS_H

#include <FreeImage.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace velmora {
namespace optimize {

// Packed 8-bit RGBA, red in the low byte: the key of a colour.
inline uint32_t packRgba(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The pixels of a FreeImage bitmap of a type the default encoding can write,
// a row at a time from the top, as RGBA samples of 8 or of 16 bits.
class Pixels {
 public:
  // False for a type without an exact reading here.
  bool open(FIBITMAP* image) {
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

  unsigned width() const { return width_; }
  unsigned height() const { return height_; }
  bool wide() const { return wide_; }
  unsigned dotsPerMeterX() const { return FreeImage_GetDotsPerMeterX(image_); }
  unsigned dotsPerMeterY() const { return FreeImage_GetDotsPerMeterY(image_); }

  // Row y from the top as width * 4 samples; an image of 16-bit samples gives
  // each sample's high byte, which is its value when every sample is a
  // multiple of 257.
  void row8(unsigned y, uint8_t* out) const {
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

  // Row y from the top as width * 4 samples of 16 bits; for a wide image only.
  void row16(unsigned y, uint16_t* out) const {
    wideRow(FreeImage_GetScanLine(image_, height_ - 1 - y), out);
  }

 private:
  void wideRow(const BYTE* line, uint16_t* out) const {
    const auto* words = reinterpret_cast<const uint16_t*>(line);
    const unsigned channels = type_ == FIT_UINT16 ? 1 : type_ == FIT_RGB16 ? 3 : 4;
    for (unsigned x = 0; x < width_; ++x, words += channels, out += 4) {
      out[0] = words[0];
      out[1] = channels == 1 ? words[0] : words[1];
      out[2] = channels == 1 ? words[0] : words[2];
      out[3] = channels == 4 ? words[3] : 65535;
    }
  }

  FIBITMAP* image_ = nullptr;
  unsigned width_ = 0, height_ = 0, bpp_ = 0;
  FREE_IMAGE_TYPE type_ = FIT_UNKNOWN;
  bool wide_ = false;
  std::array<uint32_t, 256> lookup_{};
  mutable std::vector<uint16_t> wide8_;  // a row of a wide image, read for row8
};

// Up to 256 distinct colours, each with its palette index.
class ColourSet {
 public:
  // False, with nothing added, when key would be the 257th colour.
  bool add(uint32_t key) {
    size_t slot = find(key);
    if (used_[slot]) return true;
    if (count_ == 256) return false;
    used_[slot] = true;
    keys_[slot] = key;
    ++count_;
    return true;
  }
  unsigned size() const { return count_; }
  std::vector<uint32_t> keys() const {
    std::vector<uint32_t> all;
    for (size_t i = 0; i < kSlots; ++i) {
      if (used_[i]) all.push_back(keys_[i]);
    }
    return all;
  }
  void setIndex(uint32_t key, uint8_t index) { indices_[find(key)] = index; }
  // For a key added before.
  uint8_t indexOf(uint32_t key) const { return indices_[find(key)]; }

 private:
  static constexpr size_t kSlots = 1024;  // a quarter full at most: short probes
  size_t find(uint32_t key) const {
    size_t slot = (key * 2654435761u) >> 22;
    while (used_[slot] && keys_[slot] != key) slot = (slot + 1) % kSlots;
    return slot;
  }
  std::array<uint32_t, kSlots> keys_{};
  std::array<uint8_t, kSlots> indices_{};
  std::array<bool, kSlots> used_{};
  unsigned count_ = 0;
};

// What the pixels allow.
struct Census {
  bool wide = false;  // 16-bit samples that are not all multiples of 257
  bool grey = true;
  bool opaque = true;
  bool fewColours = false;  // at most 256, in colours
  int greyBits = 1;         // the fewest bits that hold every grey level exactly
  ColourSet colours;
};

// Fills census from every pixel; stops early once nothing the rest could
// hold would allow another form.
void takeCensus(const Pixels& pixels, Census& census);

}  // namespace optimize
}  // namespace velmora

#endif  // VELMORA_PNG_OPTIMIZE_CENSUS_H
