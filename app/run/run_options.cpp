#include "run/run_options.h"

#include "corvane/hfolder.h"
#include "run/placement.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

htext outputFolder(const RunOptions& options, const Animation& animation) {
  const htext relative =
      options.sheet && options.split ? parentOf(animation.output) : animation.output;
  return under(options.target, relative);
}

htext sheetFolder(const RunOptions& options, const Animation& animation) {
  return options.split ? parentOf(animation.output) : animation.output;
}

std::string sheetName(const RunOptions& options, const Animation& animation) {
  if (options.split) return animation.stem;
  if (animation.relative.empty()) return options.sourceName;
  return hfolder::leafOf(animation.relative);
}

htext pictureFile(const RunOptions& options, const Animation& animation) {
  if (options.placing == Placing::inPlace) return options.pictures;
  if (options.split) return hfolder::join(options.pictures, animation.output + ".png");
  return hfolder::join(under(options.pictures, animation.output), "coverage.png");
}

}  // namespace velmora
