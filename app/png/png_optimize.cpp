#include "png/png_optimize.h"

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "png/optimize_census.h"
#include "png/optimize_forms.h"
#include "png/optimize_rows.h"
#include "png/optimize_writer.h"
#include "png/png_encode.h"

namespace velmora {

using namespace optimize;

namespace {

// The default encoding, when a trial writes its very stream: its form is a
// plain one of the optimizer's (8- or 16-bit RGBA, RGB or grey), whose rows
// are its rows, and libpng's per-row choice at the default level is among
// the trials, which is then all the default encoding does.
struct DefaultTwin {
  PngHeader header;
  std::string beforeData;
  ByteBuffer stream;
  bool written = false;
};

bool twinOf(const Form& form, RowFilters filters, const DefaultTwin* twin) {
  return twin != nullptr && form.colour != kPngPalette && form.depth >= 8 &&
         form.colour == twin->header.colour && form.depth == twin->header.depth &&
         filters == kDefaultEncoding.filters;
}

static_assert(kTrialLevel == kDefaultEncoding.level,
              "the default encoding's trial must deflate at the default level");

// out: the optimized encoding of image with chunks; not made when it has
// none or a trial fails. With twin, the trial that is the default encoding
// keeps its stream there.
Status encodeBest(FIBITMAP* image, const std::string& chunks, bool resolution, PngMemory& memory,
                  DefaultTwin* twin, std::string& out) {
  Pixels pixels;
  if (image == nullptr || !pixels.open(image)) {
    return Status(Status::Code::failed, "no exact optimized form for the pixel type");
  }
  Census census;
  takeCensus(pixels, census);
  const std::vector<Form> forms = candidateForms(census, allowedBy(chunks));
  if (forms.empty()) {
    return Status(Status::Code::failed, "the ICC profile allows no optimized form");
  }
  // The bytes every encoding of the frame holds besides its form's chunks and
  // its stream: signature, IHDR, the colour chunks, IDAT's and IEND's frames.
  const size_t fixed = 8 + 25 + chunks.size() + 12 + 12;
  // The smallest trial so far, counted whole: its form, its form's chunks,
  // its filtered rows and its stream.
  const Form* bestForm = nullptr;
  std::string bestChunks;
  ByteBuffer formRows, filtered, bestFiltered, stream, bestStream;
  size_t least = SIZE_MAX;
  for (const Form& form : forms) {
    const PngHeader header = headerOf(pixels, form);
    const std::string formChunks = chunksOf(pixels, form, resolution);
    // The form's rows made once for all its filterings.
    const size_t rowBytes = pngRowBytes(header);
    if (rowBytes > SIZE_MAX / header.height || !formRows.resize(rowBytes * header.height)) {
      return Status(Status::Code::failed, kOutOfMemory);
    }
    RowMaker maker(pixels, form, census.colours);
    for (unsigned y = 0; y < header.height; ++y) {
      const unsigned char* row = maker.row(y);
      std::copy(row, row + rowBytes, formRows.data() + size_t(y) * rowBytes);
    }
    const RowSource rows = [&](unsigned y) { return formRows.data() + size_t(y) * rowBytes; };
    for (RowFilters filters : filtersFor(form)) {
      Status made = filterRows(header, rows, filters, filtered);
      if (made.ok()) made = deflateRows(filtered, kTrialLevel, memory, stream);
      if (!made.ok()) return made;
      const size_t size = stream.size();
      if (twinOf(form, filters, twin)) {
        // The default's own trial is kept whole, however it compares: its
        // bytes are the default's.
        if (!twin->stream.resize(size)) return Status(Status::Code::failed, kOutOfMemory);
        std::copy(stream.data(), stream.data() + size, twin->stream.data());
        twin->written = true;
      }
      const size_t room = least > fixed + formChunks.size() ? least - fixed - formChunks.size() : 1;
      if (size >= room) continue;
      least = fixed + formChunks.size() + size;
      bestForm = &form;
      bestChunks = formChunks;
      std::swap(filtered, bestFiltered);
      std::swap(stream, bestStream);
    }
  }
  const Status packed =
      deflateRows(bestFiltered, finalLevelFor(bestFiltered.size()), memory, stream);
  if (!packed.ok()) return packed;
  return assemblePng(headerOf(pixels, *bestForm), chunks, bestChunks,
                     stream.size() < bestStream.size() ? stream : bestStream, out);
}

}  // namespace

Gain encodeOptimized(FIBITMAP* image, const std::string& chunks, std::string& png,
                     PngMemory* memory, bool resolution) {
  PngMemory own;
  std::string out;
  Gain gain;
  gain.status =
      encodeBest(image, chunks, resolution, memory != nullptr ? *memory : own, nullptr, out);
  gain.smaller = gain.status.ok() && out.size() < png.size();
  if (gain.smaller) png.swap(out);
  return gain;
}

Status encodeSmallest(FIBITMAP* image, const std::string& chunks, std::string& png,
                      PngMemory* memory, bool resolution) {
  PngMemory own;
  if (memory == nullptr) memory = &own;
  DefaultTwin twin;
  if (!defaultFormOf(image, twin.header, twin.beforeData)) {
    const Status plain = encodeFrame(image, chunks, png, memory);
    // Of no gain or not made, the optimized form leaves png the default frame.
    if (plain.ok()) encodeOptimized(image, chunks, png, memory, resolution);
    return plain;
  }
  std::string optimized;
  const bool found = encodeBest(image, chunks, resolution, *memory, &twin, optimized).ok();
  if (!twin.written) {
    // No trial was the default encoding: it is made on its own.
    const Status plain = encodeFrame(image, chunks, png, memory);
    if (plain.ok() && found && optimized.size() < png.size()) png.swap(optimized);
    return plain;
  }
  std::string plain;
  const Status assembled = assemblePng(twin.header, chunks, twin.beforeData, twin.stream, plain);
  if (assembled.ok()) png.swap(found && optimized.size() < plain.size() ? optimized : plain);
  return assembled;
}

}  // namespace velmora
