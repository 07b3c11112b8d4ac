#include "png/optimize_writer.h"

namespace velmora {
namespace optimize {

PngHeader headerOf(const Pixels& pixels, const Form& form) {
  PngHeader header;
  header.width = pixels.width();
  header.height = pixels.height();
  header.depth = form.depth;
  header.colour = form.colour;
  return header;
}

std::string chunksOf(const Pixels& pixels, const Form& form, bool resolution) {
  std::string chunks;
  if (!form.palette.empty()) {
    std::string entries, alphas;
    for (uint32_t key : form.palette) {
      entries += static_cast<char>(key);
      entries += static_cast<char>(key >> 8);
      entries += static_cast<char>(key >> 16);
      if (alphas.size() < form.translucent) alphas += static_cast<char>(key >> 24);
    }
    chunks += pngChunk("PLTE", entries);
    if (!alphas.empty()) chunks += pngChunk("tRNS", alphas);
  }
  if (resolution) chunks += physChunk(pixels.dotsPerMeterX(), pixels.dotsPerMeterY());
  return chunks;
}

// Palette indices and rows of fewer than 8 bits per pixel seldom gain from a
// filter. In a sprite with alpha the left neighbour often predicts best;
// libpng's per-row choice wins on smooth gradients, and no filter at all on
// flat art. Ranked at the fast level, these three hold nearly all the gain
// of trying all six.
std::vector<RowFilters> filtersFor(const Form& form) {
  if (form.colour == kPngPalette || bitsPerPixel(form) < 8) {
    return {RowFilters::none, RowFilters::leastSum};
  }
  return {RowFilters::sub, RowFilters::leastSum, RowFilters::none};
}

// Level 10 is the first of libdeflate's near-optimal parsing, where most of
// the gain over zlib's level 9 lies; it runs at about 10 MB a second, a
// third of level 9's speed. The few frames of more than 64 KiB of filtered
// rows (a sixtieth of the frames of the game art measured, a fifth of its
// pixels) take level 9: there level 10 costs the most time for the least
// share of the bytes.
int finalLevelFor(size_t filteredBytes) { return filteredBytes <= (size_t(64) << 10) ? 10 : 9; }

}  // namespace optimize
}  // namespace velmora
