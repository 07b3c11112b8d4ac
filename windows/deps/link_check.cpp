// Registers FreeImage's plugins and writes a 2x2 RGBA PNG into memory, and
// deflates a line with libdeflate's zlib wrapper that zlib inflates back:
// exits 0 when the PNG plugin got the number FreeImage.h gives it and could
// encode, and the line came back whole with libdeflate's CRC-32 of it right.
#include <FreeImage.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstring>

namespace {

int freeImageStatus() {
  FreeImage_Initialise(FALSE);
  int status = FreeImage_GetFIFFromFormat("PNG") == FIF_PNG && FIF_PNG == 13 ? 0 : 1;
  FIBITMAP* image = FreeImage_Allocate(2, 2, 32);
  FIMEMORY* memory = FreeImage_OpenMemory();
  if (image == nullptr || memory == nullptr ||
      !FreeImage_SaveToMemory(FIF_PNG, image, memory, PNG_DEFAULT)) {
    status = 2;
  }
  if (memory != nullptr) FreeImage_CloseMemory(memory);
  if (image != nullptr) FreeImage_Unload(image);
  FreeImage_DeInitialise();
  return status;
}

int deflateStatus() {
  // The check value of CRC-32 (the one of PNG and zlib) is that of "123456789".
  const char line[] = "123456789";
  const size_t size = sizeof line - 1;
  if (libdeflate_crc32(0, line, size) != 0xCBF43926u) return 3;
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(12);
  if (compressor == nullptr) return 4;
  unsigned char stream[128];
  size_t streamSize = libdeflate_zlib_compress(compressor, line, size, stream, sizeof stream);
  libdeflate_free_compressor(compressor);
  char back[sizeof line] = {};
  uLongf backSize = sizeof back;
  if (streamSize == 0 ||
      uncompress(reinterpret_cast<Bytef*>(back), &backSize, stream, streamSize) != Z_OK ||
      backSize != size || std::memcmp(back, line, size) != 0) {
    return 5;
  }
  return 0;
}

}  // namespace

int main() {
  int status = freeImageStatus();
  return status != 0 ? status : deflateStatus();
}
