#include "png/png_optimize.h"

#include <FreeImage.h>

#include <string>
#include <vector>

#include "png/optimize_census.h"
#include "png/optimize_forms.h"
#include "png/optimize_writer.h"
#include "png/png_chunks.h"

namespace velmora {

using namespace optimize;

bool encodeOptimized(FIBITMAP* image, const std::string& chunks, std::string& png,
                     PngMemory* memory) {
  Pixels pixels;
  if (image == nullptr || !pixels.open(image)) return false;
  Census census;
  takeCensus(pixels, census);
  const std::vector<Form> forms = candidateForms(census, allowedBy(chunks));
  // The chunks are spliced in after the trials: the bytes a trial may take
  // are the default's less those.
  const size_t limit = png.size() > chunks.size() ? png.size() - chunks.size() : 0;
  PngMemory own;
  if (memory == nullptr) memory = &own;
  Sink sink;
  std::string best;
  for (const Form& form : forms) {
    std::vector<Trial> trials = trialsFor(form);
    const size_t rowBytes = (size_t(pixels.width()) * bitsPerPixel(form) + 7) / 8;
    if (rowBytes * pixels.height() > kBandFrom) {
      trials = {trialByBand(pixels, form, census.colours, trials, *memory, sink)};
    }
    for (const Trial& trial : trials) {
      if (!best.empty() && best.size() * 100 <= limit * kGoodEnoughPercent) break;
      sink.limit = best.empty() ? limit : best.size();
      if (encodeTrial(pixels, form, census.colours, trial, 0, pixels.height(), *memory, sink)) {
        best.swap(sink.bytes);
      }
    }
  }
  if (best.empty() || (!chunks.empty() && !spliceAfterHeader(best, chunks)) ||
      best.size() >= png.size()) {
    return false;
  }
  png.swap(best);
  return true;
}

}  // namespace velmora
