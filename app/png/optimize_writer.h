// The -optimize encoder's last step: libpng's trials of a form (row filters,
// zlib strategy and level), each given up once it can no longer win, with
// libpng's memory served from a PngMemory.
#ifndef VELMORA_PNG_OPTIMIZE_WRITER_H
#define VELMORA_PNG_OPTIMIZE_WRITER_H

#include <png.h>

#include <cstddef>
#include <string>
#include <vector>

#include "png/optimize_census.h"
#include "png/optimize_forms.h"
#include "png/png_optimize.h"

namespace velmora {
namespace optimize {

// How one trial compresses: which row filters libpng may choose among (by
// the least sum of absolute differences when more than one) and zlib's
// strategy.
struct Trial {
  int filters;
  int strategy;
  int level = 9;
};

// The encoded bytes, and the size past which a trial is given up: it could
// no longer win.
struct Sink {
  std::string bytes;
  size_t limit = 0;
};

// The pixels in form with trial, rows first to first + count, into sink;
// false when libpng failed or the bytes reached sink.limit.
bool encodeTrial(const Pixels& pixels, const Form& form, const ColourSet& colours,
                 const Trial& trial, unsigned first, unsigned count, PngMemory& memory, Sink& sink);

// The trials of a form, the likeliest winner first.
std::vector<Trial> trialsFor(const Form& form);

// The trial that encodes the middle quarter of the rows smallest at level 3.
Trial trialByBand(const Pixels& pixels, const Form& form, const ColourSet& colours,
                  const std::vector<Trial>& trials, PngMemory& memory, Sink& sink);

}  // namespace optimize
}  // namespace velmora

#endif  // VELMORA_PNG_OPTIMIZE_WRITER_H
