#include "png/png_encode.h"

#include <FreeImage.h>

#include <memory>

#include "png/png_chunks.h"

namespace velmora {

namespace {

// Closed on every path, an allocation that throws included.
struct MemoryClose {
  void operator()(FIMEMORY* memory) const { FreeImage_CloseMemory(memory); }
};

}  // namespace

bool encodeFrame(FIBITMAP* image, const std::string& chunks, std::string& png, int flags) {
  const std::unique_ptr<FIMEMORY, MemoryClose> memory(FreeImage_OpenMemory());
  if (memory == nullptr) return false;
  BYTE* data = nullptr;
  DWORD size = 0;
  if (!FreeImage_SaveToMemory(FIF_PNG, image, memory.get(), flags) ||
      !FreeImage_AcquireMemory(memory.get(), &data, &size)) {
    return false;
  }
  png.assign(reinterpret_cast<const char*>(data), size);
  return chunks.empty() || spliceAfterHeader(png, chunks);
}

}  // namespace velmora
