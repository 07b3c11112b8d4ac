// Registers FreeImage's plugins and writes a 2x2 RGBA PNG into memory: exits 0
// when the PNG plugin got the number FreeImage.h gives it and could encode.
#include <FreeImage.h>

int main() {
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
