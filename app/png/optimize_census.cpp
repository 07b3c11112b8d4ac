#include "png/optimize_census.h"

#include <algorithm>

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
