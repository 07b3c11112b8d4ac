// The console of a run over the animations of -tree or -split.
#include <cinttypes>
#include <string>
#include <vector>

#include "base/crop_rect.h"
#include "base/status.h"
#include "console/console.h"
#include "console/options.h"
#include "console/settings.h"
#include "corvane/hfolder.h"
#include "host/file_save.h"
#include "run/animations.h"
#include "run/frame_list.h"
#include "run/manifest.h"
#include "run/run_report.h"
#include "run/tree_run.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

namespace {

const char* const kProgressLabel = ">> Cropping animations...";

// An animation as the console names it: its folder below autocropped.
htext labelOf(const Animation& animation) {
  return animation.output.empty() ? htext(".") : animation.output;
}

}  // namespace

int runAnimations(const RunSettings& settings) {
  const htext sourceFolder = checkSourceFolder(settings);
  if (sourceFolder.empty()) return 1;
  const OutputFolder output = outputFolderOf(settings);
  const htext target = hfolder::join(output.folder, "autocropped");
  std::vector<htext> skip = {target};
  if (!settings.previewFile.empty()) skip.push_back(settings.previewFile);
  const AnimationSet found =
      findAnimations(sourceFolder, settings.tree, settings.split, settings.order, skip);
  const std::vector<Animation>& animations = found.animations;
  say("\r%u animations (%" PRIu64 " frames) to process.\n\n",
      static_cast<unsigned>(animations.size()), static_cast<uint64_t>(found.frames));
  for (const FolderProblem& problem : found.problems) {
    say("Warning, folder \"%s\" could not be read%s; its frames are left out.\n\n",
        problem.relative.empty() ? "." : problem.relative.c_str(),
        because(problem.status).c_str());
  }
  sayOutputChoice(settings, output);
  if (sayIfOutputIsSource(target, sourceFolder)) return 1;
  if (!settings.previewFile.empty() && hfolder::isSameFolder(settings.previewFile, sourceFolder)) {
    say("STOP: Preview folder \"%s\" is the source folder; its pictures would be taken for "
        "frames.\n",
        settings.previewTyped.c_str());
    return 1;
  }
  if (animations.empty()) {
    return closeRun(true);
  }

  TreeOptions options;
  options.threshold = settings.threshold;
  options.fill = settings.fill;
  options.anchor = settings.anchor;
  options.align = settings.align;
  options.optimize = settings.optimize;
  options.jobs = settings.jobs;
  options.split = settings.split;
  options.pictures = settings.previewFile;
  options.sheet = settings.sheet;
  options.padding = settings.padding;
  options.sheetMax = settings.sheetMax;
  options.sourceName = hfolder::leafOf(sourceFolder);
  if (!settings.forced.empty()) {
    if (!readForcedRect(settings, options.forcedRect)) return 1;
    options.forced = true;
    // A rectangle of no use to one animation is of no use to any: one STOP.
    // (A sheet keeps it to each animation's canvas instead.)
    if (!settings.sheet && !isRectValid(options.forcedRect, settings.align)) {
      sayInvalidRect(options.forcedRect);
      return 1;
    }
  }
  if (!makeOutputFolder(target)) return 1;
  host::FolderLock lock;
  if (!lockOutputFolder(target, lock)) return 1;
  options.target = target;
  const Status staged = makeStagingFolder(output.folder, options.staging);
  if (!staged.ok()) {
    say("STOP: Folder \"%s\" for the new frames could not be created%s.\n",
        options.staging.c_str(), because(staged).c_str());
    return 1;
  }
  const htext manifestFile = hfolder::join(target, kManifestName);
  Manifest manifest;
  options.reporting = !settings.reportFile.empty() || settings.incremental;
  if (settings.incremental) {
    manifest = Manifest::read(manifestFile);
    options.incremental = true;
    options.manifest = &manifest;
    options.settings = outputSettings(options, settings.order);
  }

  const TreeSummary summary{sourceFolder, settings.order};

  uint64_t total = found.frames, done = 0;
  unsigned cropped = 0, skipped = 0, failed = 0, unpictured = 0;
  uint64_t croppedFrames = 0, bytesIn = 0, bytesOut = 0, stored = 0, shared = 0, pages = 0;
  const bool reporting = !settings.reportFile.empty();
  std::vector<std::string> entries;
  say("\r%s %u%%", kProgressLabel, progressPercent(0, 1));
  const auto sayDone = [&](unsigned k, const AnimationResult& result) {
    const Animation& animation = animations[k];
    const htext label = labelOf(animation);
    const FrameList names = frameNames(animation);
    size_t before = 0, after = 0;
    if (settings.order == FrameOrder::name && firstNaturalSwap(names, before, after)) {
      say("\nWarning, animation \"%s\": frame names hold numbers without leading zeros: \"%s\" "
          "comes before \"%s\". Give -order natural to number them by value.\n",
          label.c_str(), names[before], names[after]);
    }
    if (reporting) {
      entries.push_back(result.skipped
                            ? keptEntryJson(result.entry.report, result.folder, result.picture)
                            : result.entry.report);
    }
    if (result.skipped) {
      ++skipped;
    } else if (result.failure != AnimationFailure::none) {
      ++failed;
      say("\nWarning, animation \"%s\" was not written: %s%s.\n", label.c_str(),
          animationProblem(animation, result).c_str(), because(result.status).c_str());
    } else {
      ++cropped;
      croppedFrames += animation.frames.size();
      bytesIn += result.bytesIn;
      bytesOut += result.bytesOut;
      stored += result.stored;
      shared += result.shared;
      pages += result.pages;
      if (!options.pictures.empty() && !result.pictured.ok()) {
        ++unpictured;
        say("\nWarning, the picture of animation \"%s\" could not be written%s.\n",
            label.c_str(), because(result.pictured).c_str());
      }
    }
    done += animation.frames.size();
    say("\r%s %u%%", kProgressLabel,
        progressPercent(static_cast<unsigned>(done), static_cast<unsigned>(total)));
  };
  const std::vector<AnimationResult> results = cropAnimations(animations, options, sayDone);

  say("\nCropped %u animations (%" PRIu64 " frames): %" PRIu64 " bytes in, %" PRIu64
      " bytes out.\n",
      cropped, croppedFrames, bytesIn, bytesOut);
  if (settings.sheet && cropped > 0) {
    say("%" PRIu64 " frames stored in %" PRIu64 " sheet pages; %" PRIu64
        " frames share a cell.\n",
        stored, pages, shared);
  }
  if (skipped > 0) say("%u animations were unchanged and skipped.\n", skipped);
  if (failed > 0) say("%u animations failed.\n", failed);
  bool written = true;
  if (settings.incremental) {
    bool unchanged = true;
    const Manifest kept = nextManifest(manifest, animations, results, unchanged);
    // An unchanged tree leaves even the manifest as it was.
    const Status saved = unchanged ? Status() : saveFile(kept.json(), manifestFile);
    if (!saved.ok()) {
      written = false;
      sayNotWritten("Manifest", manifestFile, saved);
    }
  }
  if (!settings.reportFile.empty()) {
    const Status saved = saveFile(treeReportJson(summary, options, entries), settings.reportFile);
    if (!saved.ok()) {
      written = false;
      sayNotWritten("Report", settings.reportTyped, saved);
    }
  }
  // Frames of a folder that could not be read are missing from the output.
  return closeRun(failed == 0 && unpictured == 0 && written && found.problems.empty());
}

}  // namespace velmora
