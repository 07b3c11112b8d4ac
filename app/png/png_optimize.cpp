#include "png/png_optimize.h"

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "png/optimize_census.h"
#include "png/optimize_forms.h"
#include "png/optimize_rows.h"
#include "png/optimize_writer.h"

namespace velmora {

using namespace optimize;

bool encodeOptimized(FIBITMAP* image, const std::string& chunks, std::string& png,
                     PngMemory* memory) {
  Pixels pixels;
  if (image == nullptr || !pixels.open(image)) return false;
  Census census;
  takeCensus(pixels, census);
  const std::vector<Form> forms = candidateForms(census, allowedBy(chunks));
  PngMemory own;
  if (memory == nullptr) memory = &own;
  // The smallest trial so far: its form, its filtered rows and its stream.
  const Form* bestForm = nullptr;
  ByteBuffer filtered, bestFiltered, stream, bestStream;
  size_t least = png.size();
  for (const Form& form : forms) {
    const PngHeader header = headerOf(pixels, form);
    RowMaker rows(pixels, form, census.colours);
    for (RowFilters filters : filtersFor(form)) {
      if (!filterRows(header, [&](unsigned y) { return rows.row(y); }, filters, filtered)) break;
      const size_t size = deflateRows(filtered, kTrialLevel, *memory, stream, least);
      if (size == 0) continue;
      least = size;
      bestForm = &form;
      std::swap(filtered, bestFiltered);
      std::swap(stream, bestStream);
    }
  }
  if (bestForm == nullptr) return false;
  const size_t size = deflateRows(bestFiltered, finalLevelFor(bestFiltered.size()), *memory,
                                  stream, bestStream.size());
  std::string out;
  if (!assemblePng(headerOf(pixels, *bestForm), chunks, chunksOf(pixels, *bestForm),
                   size != 0 ? stream : bestStream, out) ||
      out.size() >= png.size()) {
    return false;
  }
  png.swap(out);
  return true;
}

}  // namespace velmora
