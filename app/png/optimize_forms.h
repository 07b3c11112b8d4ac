// The -optimize encoder's second step: the PNG forms that hold a frame's
// pixels exactly, as its census and its ICC profile allow them.
#ifndef VELMORA_PNG_OPTIMIZE_FORMS_H
#define VELMORA_PNG_OPTIMIZE_FORMS_H

#include "png/png_writer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "png/optimize_census.h"

namespace velmora {
namespace optimize {

struct Form {
  int colour = kPngRgba;
  int depth = 8;
  std::vector<uint32_t> palette;  // packed RGBA, the entries not opaque first
  unsigned translucent = 0;       // entries with alpha below 255
};

inline int bitsPerPixel(const Form& form) { return pngChannels(form.colour) * form.depth; }

// Which forms the ICC profile among chunks allows, by the colour space the
// profile declares (bytes 16..19 of the inflated profile): libpng drops a
// profile whose space does not match the form, and one it does not know on
// any form.
struct Allowed {
  bool grey = true;
  bool colour = true;
};

Allowed allowedBy(const std::string& chunks);

// The forms to try, the likeliest smallest first: the palette when it has
// fewer bits per pixel than the best form without one, and that form. A
// palette form numbers the census's colours (ColourSet::setIndex).
std::vector<Form> candidateForms(Census& census, const Allowed& allowed);

}  // namespace optimize
}  // namespace velmora

#endif  // VELMORA_PNG_OPTIMIZE_FORMS_H
