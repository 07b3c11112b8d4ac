#include "run/incremental.h"

#include <cstdio>

#include "corvane/hfolder.h"

namespace velmora {

using corvane::hfolder;

std::string outputSettings(const RunOptions& options, FrameOrder order) {
  char text[256];
  std::snprintf(text, sizeof text,
                "version %s; threshold %u; order %s; split %d; fill %d; anchor %d; align %u; "
                "optimize %d; forced %d %d,%d,%d,%d; sheet %d %u %u; pictures ",
                VELMORA_VERSION, unsigned(options.threshold),
                order == FrameOrder::natural ? "natural" : "name", int(options.split),
                int(options.fill), int(options.anchor), options.align, int(options.optimize),
                int(options.forced), options.forcedRect.minX, options.forcedRect.minY,
                options.forcedRect.maxX, options.forcedRect.maxY, int(options.sheet),
                options.padding, options.sheetMax);
  return std::string(text) + options.pictures.c_str();
}

bool unchangedSinceManifest(const RunOptions& options, const Animation& animation,
                            AnimationResult& result, const std::string& extra) {
  if (!options.incremental) return false;
  result.entry.settings = options.settings + extra;
  bool hashed = true;
  for (const std::string& name : animation.frames) {
    SourceFrame source;
    source.name = name;
    hashed = hashFile(hfolder::join(animation.folder, name), source).ok() && hashed;
    result.entry.sources.push_back(source);
  }
  const ManifestEntry* earlier =
      options.manifest != nullptr ? options.manifest->find(animation.output) : nullptr;
  if (!hashed || earlier == nullptr || earlier->settings != result.entry.settings ||
      !(earlier->sources == result.entry.sources) || !writtenFilesStand(*earlier)) {
    return false;
  }
  result.skipped = true;
  result.entry = *earlier;
  result.folder = outputFolder(options, animation);
  if (!options.pictures.empty()) result.picture = pictureFile(options, animation);
  return true;
}

Manifest nextManifest(const Manifest& read, const std::vector<Animation>& animations,
                      const std::vector<AnimationResult>& results, bool& unchanged) {
  Manifest kept;
  bool cropped = false;
  for (size_t k = 0; k < results.size(); ++k) {
    const std::string& output = animations[k].output;
    if (results[k].failure == Failure::none) {
      cropped = cropped || !results[k].skipped;
      kept.put(output, results[k].entry);
    } else if (const ManifestEntry* earlier = read.find(output)) {
      // Its earlier output stays, and so does what the manifest knew of it.
      kept.put(output, *earlier);
    }
  }
  // Every entry kept is the one read unless an animation was cropped or one
  // went away.
  unchanged = !cropped && kept.size() == read.size();
  return kept;
}

}  // namespace velmora
