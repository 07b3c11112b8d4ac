#include "png/optimize_rows.h"

#include <algorithm>
#include <cstring>

namespace velmora {
namespace optimize {

RowMaker::RowMaker(const Pixels& pixels, const Form& form, const ColourSet& colours)
    : pixels_(pixels), form_(form), colours_(colours),
      bytes_(pngRowBytes(PngHeader{pixels.width(), pixels.height(), form.depth, form.colour})),
      out_(bytes_), rgba8_(4 * size_t(pixels.width())),
      rgba16_(form.depth == 16 ? 4 * size_t(pixels.width()) : 0) {}

// Samples of form_.depth bits, the first in the high bits of a byte.
template <typename Sample>
void RowMaker::pack(unsigned width, Sample sample) {
  const int depth = form_.depth;
  if (depth == 8) {
    for (unsigned x = 0; x < width; ++x) out_[x] = static_cast<unsigned char>(sample(x));
    return;
  }
  std::fill(out_.begin(), out_.end(), 0);
  const unsigned perByte = 8 / depth;
  for (unsigned x = 0; x < width; ++x) {
    const unsigned shift = 8 - depth * (x % perByte + 1);
    out_[x / perByte] |= static_cast<unsigned char>(sample(x) << shift);
  }
}

unsigned char* RowMaker::row(unsigned y) {
  const unsigned width = pixels_.width();
  if (form_.depth == 16) {
    pixels_.row16(y, rgba16_.data());
    const int channels = pngChannels(form_.colour);
    // Which of the RGBA samples each channel of the form takes.
    static const int kGreyAlpha[] = {0, 3};
    const bool grey = form_.colour == kPngGreyAlpha || form_.colour == kPngGrey;
    unsigned char* out = out_.data();
    for (unsigned x = 0; x < width; ++x) {
      const uint16_t* p = &rgba16_[4 * size_t(x)];
      for (int c = 0; c < channels; ++c) {
        const uint16_t v = p[grey ? kGreyAlpha[c] : c];
        *out++ = uint8_t(v >> 8);
        *out++ = uint8_t(v);
      }
    }
    return out_.data();
  }
  pixels_.row8(y, rgba8_.data());
  const uint8_t* p = rgba8_.data();
  unsigned char* out = out_.data();
  switch (form_.colour) {
    case kPngRgba:
      std::memcpy(out, p, 4 * size_t(width));
      break;
    case kPngRgb:
      for (unsigned x = 0; x < width; ++x, p += 4) {
        *out++ = p[0];
        *out++ = p[1];
        *out++ = p[2];
      }
      break;
    case kPngGreyAlpha:
      for (unsigned x = 0; x < width; ++x, p += 4) {
        *out++ = p[0];
        *out++ = p[3];
      }
      break;
    case kPngGrey:
      pack(width, [&](unsigned x) { return unsigned(p[4 * size_t(x)]) >> (8 - form_.depth); });
      break;
    default: {
      uint32_t lastKey = packRgba(p);
      unsigned lastIndex = colours_.indexOf(lastKey);
      pack(width, [&](unsigned x) {
        const uint32_t key = packRgba(p + 4 * size_t(x));
        if (key != lastKey) {
          lastKey = key;
          lastIndex = colours_.indexOf(key);
        }
        return lastIndex;
      });
    }
  }
  return out_.data();
}

}  // namespace optimize
}  // namespace velmora
