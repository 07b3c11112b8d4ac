#include "png/optimize_writer.h"

#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <new>

#include "png/optimize_rows.h"

namespace velmora {
namespace optimize {

namespace {

png_voidp takeBlock(png_structp png, png_alloc_size_t size) {
  return static_cast<PngMemory*>(png_get_mem_ptr(png))->take(size);
}

void giveBlock(png_structp png, png_voidp pointer) {
  static_cast<PngMemory*>(png_get_mem_ptr(png))->give(pointer);
}

void writeBytes(png_structp png, png_bytep data, size_t size) {
  Sink* sink = static_cast<Sink*>(png_get_io_ptr(png));
  bool kept = sink->bytes.size() + size < sink->limit;
  if (kept) {
    try {
      sink->bytes.append(reinterpret_cast<const char*>(data), size);
    } catch (const std::bad_alloc&) {
      kept = false;
    }
  }
  if (!kept) png_error(png, "trial given up");
}

void flushBytes(png_structp) {}

// libpng's own handlers print to standard error; the tool prints nothing
// there, and a failed trial is no news.
void stopTrial(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignoreWarning(png_structp, png_const_charp) {}

// What one trial hands to libpng, all made before libpng starts.
struct TrialInput {
  const Pixels& pixels;
  const Form& form;
  const Trial& trial;
  unsigned first, count;  // the rows encoded
  RowMaker& rows;
  const std::vector<png_color>& palette;
  const std::vector<png_byte>& alphas;
  Sink& sink;
};

// libpng's calls of one trial. A failure, or a trial given up, jumps back to
// the setjmp here; this frame holds nothing whose destructor that would skip.
bool writeTrial(png_structp png, png_infop info, const TrialInput& in) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, &in.sink, writeBytes, flushBytes);
  png_set_compression_level(png, in.trial.level);
  png_set_compression_mem_level(png, 9);
  png_set_compression_strategy(png, in.trial.strategy);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, in.trial.filters);
  png_set_IHDR(png, info, in.pixels.width(), in.count, in.form.depth, in.form.colour,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!in.palette.empty()) png_set_PLTE(png, info, in.palette.data(), int(in.palette.size()));
  if (!in.alphas.empty()) png_set_tRNS(png, info, in.alphas.data(), int(in.alphas.size()), nullptr);
  // The resolution, as the default encoding writes it: none for an image that
  // declares none.
  if (in.pixels.dotsPerMeterX() > 0 && in.pixels.dotsPerMeterY() > 0) {
    png_set_pHYs(png, info, in.pixels.dotsPerMeterX(), in.pixels.dotsPerMeterY(),
                 PNG_RESOLUTION_METER);
  }
  png_write_info(png, info);
  for (unsigned y = in.first; y < in.first + in.count; ++y) png_write_row(png, in.rows.row(y));
  png_write_end(png, info);
  return true;
}

}  // namespace

bool encodeTrial(const Pixels& pixels, const Form& form, const ColourSet& colours,
                 const Trial& trial, unsigned first, unsigned count, PngMemory& memory, Sink& sink) {
  sink.bytes.clear();
  RowMaker rows(pixels, form, colours);
  std::vector<png_color> palette;
  std::vector<png_byte> alphas;
  for (uint32_t key : form.palette) {
    palette.push_back(png_color{png_byte(key), png_byte(key >> 8), png_byte(key >> 16)});
    if (alphas.size() < form.translucent) alphas.push_back(png_byte(key >> 24));
  }
  png_structp png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, nullptr, stopTrial,
                                              ignoreWarning, &memory, takeBlock, giveBlock);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  const bool written =
      info != nullptr &&
      writeTrial(png, info, TrialInput{pixels, form, trial, first, count, rows, palette, alphas, sink});
  png_destroy_write_struct(&png, &info);
  return written;
}

// Palette indices and rows of fewer than 8 bits per pixel seldom gain from a
// filter. In a sprite with alpha the left neighbour predicts best, better
// than the filter libpng picks row by row for the least sum of differences;
// that one wins on smooth gradients; and in noisy pixels nothing repeats,
// where the run-length strategy loses nothing to zlib's search and takes a
// fraction of its time. Level 8 searches a quarter as far as 9 and, in
// sprites, ends within a tenth of a percent of it.
std::vector<Trial> trialsFor(const Form& form) {
  if (form.colour == PNG_COLOR_TYPE_PALETTE || bitsPerPixel(form) < 8) {
    return {{PNG_FILTER_NONE, Z_DEFAULT_STRATEGY, 9}, {PNG_ALL_FILTERS, Z_DEFAULT_STRATEGY, 9}};
  }
  return {{PNG_FILTER_SUB, Z_DEFAULT_STRATEGY, 8},
          {PNG_ALL_FILTERS, Z_DEFAULT_STRATEGY, 8},
          {PNG_ALL_FILTERS, Z_RLE, 9}};
}

// Which trial suits the pixels shows on a part of them, and at a fast level.
Trial trialByBand(const Pixels& pixels, const Form& form, const ColourSet& colours,
                  const std::vector<Trial>& trials, PngMemory& memory, Sink& sink) {
  const unsigned count = std::max(1u, pixels.height() / 4);
  size_t least = SIZE_MAX;
  Trial chosen = trials.front();
  for (const Trial& trial : trials) {
    Trial quick = trial;
    quick.level = std::min(trial.level, 3);
    sink.limit = least;
    if (encodeTrial(pixels, form, colours, quick, (pixels.height() - count) / 2, count, memory,
                    sink) &&
        sink.bytes.size() < least) {
      least = sink.bytes.size();
      chosen = trial;
    }
  }
  return chosen;
}

}  // namespace optimize
}  // namespace velmora
