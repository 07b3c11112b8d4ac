// The least a crop of this design can cost with FreeImage: every frame is
// decoded twice (once where the tool scans, once where it crops) and every
// cropped frame is encoded once. There is no scan, no alpha channel and no
// console output; the rectangle is given on the command line.
//
//   bench_floor <source folder> <output folder> <minX> <minY> <maxX> <maxY>
//
// The maxima are exclusive and already widened. Frames are the names ending in
// ".png" in the tool's name order (bytes compared with a-z read as A-Z, then
// plain bytes); the outputs are out_00001.png, ...
#include <FreeImage.h>
#include <dirent.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> listFrames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".png") == 0) names.push_back(name);
  }
  closedir(dir);
  const auto folded = [](const std::string& name) {
    std::string key = name;
    for (char& c : key) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return key;
  };
  std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
    const std::string fa = folded(a), fb = folded(b);
    if (fa != fb) return std::lexicographical_compare(
        fa.begin(), fa.end(), fb.begin(), fb.end(),
        [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
  });
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::printf("usage: bench_floor <source> <output> <minX> <minY> <maxX> <maxY>\n");
    return 2;
  }
  // The tool's allocator settings (app/main.cpp): without them small frames
  // cost the floor more than they cost the tool.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  const std::string source = argv[1];
  const std::string output = argv[2];
  const int minX = std::atoi(argv[3]);
  const int minY = std::atoi(argv[4]);
  const int maxX = std::atoi(argv[5]);
  const int maxY = std::atoi(argv[6]);
  const std::vector<std::string> frames = listFrames(source);
  const RGBQUAD fill = {0, 0, 0, 255};

  for (const std::string& name : frames) {
    FIBITMAP* frame = FreeImage_Load(FIF_PNG, (source + "/" + name).c_str(), PNG_DEFAULT);
    if (frame == nullptr) {
      std::printf("bench_floor: cannot load %s\n", name.c_str());
      return 1;
    }
    FreeImage_Unload(frame);
  }

  int number = 0;
  for (const std::string& name : frames) {
    FIBITMAP* frame = FreeImage_Load(FIF_PNG, (source + "/" + name).c_str(), PNG_DEFAULT);
    if (frame == nullptr) return 1;
    const int width = static_cast<int>(FreeImage_GetWidth(frame));
    const int height = static_cast<int>(FreeImage_GetHeight(frame));
    FIBITMAP* cropped = FreeImage_EnlargeCanvas(frame, -minX, -minY, maxX - width, maxY - height,
                                                &fill, FI_COLOR_IS_RGBA_COLOR);
    FreeImage_Unload(frame);
    if (cropped == nullptr) {
      std::printf("bench_floor: cannot crop %s\n", name.c_str());
      return 1;
    }
    char leaf[32];
    std::snprintf(leaf, sizeof leaf, "/out_%05d.png", ++number);
    const bool saved = FreeImage_Save(FIF_PNG, cropped, (output + leaf).c_str(), PNG_DEFAULT) != 0;
    FreeImage_Unload(cropped);
    if (!saved) {
      std::printf("bench_floor: cannot save %s\n", leaf + 1);
      return 1;
    }
  }
  return 0;
}
