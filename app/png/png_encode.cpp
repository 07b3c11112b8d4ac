#include "png/png_encode.h"

#include <FreeImage.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "png/png_chunks.h"

namespace velmora {

namespace {

// Closed on every path, an allocation that throws included.
struct MemoryClose {
  void operator()(FIMEMORY* memory) const { FreeImage_CloseMemory(memory); }
};

// The library's own encoder, for the kinds of image the writer does not take.
Status encodeByLibrary(FIBITMAP* image, const std::string& chunks, std::string& png) {
  const std::unique_ptr<FIMEMORY, MemoryClose> memory(FreeImage_OpenMemory());
  if (memory == nullptr) return Status(Status::Code::failed, kOutOfMemory);
  BYTE* data = nullptr;
  DWORD size = 0;
  if (!FreeImage_SaveToMemory(FIF_PNG, image, memory.get(), PNG_DEFAULT) ||
      !FreeImage_AcquireMemory(memory.get(), &data, &size)) {
    return Status(Status::Code::failed, "the image library could not encode it");
  }
  png.assign(reinterpret_cast<const char*>(data), size);
  return chunks.empty() ? Status() : spliceAfterHeader(png, chunks);
}

// How the image's rows become PNG rows.
enum class Layout { asStored, bgra, bgraOpaque, bgr, wide };

// The PNG form the library's encoder gives image, as its colour type says;
// false for a kind it is not written in here.
bool formOf(FIBITMAP* image, PngHeader& header, Layout& layout) {
  header.width = FreeImage_GetWidth(image);
  header.height = FreeImage_GetHeight(image);
  if (header.width == 0 || header.height == 0 || FreeImage_GetBits(image) == nullptr) return false;
  const unsigned bpp = FreeImage_GetBPP(image);
  const FREE_IMAGE_COLOR_TYPE colour = FreeImage_GetColorType(image);
  switch (FreeImage_GetImageType(image)) {
    case FIT_BITMAP:
      if (bpp == 32 && (colour == FIC_RGBALPHA || colour == FIC_RGB)) {
        // The library writes an image of opaque pixels without its alpha.
        header.colour = colour == FIC_RGB ? kPngRgb : kPngRgba;
        layout = colour == FIC_RGB ? Layout::bgraOpaque : Layout::bgra;
        return true;
      }
      if (bpp == 24 && colour == FIC_RGB) {
        header.colour = kPngRgb;
        layout = Layout::bgr;
        return true;
      }
      if ((bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8) &&
          (colour == FIC_MINISBLACK || colour == FIC_PALETTE) && !FreeImage_IsTransparent(image)) {
        header.colour = colour == FIC_PALETTE ? kPngPalette : kPngGrey;
        header.depth = int(bpp);
        layout = Layout::asStored;
        return true;
      }
      return false;
    case FIT_UINT16:
      header.colour = kPngGrey;
      break;
    case FIT_RGB16:
      header.colour = kPngRgb;
      break;
    case FIT_RGBA16:
      header.colour = kPngRgba;
      break;
    default:
      return false;
  }
  header.depth = 16;
  layout = Layout::wide;
  return true;
}

// A keyword libpng writes as it is given: 1 to 79 printable Latin-1
// characters without a leading, trailing or double space.
bool plainKeyword(const char* key) {
  const size_t n = std::strlen(key);
  if (n == 0 || n > 79 || key[0] == ' ' || key[n - 1] == ' ') return false;
  for (size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(key[i]);
    if (c < 32 || (c > 126 && c < 161) || (c == ' ' && key[i + 1] == ' ')) return false;
  }
  return true;
}

// An uncompressed iTXt chunk without language tags.
std::string textChunk(const char* key, const FITAG* tag) {
  const auto* value = static_cast<const char*>(FreeImage_GetTagValue(const_cast<FITAG*>(tag)));
  const size_t length = FreeImage_GetTagLength(const_cast<FITAG*>(tag));
  std::string data = key;
  data.append(4, '\0');  // the keyword's end, not compressed, method 0, no language
  data += '\0';           // no translated keyword
  if (value != nullptr) data.append(value, strnlen(value, length));
  return pngChunk("iTXt", data);
}

// The chunks the library's encoder writes between the header and the image
// data, in its order: PLTE, bKGD, pHYs, tIME, then the comments in key order
// and the XMP packet, each as iTXt. false for a keyword it would refuse or
// change.
bool chunksOf(FIBITMAP* image, const PngHeader& header, std::string& chunks) {
  if (header.colour == kPngPalette) {
    const RGBQUAD* palette = FreeImage_GetPalette(image);
    if (palette == nullptr) return false;
    std::string entries;
    for (unsigned i = 0; i < 1u << header.depth; ++i) {
      entries += static_cast<char>(palette[i].rgbRed);
      entries += static_cast<char>(palette[i].rgbGreen);
      entries += static_cast<char>(palette[i].rgbBlue);
    }
    chunks += pngChunk("PLTE", entries);
  }
  RGBQUAD background;
  if (FreeImage_HasBackgroundColor(image) && FreeImage_GetBackgroundColor(image, &background)) {
    std::string data;
    if (header.colour == kPngPalette) {
      data += static_cast<char>(background.rgbReserved);
    } else if (header.colour == kPngGrey || header.colour == kPngGreyAlpha) {
      // The library hands libpng no grey level: it is written as 0.
      appendBigEndian16(data, 0);
    } else {
      appendBigEndian16(data, background.rgbRed);
      appendBigEndian16(data, background.rgbGreen);
      appendBigEndian16(data, background.rgbBlue);
    }
    chunks += pngChunk("bKGD", data);
  }
  chunks += physChunk(FreeImage_GetDotsPerMeterX(image), FreeImage_GetDotsPerMeterY(image));
  FITAG* tag = nullptr;
  if (FreeImage_GetMetadata(FIMD_EXIF_MAIN, image, "DateTime", &tag) && tag != nullptr &&
      FreeImage_GetTagLength(tag) != 0) {
    const auto* value = static_cast<const char*>(FreeImage_GetTagValue(tag));
    int year, month, day, hour, minute, second;
    if (value != nullptr && std::sscanf(value, "%4d:%02d:%02d %2d:%02d:%02d", &year, &month, &day,
                                        &hour, &minute, &second) == 6) {
      std::string data;
      appendBigEndian16(data, unsigned(year) & 0xFFFF);
      for (int part : {month, day, hour, minute, second}) data += static_cast<char>(part);
      chunks += pngChunk("tIME", data);
    }
  }
  tag = nullptr;
  if (FIMETADATA* found = FreeImage_FindFirstMetadata(FIMD_COMMENTS, image, &tag)) {
    bool plain = true;
    do {
      const char* key = FreeImage_GetTagKey(tag);
      plain = key != nullptr && plainKeyword(key);
      if (plain) chunks += textChunk(key, tag);
    } while (plain && FreeImage_FindNextMetadata(found, &tag));
    FreeImage_FindCloseMetadata(found);
    if (!plain) return false;
  }
  static const char* const kXmpKeyword = "XML:com.adobe.xmp";
  tag = nullptr;
  if (FreeImage_GetMetadata(FIMD_XMP, image, kXmpKeyword, &tag) && tag != nullptr &&
      FreeImage_GetTagLength(tag) != 0) {
    chunks += textChunk(kXmpKeyword, tag);
  }
  return true;
}

// The rows of image in layout, from the top.
class FrameRows {
 public:
  FrameRows(FIBITMAP* image, const PngHeader& header, Layout layout)
      : image_(image), height_(header.height), layout_(layout), row_(pngRowBytes(header)) {}

  const unsigned char* row(unsigned y) {
    const BYTE* line = FreeImage_GetScanLine(image_, height_ - 1 - y);
    unsigned char* out = row_.data();
    switch (layout_) {
      case Layout::asStored:
        return line;
      case Layout::bgra:
        for (size_t i = 0; i < row_.size(); i += 4) {
          out[i] = line[i + FI_RGBA_RED];
          out[i + 1] = line[i + FI_RGBA_GREEN];
          out[i + 2] = line[i + FI_RGBA_BLUE];
          out[i + 3] = line[i + FI_RGBA_ALPHA];
        }
        break;
      case Layout::bgraOpaque:
        for (size_t i = 0, j = 0; i < row_.size(); i += 3, j += 4) {
          out[i] = line[j + FI_RGBA_RED];
          out[i + 1] = line[j + FI_RGBA_GREEN];
          out[i + 2] = line[j + FI_RGBA_BLUE];
        }
        break;
      case Layout::bgr:
        for (size_t i = 0; i < row_.size(); i += 3) {
          out[i] = line[i + FI_RGBA_RED];
          out[i + 1] = line[i + FI_RGBA_GREEN];
          out[i + 2] = line[i + FI_RGBA_BLUE];
        }
        break;
      case Layout::wide: {
        // FIRGB16 and FIRGBA16 hold red first; the samples are the host's
        // 16-bit words, written big-endian.
        const auto* samples = reinterpret_cast<const uint16_t*>(line);
        for (size_t i = 0; i < row_.size(); i += 2) {
          const uint16_t v = samples[i / 2];
          out[i] = static_cast<unsigned char>(v >> 8);
          out[i + 1] = static_cast<unsigned char>(v);
        }
        break;
      }
    }
    return out;
  }

 private:
  FIBITMAP* image_;
  unsigned height_;
  Layout layout_;
  std::vector<unsigned char> row_;
};

}  // namespace

bool defaultFormOf(FIBITMAP* image, PngHeader& header, std::string& beforeData) {
  Layout layout = Layout::asStored;
  return image != nullptr && formOf(image, header, layout) && chunksOf(image, header, beforeData);
}

Status encodeFrame(FIBITMAP* image, const std::string& chunks, std::string& png,
                   PngMemory* memory, const PngEncoding& encoding) {
  if (image == nullptr) return Status(Status::Code::failed, "no image");
  PngHeader header;
  Layout layout = Layout::asStored;
  std::string beforeData;
  if (!formOf(image, header, layout) || !chunksOf(image, header, beforeData)) {
    return encodeByLibrary(image, chunks, png);
  }
  PngEncoding chosen = encoding;
  if (header.colour == kPngPalette || header.depth < 8) chosen.filters = RowFilters::none;
  FrameRows rows(image, header, layout);
  PngMemory own;
  return writePng(header, [&](unsigned y) { return rows.row(y); }, chunks, beforeData, chosen,
                  memory != nullptr ? *memory : own, png);
}

}  // namespace velmora
