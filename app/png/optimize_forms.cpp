#include "png/optimize_forms.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace velmora {
namespace optimize {

Allowed allowedBy(const std::string& chunks) {
  Allowed allowed;
  size_t at = 0;
  while (at + 12 <= chunks.size()) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(chunks.data()) + at;
    const size_t length = size_t(bytes[0]) << 24 | size_t(bytes[1]) << 16 |
                          size_t(bytes[2]) << 8 | size_t(bytes[3]);
    if (length > chunks.size() - at - 12) break;
    if (std::memcmp(bytes + 4, "iCCP", 4) == 0) {
      const unsigned char* data = bytes + 8;
      const void* end = std::memchr(data, 0, length);
      unsigned char head[20] = {};
      bool read = false;
      if (end != nullptr) {
        // The name, its terminator and the compression method byte.
        const size_t skip = static_cast<const unsigned char*>(end) - data + 2;
        z_stream stream{};
        if (skip <= length && inflateInit(&stream) == Z_OK) {
          stream.next_in = const_cast<unsigned char*>(data + skip);
          stream.avail_in = uInt(length - skip);
          stream.next_out = head;
          stream.avail_out = sizeof head;
          const int status = inflate(&stream, Z_SYNC_FLUSH);
          read = (status == Z_OK || status == Z_STREAM_END) && stream.avail_out == 0;
          inflateEnd(&stream);
        }
      }
      const bool rgb = read && std::memcmp(head + 16, "RGB ", 4) == 0;
      const bool grey = read && std::memcmp(head + 16, "GRAY", 4) == 0;
      allowed.grey = grey;
      allowed.colour = rgb;
      return allowed;
    }
    at += length + 12;
  }
  return allowed;
}

std::vector<Form> candidateForms(Census& census, const Allowed& allowed) {
  std::vector<Form> forms;
  Form plain;
  const int depth = census.wide ? 16 : 8;
  if (census.grey && allowed.grey) {
    plain.colour = census.opaque ? kPngGrey : kPngGreyAlpha;
    plain.depth = census.opaque && !census.wide ? census.greyBits : depth;
    forms.push_back(plain);
  } else if (allowed.colour) {
    plain.colour = census.opaque ? kPngRgb : kPngRgba;
    plain.depth = depth;
    forms.push_back(plain);
  }
  if (!census.wide && census.fewColours && allowed.colour) {
    Form palette;
    palette.colour = kPngPalette;
    const unsigned n = census.colours.size();
    palette.depth = n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
    palette.palette = census.colours.keys();
    // The translucent entries first, so that tRNS is as short as it can be;
    // each part in key order, so the same colours give the same palette.
    std::sort(palette.palette.begin(), palette.palette.end(), [](uint32_t a, uint32_t b) {
      const bool aOpaque = a >> 24 == 255, bOpaque = b >> 24 == 255;
      return aOpaque != bOpaque ? bOpaque : a < b;
    });
    for (size_t i = 0; i < palette.palette.size(); ++i) {
      census.colours.setIndex(palette.palette[i], uint8_t(i));
      palette.translucent += palette.palette[i] >> 24 != 255;
    }
    const bool first = forms.empty() || bitsPerPixel(palette) < bitsPerPixel(forms[0]);
    forms.insert(first ? forms.begin() : forms.end(), palette);
  }
  return forms;
}

}  // namespace optimize
}  // namespace velmora
