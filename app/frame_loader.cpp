#include "frame_loader.h"

#include <FreeImage.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "console.h"
#include "png_chunks.h"

namespace velmora {

using corvane::htext;

namespace {

unsigned DLL_CALLCONV readFile(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  return static_cast<unsigned>(std::fread(buffer, size, count, static_cast<FILE*>(handle)));
}

unsigned DLL_CALLCONV writeFile(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  return static_cast<unsigned>(std::fwrite(buffer, size, count, static_cast<FILE*>(handle)));
}

int DLL_CALLCONV seekFile(fi_handle handle, long offset, int origin) {
  return std::fseek(static_cast<FILE*>(handle), offset, origin);
}

long DLL_CALLCONV tellFile(fi_handle handle) { return std::ftell(static_cast<FILE*>(handle)); }

// Metadata bound, header, then, from the same position of the same stream,
// the pixels: the bytes decoded are the bytes whose header was checked.
template <class Load, class Rewind>
FrameLoad loadGuarded(const ReadAt& readAt, Load load, Rewind rewind, int64_t maxPixels) {
  FrameLoad result;
  if (packedMetadataBytes(readAt) > kMaxPackedMetadataBytes) {
    result.status = FrameStatus::tooMuchMetadata;
    return result;
  }
  rewind();
  FIBITMAP* header = load(FIF_LOAD_NOPIXELS);
  if (header == nullptr) return result;
  result.width = FreeImage_GetWidth(header);
  result.height = FreeImage_GetHeight(header);
  FreeImage_Unload(header);
  if (int64_t(result.width) * int64_t(result.height) > maxPixels) {
    result.status = FrameStatus::tooLarge;
    return result;
  }
  rewind();
  result.image = load(PNG_DEFAULT);
  if (result.image != nullptr) result.status = FrameStatus::loaded;
  return result;
}

}  // namespace

FrameLoad loadPngFrame(const htext& path, int64_t maxPixels) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path.c_str(), error)) return FrameLoad();
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return FrameLoad();
  FreeImageIO io = {readFile, writeFile, seekFile, tellFile};
  const FrameLoad result = loadGuarded(
      [&](int64_t offset, void* buffer, unsigned n) {
        return std::fseek(file, long(offset), SEEK_SET) == 0 && std::fread(buffer, 1, n, file) == n;
      },
      [&](int flags) { return FreeImage_LoadFromHandle(FIF_PNG, &io, file, flags); },
      [&] { std::rewind(file); }, maxPixels);
  std::fclose(file);
  return result;
}

FrameLoad loadPngFrame(FIMEMORY* memory, int64_t maxPixels) {
  const long start = FreeImage_TellMemory(memory);
  return loadGuarded(
      [&](int64_t offset, void* buffer, unsigned n) {
        return FreeImage_SeekMemory(memory, long(start + offset), SEEK_SET) &&
               FreeImage_ReadMemory(buffer, 1, n, memory) == n;
      },
      [&](int flags) { return FreeImage_LoadFromMemory(FIF_PNG, memory, flags); },
      [&] { FreeImage_SeekMemory(memory, start, SEEK_SET); }, maxPixels);
}

FIBITMAP* loadFrameForScan(const htext& path, const char* name) {
  const FrameLoad frame = loadPngFrame(path);
  if (frame.status == FrameStatus::tooLarge) {
    say("\nSTOP: Frame \"%s\" declares %ux%u pixels, more than the %lld a frame may hold; no "
        "frame is written.\n",
        name, frame.width, frame.height, static_cast<long long>(kMaxFramePixels));
    waitForEnter();
    throw FrameRefused();
  }
  if (frame.status == FrameStatus::tooMuchMetadata) {
    say("\nSTOP: Frame \"%s\" holds more than %lld bytes of compressed metadata; no frame is "
        "written.\n",
        name, static_cast<long long>(kMaxPackedMetadataBytes));
    waitForEnter();
    throw FrameRefused();
  }
  return frame.image;
}

FIBITMAP* loadFrameForOutput(const htext& path, const char*& failure) {
  static_assert(kMaxFramePixels == 268435456 && kMaxPackedMetadataBytes == 65536,
                "the warnings below name the bounds");
  const FrameLoad frame = loadPngFrame(path);
  if (frame.status == FrameStatus::tooLarge) {
    failure = "declares more than 268435456 pixels";
  } else if (frame.status == FrameStatus::tooMuchMetadata) {
    failure = "holds more than 65536 bytes of compressed metadata";
  } else if (frame.status == FrameStatus::unreadable) {
    failure = "could not be loaded as PNG";
  }
  return frame.image;
}

}  // namespace velmora
