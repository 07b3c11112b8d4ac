// The command line: bytes split at NUL into an argument vector, paired into
// the option map, asked for help, and the -forcecrop value parsed, tested and
// corrected, with what each step promises checked.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "asan_defaults.h"
#include "base/crop_rect.h"
#include "console/options.h"

namespace {

void check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> words = {"velmoraReelCut"};
  std::string word;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      words.push_back(word);
      word.clear();
    } else {
      word.push_back(char(data[i]));
    }
  }
  if (size > 0) words.push_back(word);
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  argv.push_back(nullptr);

  velmora::OptionMap options;
  velmora::parseArguments(int(words.size()), argv.data(), options);
  for (const auto& [name, value] : options) {
    if (name == "argv0") continue;
    check(name[0] == '-' || name == "/?" || name == "/help", "only option names are keys");
    check(!value.empty(), "an option's value is never empty");
  }
  velmora::isHelpRequested(options);
  velmora::readInt(options["-threshold"]);

  const corvane::htext forced = options["-forcecrop"];
  velmora::CropRect rect;
  const bool parsed = velmora::parseCropRect(forced, rect);
  check(parsed == (forced.countOf(",") == 3), "parsed exactly when three commas");
  if (!parsed || !velmora::isRectValid(rect)) return 0;
  velmora::CropRect corrected = rect;
  velmora::correctRectSize(corrected);
  const int64_t width = int64_t(rect.maxX) - rect.minX;
  const int64_t height = int64_t(rect.maxY) - rect.minY;
  const int64_t newWidth = int64_t(corrected.maxX) - corrected.minX;
  const int64_t newHeight = int64_t(corrected.maxY) - corrected.minY;
  check(corrected.minX == rect.minX && corrected.minY == rect.minY, "left and top stay");
  check(newWidth % 16 == 0 && newWidth >= width && newWidth - width < 16, "width rounded up to 16");
  check(newHeight % 16 == 0 && newHeight >= height && newHeight - height < 16, "height rounded up to 16");
  check(velmora::rectArea(corrected) == newWidth * newHeight, "area of the corrected rectangle");
  return 0;
}
