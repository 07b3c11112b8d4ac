// The -optimize encoder's third step: a frame's rows in one form, as libpng
// takes them (palette indices, grey levels and samples packed to the form's
// depth, 16-bit samples big-endian).
#ifndef VELMORA_PNG_OPTIMIZE_ROWS_H
#define VELMORA_PNG_OPTIMIZE_ROWS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "png/optimize_census.h"
#include "png/optimize_forms.h"

namespace velmora {
namespace optimize {

class RowMaker {
 public:
  // pixels, form and colours (numbered for a palette form) must outlive it.
  RowMaker(const Pixels& pixels, const Form& form, const ColourSet& colours);

  // Row y from the top; valid until the next call.
  unsigned char* row(unsigned y);

 private:
  template <typename Sample>
  void pack(unsigned width, Sample sample);

  const Pixels& pixels_;
  const Form& form_;
  const ColourSet& colours_;
  size_t bytes_;
  std::vector<unsigned char> out_;
  std::vector<uint8_t> rgba8_;
  std::vector<uint16_t> rgba16_;
};

}  // namespace optimize
}  // namespace velmora

#endif  // VELMORA_PNG_OPTIMIZE_ROWS_H
