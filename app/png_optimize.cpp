#include "png_optimize.h"

#include <FreeImage.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "png_chunks.h"

namespace velmora {

namespace {

// ---- the pixels, as RGBA samples ------------------------------------------

// Packed 8-bit RGBA, red in the low byte: the key of a colour.
uint32_t packRgba(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The pixels of a FreeImage bitmap of a type the default encoding can write,
// a row at a time from the top, as RGBA samples of 8 or of 16 bits.
class Pixels {
 public:
  // False for a type without an exact reading here.
  bool open(FIBITMAP* image) {
    image_ = image;
    width_ = FreeImage_GetWidth(image);
    height_ = FreeImage_GetHeight(image);
    bpp_ = FreeImage_GetBPP(image);
    type_ = FreeImage_GetImageType(image);
    if (width_ == 0 || height_ == 0 || FreeImage_GetBits(image) == nullptr) return false;
    if (type_ == FIT_UINT16 || type_ == FIT_RGB16 || type_ == FIT_RGBA16) {
      wide_ = true;
      wide8_.resize(4 * size_t(width_));
      return true;
    }
    if (type_ != FIT_BITMAP) return false;
    if (bpp_ == 24 || bpp_ == 32) return true;
    if (bpp_ != 1 && bpp_ != 4 && bpp_ != 8) return false;
    const RGBQUAD* palette = FreeImage_GetPalette(image);
    const unsigned entries = FreeImage_GetColorsUsed(image);
    if (palette == nullptr || entries == 0) return false;
    // An index past the stored palette or its transparency table reads as
    // the library reads it when it converts: opaque beyond the table.
    const BYTE* table = FreeImage_GetTransparencyTable(image);
    const unsigned alphas = FreeImage_IsTransparent(image) && table != nullptr
                                ? FreeImage_GetTransparencyCount(image)
                                : 0;
    for (unsigned i = 0; i < 256; ++i) {
      const RGBQUAD c = i < entries ? palette[i] : RGBQUAD{0, 0, 0, 0};
      const uint8_t sample[4] = {c.rgbRed, c.rgbGreen, c.rgbBlue,
                                 uint8_t(i < alphas ? table[i] : 255)};
      std::memcpy(&lookup_[i], sample, 4);
    }
    return true;
  }

  unsigned width() const { return width_; }
  unsigned height() const { return height_; }
  bool wide() const { return wide_; }
  unsigned dotsPerMeterX() const { return FreeImage_GetDotsPerMeterX(image_); }
  unsigned dotsPerMeterY() const { return FreeImage_GetDotsPerMeterY(image_); }

  // Row y from the top as width * 4 samples; an image of 16-bit samples gives
  // each sample's high byte, which is its value when every sample is a
  // multiple of 257.
  void row8(unsigned y, uint8_t* out) const {
    const BYTE* line = FreeImage_GetScanLine(image_, height_ - 1 - y);
    if (wide_) {
      uint16_t* in = wide8_.data();
      wideRow(line, in);
      for (unsigned i = 0; i < 4 * width_; ++i) out[i] = uint8_t(in[i] >> 8);
      return;
    }
    if (bpp_ == 32 || bpp_ == 24) {
      const unsigned step = bpp_ / 8;
      for (unsigned x = 0; x < width_; ++x, line += step, out += 4) {
        out[0] = line[FI_RGBA_RED];
        out[1] = line[FI_RGBA_GREEN];
        out[2] = line[FI_RGBA_BLUE];
        out[3] = step == 4 ? line[FI_RGBA_ALPHA] : 255;
      }
      return;
    }
    for (unsigned x = 0; x < width_; ++x, out += 4) {
      unsigned index = line[x * bpp_ / 8];
      if (bpp_ == 4) index = x % 2 == 0 ? index >> 4 : index & 15;
      if (bpp_ == 1) index = (index >> (7 - x % 8)) & 1;
      std::memcpy(out, &lookup_[index], 4);
    }
  }

  // Row y from the top as width * 4 samples of 16 bits; for a wide image only.
  void row16(unsigned y, uint16_t* out) const {
    wideRow(FreeImage_GetScanLine(image_, height_ - 1 - y), out);
  }

 private:
  void wideRow(const BYTE* line, uint16_t* out) const {
    const auto* words = reinterpret_cast<const uint16_t*>(line);
    const unsigned channels = type_ == FIT_UINT16 ? 1 : type_ == FIT_RGB16 ? 3 : 4;
    for (unsigned x = 0; x < width_; ++x, words += channels, out += 4) {
      out[0] = words[0];
      out[1] = channels == 1 ? words[0] : words[1];
      out[2] = channels == 1 ? words[0] : words[2];
      out[3] = channels == 4 ? words[3] : 65535;
    }
  }

  FIBITMAP* image_ = nullptr;
  unsigned width_ = 0, height_ = 0, bpp_ = 0;
  FREE_IMAGE_TYPE type_ = FIT_UNKNOWN;
  bool wide_ = false;
  std::array<uint32_t, 256> lookup_{};
  mutable std::vector<uint16_t> wide8_;  // a row of a wide image, read for row8
};

// Up to 256 distinct colours, each with its palette index.
class ColourSet {
 public:
  // False, with nothing added, when key would be the 257th colour.
  bool add(uint32_t key) {
    size_t slot = find(key);
    if (used_[slot]) return true;
    if (count_ == 256) return false;
    used_[slot] = true;
    keys_[slot] = key;
    ++count_;
    return true;
  }
  unsigned size() const { return count_; }
  std::vector<uint32_t> keys() const {
    std::vector<uint32_t> all;
    for (size_t i = 0; i < kSlots; ++i) {
      if (used_[i]) all.push_back(keys_[i]);
    }
    return all;
  }
  void setIndex(uint32_t key, uint8_t index) { indices_[find(key)] = index; }
  // For a key added before.
  uint8_t indexOf(uint32_t key) const { return indices_[find(key)]; }

 private:
  static constexpr size_t kSlots = 1024;  // a quarter full at most: short probes
  size_t find(uint32_t key) const {
    size_t slot = (key * 2654435761u) >> 22;
    while (used_[slot] && keys_[slot] != key) slot = (slot + 1) % kSlots;
    return slot;
  }
  std::array<uint32_t, kSlots> keys_{};
  std::array<uint8_t, kSlots> indices_{};
  std::array<bool, kSlots> used_{};
  unsigned count_ = 0;
};

// What the pixels allow.
struct Census {
  bool wide = false;  // 16-bit samples that are not all multiples of 257
  bool grey = true;
  bool opaque = true;
  bool fewColours = false;  // at most 256, in colours
  int greyBits = 1;         // the fewest bits that hold every grey level exactly
  ColourSet colours;
};

// 1, 2, 4 or 8: the fewest bits of a grey sample that give level exactly
// (libpng widens a sample of b bits by repeating its bits).
int greyBitsOf(unsigned level) {
  if (level == 0 || level == 255) return 1;
  if (level % 85 == 0) return 2;
  if (level % 17 == 0) return 4;
  return 8;
}

void takeCensus(const Pixels& pixels, Census& census) {
  const unsigned width = pixels.width();
  if (pixels.wide()) {
    std::vector<uint16_t> row(4 * size_t(width));
    bool reducible = true;
    for (unsigned y = 0; y < pixels.height() && reducible; ++y) {
      pixels.row16(y, row.data());
      for (unsigned i = 0; i < row.size(); ++i) reducible &= row[i] % 257 == 0;
    }
    if (!reducible) {
      census.wide = true;
      for (unsigned y = 0; y < pixels.height(); ++y) {
        pixels.row16(y, row.data());
        for (unsigned x = 0; x < width; ++x) {
          const uint16_t* p = &row[4 * size_t(x)];
          census.grey &= p[0] == p[1] && p[1] == p[2];
          census.opaque &= p[3] == 65535;
        }
      }
      return;
    }
  }
  std::vector<uint8_t> row(4 * size_t(width));
  bool few = true;
  uint32_t last = 0;
  bool any = false;
  for (unsigned y = 0; y < pixels.height(); ++y) {
    pixels.row8(y, row.data());
    for (unsigned x = 0; x < width; ++x) {
      const uint8_t* p = &row[4 * size_t(x)];
      const uint32_t key = packRgba(p);
      // Sprites repeat a colour along a row; the set is asked once per run.
      if (any && key == last) continue;
      any = true;
      last = key;
      census.grey &= p[0] == p[1] && p[1] == p[2];
      census.opaque &= p[3] == 255;
      census.greyBits = std::max(census.greyBits, greyBitsOf(p[0]));
      if (few) few = census.colours.add(key);
      // Nothing the rest of the pixels hold can allow another form.
      if (!few && !census.grey && !census.opaque) return;
    }
  }
  census.fewColours = few;
}

// ---- the forms --------------------------------------------------------------

struct Form {
  int colour = PNG_COLOR_TYPE_RGB_ALPHA;
  int depth = 8;
  std::vector<uint32_t> palette;  // packed RGBA, the entries not opaque first
  unsigned translucent = 0;       // entries with alpha below 255
};

int channelsOf(int colour) {
  switch (colour) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
      return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB:
      return 3;
    default:
      return 4;
  }
}

int bitsPerPixel(const Form& form) { return channelsOf(form.colour) * form.depth; }

// Which forms the ICC profile among chunks allows, by the colour space the
// profile declares (bytes 16..19 of the inflated profile): libpng drops a
// profile whose space does not match the form, and one it does not know on
// any form.
struct Allowed {
  bool grey = true;
  bool colour = true;
};

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

// The forms to try, the likeliest smallest first: the palette when it has
// fewer bits per pixel than the best form without one, and that form.
std::vector<Form> candidateForms(Census& census, const Allowed& allowed) {
  std::vector<Form> forms;
  Form plain;
  const int depth = census.wide ? 16 : 8;
  if (census.grey && allowed.grey) {
    plain.colour = census.opaque ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_GRAY_ALPHA;
    plain.depth = census.opaque && !census.wide ? census.greyBits : depth;
    forms.push_back(plain);
  } else if (allowed.colour) {
    plain.colour = census.opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA;
    plain.depth = depth;
    forms.push_back(plain);
  }
  if (!census.wide && census.fewColours && allowed.colour) {
    Form palette;
    palette.colour = PNG_COLOR_TYPE_PALETTE;
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

// ---- rows in a form -----------------------------------------------------------

// The rows of the pixels in one form, as libpng takes them.
class RowMaker {
 public:
  RowMaker(const Pixels& pixels, const Form& form, const ColourSet& colours)
      : pixels_(pixels), form_(form), colours_(colours),
        bytes_((size_t(pixels.width()) * bitsPerPixel(form) + 7) / 8),
        out_(bytes_), rgba8_(4 * size_t(pixels.width())),
        rgba16_(form.depth == 16 ? 4 * size_t(pixels.width()) : 0) {}

  // Row y from the top; valid until the next call.
  unsigned char* row(unsigned y) {
    const unsigned width = pixels_.width();
    if (form_.depth == 16) {
      pixels_.row16(y, rgba16_.data());
      const int channels = channelsOf(form_.colour);
      // Which of the RGBA samples each channel of the form takes.
      static const int kGreyAlpha[] = {0, 3};
      const bool grey = form_.colour == PNG_COLOR_TYPE_GRAY_ALPHA || form_.colour == PNG_COLOR_TYPE_GRAY;
      unsigned char* out = out_.data();
      for (unsigned x = 0; x < width; ++x) {
        const uint16_t* p = &rgba16_[4 * size_t(x)];
        for (int c = 0; c < channels; ++c) {
          const uint16_t v = p[grey ? kGreyAlpha[c] : c];
          *out++ = uint8_t(v >> 8);
          *out++ = uint8_t(v);
        }
      }
      return out_.data();
    }
    pixels_.row8(y, rgba8_.data());
    const uint8_t* p = rgba8_.data();
    unsigned char* out = out_.data();
    switch (form_.colour) {
      case PNG_COLOR_TYPE_RGB_ALPHA:
        std::memcpy(out, p, 4 * size_t(width));
        break;
      case PNG_COLOR_TYPE_RGB:
        for (unsigned x = 0; x < width; ++x, p += 4) {
          *out++ = p[0];
          *out++ = p[1];
          *out++ = p[2];
        }
        break;
      case PNG_COLOR_TYPE_GRAY_ALPHA:
        for (unsigned x = 0; x < width; ++x, p += 4) {
          *out++ = p[0];
          *out++ = p[3];
        }
        break;
      case PNG_COLOR_TYPE_GRAY:
        pack(width, [&](unsigned x) { return unsigned(p[4 * size_t(x)]) >> (8 - form_.depth); });
        break;
      default: {
        uint32_t lastKey = packRgba(p);
        unsigned lastIndex = colours_.indexOf(lastKey);
        pack(width, [&](unsigned x) {
          const uint32_t key = packRgba(p + 4 * size_t(x));
          if (key != lastKey) {
            lastKey = key;
            lastIndex = colours_.indexOf(key);
          }
          return lastIndex;
        });
      }
    }
    return out_.data();
  }

 private:
  // Samples of form_.depth bits, the first in the high bits of a byte.
  template <typename Sample>
  void pack(unsigned width, Sample sample) {
    const int depth = form_.depth;
    if (depth == 8) {
      for (unsigned x = 0; x < width; ++x) out_[x] = static_cast<unsigned char>(sample(x));
      return;
    }
    std::fill(out_.begin(), out_.end(), 0);
    const unsigned perByte = 8 / depth;
    for (unsigned x = 0; x < width; ++x) {
      const unsigned shift = 8 - depth * (x % perByte + 1);
      out_[x / perByte] |= static_cast<unsigned char>(sample(x) << shift);
    }
  }

  const Pixels& pixels_;
  const Form& form_;
  const ColourSet& colours_;
  size_t bytes_;
  std::vector<unsigned char> out_;
  std::vector<uint8_t> rgba8_;
  std::vector<uint16_t> rgba16_;
};

// ---- libpng ---------------------------------------------------------------------

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

png_voidp takeBlock(png_structp png, png_alloc_size_t size) {
  return static_cast<PngMemory*>(png_get_mem_ptr(png))->take(size);
}

void giveBlock(png_structp png, png_voidp pointer) {
  static_cast<PngMemory*>(png_get_mem_ptr(png))->give(pointer);
}

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

// The pixels in form with trial, rows first to first + count, into sink;
// false when libpng failed or the bytes reached sink.limit.
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

// The trials of a form, the likeliest winner first. Palette indices and rows
// of fewer than 8 bits per pixel seldom gain from a filter. In a sprite with
// alpha the left neighbour predicts best, better than the filter libpng picks
// row by row for the least sum of differences; that one wins on smooth
// gradients; and in noisy pixels nothing repeats, where the run-length
// strategy loses nothing to zlib's search and takes a fraction of its time.
// Level 8 searches a quarter as far as 9 and, in sprites, ends within a tenth
// of a percent of it.
std::vector<Trial> trialsFor(const Form& form) {
  if (form.colour == PNG_COLOR_TYPE_PALETTE || bitsPerPixel(form) < 8) {
    return {{PNG_FILTER_NONE, Z_DEFAULT_STRATEGY, 9}, {PNG_ALL_FILTERS, Z_DEFAULT_STRATEGY, 9}};
  }
  return {{PNG_FILTER_SUB, Z_DEFAULT_STRATEGY, 8},
          {PNG_ALL_FILTERS, Z_DEFAULT_STRATEGY, 8},
          {PNG_ALL_FILTERS, Z_RLE, 9}};
}

// A frame of more raw bytes than this in a form picks its trial on a band of
// its rows, and only that trial encodes the whole frame.
constexpr size_t kBandFrom = 65536;

// The trials stop at the first whole encoding of at most this share (in
// percent) of the default's bytes: the others seldom gain much more, and each
// costs about as much again.
constexpr size_t kGoodEnoughPercent = 97;

// The trial that encodes the middle quarter of the rows smallest at level 3:
// which trial suits the pixels shows on a part of them, and at a fast level.
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
