// The -optimize encoder's first step: the pixels of a cropped frame read as
// RGBA samples, and the census of what they allow (grey, opaque, at most 256
// colours, 16-bit samples that are exact 8-bit ones).
#ifndef VELMORA_PNG_OPTIMIZE_CENSUS_H
#define VELMORA_PNG_OPTIMIZE_CENSUS_H

#include <FreeImage.h>

#include <array>
#include <cstddef>
#include <cstdint>
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
  bool open(FIBITMAP* image);

  unsigned width() const { return width_; }
  unsigned height() const { return height_; }
  bool wide() const { return wide_; }
  unsigned dotsPerMeterX() const { return FreeImage_GetDotsPerMeterX(image_); }
  unsigned dotsPerMeterY() const { return FreeImage_GetDotsPerMeterY(image_); }

  // Row y from the top as width * 4 samples; an image of 16-bit samples gives
  // each sample's high byte, which is its value when every sample is a
  // multiple of 257.
  void row8(unsigned y, uint8_t* out) const;

  // Row y from the top as width * 4 samples of 16 bits; for a wide image only.
  void row16(unsigned y, uint16_t* out) const;

 private:
  void wideRow(const BYTE* line, uint16_t* out) const;

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
