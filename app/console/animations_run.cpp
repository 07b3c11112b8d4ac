// The console of a run over the animations of -tree, -split or -sheet: a run
// of many animations, each staged and put in place, told animation by
// animation.
#include <cinttypes>
#include <string>
#include <vector>

#include "base/crop_rect.h"
#include "base/status.h"
#include "console/console.h"
#include "console/options.h"
#include "console/settings.h"
#include "console/wording.h"
#include "corvane/hfolder.h"
#include "host/file_save.h"
#include "run/animations.h"
#include "run/crop_plan.h"
#include "run/frame_list.h"
#include "run/incremental.h"
#include "run/manifest.h"
#include "run/placement.h"
#include "run/run_report.h"
#include "run/run_reporter.h"
#include "run/scheduler.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

namespace {

const char* const kProgressLabel = ">> Cropping animations...";

// An animation as the console names it: its folder below autocropped.
htext labelOf(const Animation& animation) {
  return animation.output.empty() ? htext(".") : animation.output;
}

// "1 animation", "2 animations".
std::string counted(uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Each animation's warnings and the run's progress as they come, and the
// counts and report entries the summary is made of.
class AnimationsPrinter : public RunReporter {
 public:
  AnimationsPrinter(const RunSettings& settings, const RunOptions& options,
                    const std::vector<Animation>& animations, uint64_t total)
      : reports(animations.size()), settings_(settings), options_(options),
        animations_(animations), total_(total) {}

  void animationDone(unsigned k, const AnimationResult& result) override {
    const Animation& animation = animations_[k];
    const htext label = labelOf(animation);
    const FrameList names = frameNames(animation);
    size_t before = 0, after = 0;
    if (settings_.order == FrameOrder::name && firstNaturalSwap(names, before, after)) {
      say("\nWarning, animation \"%s\": frame names hold numbers without leading zeros: \"%s\" "
          "comes before \"%s\". Give -order natural to number them by value.\n",
          label.c_str(), names[before], names[after]);
    }
    const std::string problem = animationProblem(animation, result);
    if (options_.reporting) {
      reports[k] = result.skipped ? result.entry.report
                                  : animationEntryJson(options_, animation, result, problem,
                                                       frameProblem);
      if (!settings_.reportFile.empty()) {
        entries.push_back(result.skipped
                              ? keptEntryJson(reports[k], result.folder, result.picture)
                              : reports[k]);
      }
    }
    if (result.skipped) {
      ++skipped;
    } else if (result.failure != Failure::none) {
      ++failed;
      say("\nWarning, animation \"%s\" was not written: %s%s.\n", label.c_str(), problem.c_str(),
          because(result.status).c_str());
    } else {
      ++cropped;
      croppedFrames += animation.frames.size();
      bytesIn += result.bytesIn;
      bytesOut += result.bytesOut;
      stored += result.stored;
      shared += result.shared;
      pages += result.pages;
      if (!options_.pictures.empty() && !result.pictured.ok()) {
        ++unpictured;
        say("\nWarning, the picture of animation \"%s\" could not be written%s.\n",
            label.c_str(), because(result.pictured).c_str());
      }
    }
    done_ += animation.frames.size();
    say("\r%s %u%%", kProgressLabel,
        progressPercent(static_cast<unsigned>(done_), static_cast<unsigned>(total_)));
  }

  unsigned cropped = 0, skipped = 0, failed = 0, unpictured = 0;
  uint64_t croppedFrames = 0, bytesIn = 0, bytesOut = 0, stored = 0, shared = 0, pages = 0;
  // Every animation's report entry as the manifest keeps it, and the
  // report's entries in animation order.
  std::vector<std::string> reports;
  std::vector<std::string> entries;

 private:
  const RunSettings& settings_;
  const RunOptions& options_;
  const std::vector<Animation>& animations_;
  uint64_t total_;
  uint64_t done_ = 0;
};

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
  say("\r%s (%s) to process.\n\n", counted(animations.size(), "animation", "animations").c_str(),
      counted(found.frames, "frame", "frames").c_str());
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

  RunOptions options = runOptionsOf(settings);
  options.placing = Placing::staged;
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
    // Whatever keeps the manifest from reading leaves it empty: every
    // animation is cropped again, and that needs no line of its own.
    Manifest::read(manifestFile, manifest);
    options.incremental = true;
    options.manifest = &manifest;
    options.settings = outputSettings(options, settings.order);
  }

  AnimationsPrinter printer(settings, options, animations, found.frames);
  say("\r%s %u%%", kProgressLabel, progressPercent(0, 1));
  std::vector<AnimationResult> results = cropAnimations(animations, options, printer);

  say("\nCropped %s (%s): %" PRIu64 " bytes in, %" PRIu64 " bytes out.\n",
      counted(printer.cropped, "animation", "animations").c_str(),
      counted(printer.croppedFrames, "frame", "frames").c_str(), printer.bytesIn,
      printer.bytesOut);
  if (settings.sheet && printer.cropped > 0) {
    say("%s stored in %s; %s a cell.\n", counted(printer.stored, "frame", "frames").c_str(),
        counted(printer.pages, "sheet page", "sheet pages").c_str(),
        printer.shared == 1 ? "1 frame shares"
                            : (std::to_string(printer.shared) + " frames share").c_str());
  }
  if (printer.skipped > 0) {
    say("%s %s unchanged and skipped.\n",
        counted(printer.skipped, "animation", "animations").c_str(),
        printer.skipped == 1 ? "was" : "were");
  }
  if (printer.failed > 0) {
    say("%s failed.\n", counted(printer.failed, "animation", "animations").c_str());
  }
  bool written = true;
  if (settings.incremental) {
    for (size_t k = 0; k < results.size(); ++k) {
      if (!results[k].skipped) results[k].entry.report = printer.reports[k];
    }
    bool unchanged = true;
    const Manifest kept = nextManifest(manifest, animations, results, unchanged);
    // An unchanged tree leaves even the manifest as it was.
    const Status saved = unchanged ? Status() : saveFile(kept.json(), manifestFile);
    if (!saved.ok()) {
      written = false;
      sayNotWritten("Manifest", manifestFile, saved);
    }
  }
  // The manifest was the last file in autocropped: a second run need not
  // wait for this one's closing pause.
  lock.release();
  if (!settings.reportFile.empty()) {
    const TreeSummary summary{sourceFolder, settings.order};
    const Status saved =
        saveFile(treeReportJson(summary, options, printer.entries), settings.reportFile);
    if (!saved.ok()) {
      written = false;
      sayNotWritten("Report", settings.reportTyped, saved);
    }
  }
  // Frames of a folder that could not be read are missing from the output.
  return closeRun(printer.failed == 0 && printer.unpictured == 0 && written &&
                  found.problems.empty());
}

}  // namespace velmora
