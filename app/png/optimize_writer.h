// The -optimize encoder's last step: a form's rows filtered in each way that
// may win, each filtering deflated at a fast level, and the smallest one
// deflated again at a high level, all by png/png_writer.h.
#ifndef VELMORA_PNG_OPTIMIZE_WRITER_H
#define VELMORA_PNG_OPTIMIZE_WRITER_H

#include <cstddef>
#include <string>
#include <vector>

#include "png/optimize_census.h"
#include "png/optimize_forms.h"
#include "png/png_writer.h"

namespace velmora {
namespace optimize {

// The level at which the filterings of a frame are compared: the default
// encoding's, so that its own trial gives the default encoding's bytes.
constexpr int kTrialLevel = 1;

// The header of the pixels in form.
PngHeader headerOf(const Pixels& pixels, const Form& form);

// The chunks of form between the header and the image data: PLTE and tRNS
// for a palette, and with resolution the image's pHYs (none for an image of
// no resolution).
std::string chunksOf(const Pixels& pixels, const Form& form, bool resolution);

// The filterings to try in a form, the likeliest winner first.
std::vector<RowFilters> filtersFor(const Form& form);

// The level of the last deflate of filtered bytes of that size.
int finalLevelFor(size_t filteredBytes);

}  // namespace optimize
}  // namespace velmora

#endif  // VELMORA_PNG_OPTIMIZE_WRITER_H
