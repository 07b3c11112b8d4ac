#include "png/png_optimize.h"

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "png/optimize_census.h"
#include "png/optimize_forms.h"
#include "png/optimize_writer.h"
#include "png/png_chunks.h"

namespace velmora {

using namespace optimize;

namespace {

// The size ahead of each block of PngMemory, padded so that the block stays
// aligned.
constexpr size_t kHead = alignof(std::max_align_t);
// A trial holds about ten blocks, the largest zlib's of a few hundred KB; a
// frame of another size asks for other row buffers.
constexpr size_t kMaxKept = 32;
constexpr size_t kMaxKeptSize = size_t(1) << 20;

size_t blockSize(void* block) {
  size_t size;
  std::memcpy(&size, block, sizeof size);
  return size;
}

// A frame of more raw bytes than this in a form picks its trial on a band of
// its rows, and only that trial encodes the whole frame.
constexpr size_t kBandFrom = 65536;

// The trials stop at the first whole encoding of at most this share (in
// percent) of the default's bytes: the others seldom gain much more, and each
// costs about as much again.
constexpr size_t kGoodEnoughPercent = 97;

}  // namespace

PngMemory::PngMemory() { kept_.reserve(kMaxKept); }

PngMemory::~PngMemory() {
  for (void* block : kept_) std::free(block);
}

void* PngMemory::take(size_t size) {
  for (size_t i = 0; i < kept_.size(); ++i) {
    if (blockSize(kept_[i]) == size) {
      void* block = kept_[i];
      kept_[i] = kept_.back();
      kept_.pop_back();
      return static_cast<char*>(block) + kHead;
    }
  }
  if (size > SIZE_MAX - kHead) return nullptr;
  void* block = std::malloc(size + kHead);
  if (block == nullptr) return nullptr;
  std::memcpy(block, &size, sizeof size);
  return static_cast<char*>(block) + kHead;
}

void PngMemory::give(void* pointer) {
  if (pointer == nullptr) return;
  void* block = static_cast<char*>(pointer) - kHead;
  if (kept_.size() < kMaxKept && blockSize(block) <= kMaxKeptSize) {
    kept_.push_back(block);
  } else {
    std::free(block);
  }
}

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
    if (rowBytes(form, pixels.width()) * pixels.height() > kBandFrom) {
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
