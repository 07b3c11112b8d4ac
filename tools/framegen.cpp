// Writes a reproducible animation of PNG frames: a textured, partly translucent
// sprite that moves across a transparent canvas and changes its shape on the
// way. Used for the bundled demo frames and for the benchmark corpora.
//
//   framegen <folder> <frames> <width> <height> [seed]
//
// The folder must exist; frames are written as frame_0001.png, ...
#include <FreeImage.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A small linear congruential generator: the same seed gives the same frames
// on every machine.
struct Random {
  uint32_t state;
  uint32_t next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
};

bool writeFrame(const std::string& path, int width, int height, int index, int frames,
                Random& random) {
  FIBITMAP* image = FreeImage_Allocate(width, height, 32);
  if (image == nullptr) return false;
  const double t = frames > 1 ? double(index) / (frames - 1) : 0.0;
  // The sprite travels along a gentle arc and breathes between a circle and
  // a flattened ellipse.
  const double cx = width * (0.25 + 0.5 * t);
  const double cy = height * (0.55 - 0.2 * std::sin(t * 3.14159265));
  const double rx = width * (0.10 + 0.04 * std::sin(t * 6.2831853));
  const double ry = height * (0.12 - 0.05 * std::sin(t * 6.2831853));
  for (int y = 0; y < height; ++y) {
    BYTE* row = FreeImage_GetScanLine(image, height - 1 - y);
    for (int x = 0; x < width; ++x) {
      BYTE* pixel = row + 4 * x;
      const double dx = (x - cx) / rx;
      const double dy = (y - cy) / ry;
      const double d = dx * dx + dy * dy;
      if (d >= 1.0) {
        pixel[FI_RGBA_RED] = pixel[FI_RGBA_GREEN] = pixel[FI_RGBA_BLUE] = 0;
        pixel[FI_RGBA_ALPHA] = 0;
        continue;
      }
      const uint32_t noise = random.next() & 31;
      const bool stripe = ((x + y + index * 3) / 6) % 2 == 0;
      pixel[FI_RGBA_RED] = static_cast<BYTE>(stripe ? 220 + (noise & 15) : 60 + noise);
      pixel[FI_RGBA_GREEN] = static_cast<BYTE>(90 + 120 * (1.0 - d) + (noise & 7));
      pixel[FI_RGBA_BLUE] = static_cast<BYTE>(stripe ? 40 + noise : 200 - noise);
      // Solid in the middle, fading out towards the rim.
      pixel[FI_RGBA_ALPHA] = static_cast<BYTE>(d < 0.6 ? 255 : 255 * (1.0 - d) / 0.4);
    }
  }
  const bool saved = FreeImage_Save(FIF_PNG, image, path.c_str(), PNG_DEFAULT) != 0;
  FreeImage_Unload(image);
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::printf("usage: framegen <folder> <frames> <width> <height> [seed]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int frames = std::atoi(argv[2]);
  const int width = std::atoi(argv[3]);
  const int height = std::atoi(argv[4]);
  Random random{argc > 5 ? static_cast<uint32_t>(std::strtoul(argv[5], nullptr, 10)) : 1u};
  if (frames <= 0 || width < 8 || height < 8) {
    std::printf("framegen: frames must be positive and the size at least 8x8\n");
    return 2;
  }
  for (int i = 0; i < frames; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%04d.png", i + 1);
    if (!writeFrame(folder + name, width, height, i, frames, random)) {
      std::printf("framegen: could not write %s%s\n", folder.c_str(), name);
      return 1;
    }
  }
  return 0;
}
