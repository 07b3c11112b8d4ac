// The least a crop of this design can cost with FreeImage: every frame is
// decoded twice (once where the tool scans, once where it crops) and every
// cropped frame is encoded once, in FreeImage's default PNG encoding. There is
// no scan and no console output, and a frame gains an alpha channel only where
// the tool's does (a palette with transparency); the rectangles are given.
//
//   bench_floor <source folder> <output folder> <minX> <minY> <maxX> <maxY>
//   bench_floor -tree <list file> <source root> <output root>
//
// One folder: the maxima are exclusive and already widened. Frames are the
// names ending in ".png" in the tool's name order (bytes compared with a-z read
// as A-Z, then plain bytes); the outputs are out_00001.png, ...
//
// A tree: the list file holds tab-separated lines, an animation's line first
// and then its frames' lines in output order:
//   A <x> <y> <w> <h> <output folder>   the widened crop in the animation's
//                                       canvas; the folder below the output
//                                       root, made when missing
//   F <x> <y> <frame>                   the frame's place in that canvas (its
//                                       anchor offset) and its path below the
//                                       source root
// Each animation is done whole (its frames decoded, then decoded again, cut
// and saved as out_00001.png, ...) before the next, as the tool does.
#include <FreeImage.h>
#include <dirent.h>
#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Frame {
  std::string path;
  int offsetX = 0;
  int offsetY = 0;
};

struct Animation {
  std::string output;
  int x = 0, y = 0, w = 0, h = 0;
  std::vector<Frame> frames;
};

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

// Gives false, with a line printed, on a malformed line.
bool readList(const std::string& file, std::vector<Animation>& animations) {
  std::ifstream in(file);
  if (!in) {
    std::printf("bench_floor: cannot read %s\n", file.c_str());
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::istringstream fields(line);
    std::string kind;
    std::getline(fields, kind, '\t');
    std::vector<int> values(kind == "A" ? 4 : 2);
    for (int& value : values) {
      std::string field;
      std::getline(fields, field, '\t');
      value = std::atoi(field.c_str());
    }
    std::string path;
    std::getline(fields, path);
    if (path.empty() || (kind == "F" && animations.empty()) || (kind != "A" && kind != "F")) {
      std::printf("bench_floor: %s:%d: not an A or F line\n", file.c_str(), number);
      return false;
    }
    if (kind == "A") {
      animations.push_back({path, values[0], values[1], values[2], values[3], {}});
    } else {
      animations.back().frames.push_back({path, values[0], values[1]});
    }
  }
  return true;
}

bool makeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

// Decodes every frame, then decodes each again, cuts the crop out of it
// (opaque black beyond its edges) and saves it.
bool cropAnimation(const Animation& animation, const std::string& output) {
  const RGBQUAD fill = {0, 0, 0, 255};
  for (const Frame& source : animation.frames) {
    FIBITMAP* frame = FreeImage_Load(FIF_PNG, source.path.c_str(), PNG_DEFAULT);
    if (frame == nullptr) {
      std::printf("bench_floor: cannot load %s\n", source.path.c_str());
      return false;
    }
    FreeImage_Unload(frame);
  }

  int number = 0;
  for (const Frame& source : animation.frames) {
    FIBITMAP* frame = FreeImage_Load(FIF_PNG, source.path.c_str(), PNG_DEFAULT);
    if (frame == nullptr) return false;
    // As the tool does (expandTransparencyTable): on a palette with a
    // transparency table the black fill would become the nearest entry, which
    // may be a transparent one.
    if (FreeImage_GetBPP(frame) <= 8 && FreeImage_IsTransparent(frame)) {
      FIBITMAP* const expanded = FreeImage_ConvertTo32Bits(frame);
      FreeImage_Unload(frame);
      frame = expanded;
      if (frame == nullptr) return false;
    }
    const int width = static_cast<int>(FreeImage_GetWidth(frame));
    const int height = static_cast<int>(FreeImage_GetHeight(frame));
    // The crop in the frame's own pixels.
    const int left = animation.x - source.offsetX;
    const int top = animation.y - source.offsetY;
    FIBITMAP* cropped = FreeImage_EnlargeCanvas(frame, -left, -top, left + animation.w - width,
                                                top + animation.h - height, &fill,
                                                FI_COLOR_IS_RGBA_COLOR);
    FreeImage_Unload(frame);
    if (cropped == nullptr) {
      std::printf("bench_floor: cannot crop %s\n", source.path.c_str());
      return false;
    }
    char leaf[32];
    std::snprintf(leaf, sizeof leaf, "/out_%05d.png", ++number);
    const bool saved = FreeImage_Save(FIF_PNG, cropped, (output + leaf).c_str(), PNG_DEFAULT) != 0;
    FreeImage_Unload(cropped);
    if (!saved) {
      std::printf("bench_floor: cannot save %s%s\n", output.c_str(), leaf);
      return false;
    }
  }
  return true;
}

int usage() {
  std::printf("usage: bench_floor <source> <output> <minX> <minY> <maxX> <maxY>\n"
              "       bench_floor -tree <list file> <source root> <output root>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const bool tree = argc == 5 && std::string(argv[1]) == "-tree";
  if (argc != 7 && !tree) return usage();
  // The tool's allocator settings (app/main.cpp): without them small frames
  // cost the floor more than they cost the tool.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);

  if (tree) {
    std::vector<Animation> animations;
    if (!readList(argv[2], animations)) return 1;
    const std::string sources = argv[3];
    const std::string outputs = argv[4];
    for (Animation& animation : animations) {
      for (Frame& frame : animation.frames) frame.path = sources + "/" + frame.path;
      const std::string output = outputs + "/" + animation.output;
      if (!makeFolders(output)) {
        std::printf("bench_floor: cannot make %s\n", output.c_str());
        return 1;
      }
      if (!cropAnimation(animation, output)) return 1;
    }
    return 0;
  }

  const std::string source = argv[1];
  const int minX = std::atoi(argv[3]);
  const int minY = std::atoi(argv[4]);
  Animation animation{argv[2], minX, minY, std::atoi(argv[5]) - minX, std::atoi(argv[6]) - minY,
                      {}};
  for (const std::string& name : listFrames(source)) {
    animation.frames.push_back({source + "/" + name, 0, 0});
  }
  return cropAnimation(animation, animation.output) ? 0 : 1;
}
