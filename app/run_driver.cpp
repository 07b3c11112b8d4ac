#include "run_driver.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "bounds_scanner.h"
#include "console.h"
#include "corvane/hfolder.h"
#include "coverage_map.h"
#include "file_host.h"
#include "file_save.h"
#include "frame_list.h"
#include "frame_output.h"
#include "options.h"
#include "run_report.h"

namespace velmora {

using corvane::hfolder;
using corvane::hlist;
using corvane::htext;

namespace {

const char* const kClosingPrompt = "Press Enter to exit...";

// The rectangle from -forcecrop or from the scan, which also gives every
// frame's own visible box. Gives false after a STOP that ends the run.
bool obtainRect(const htext& forced, const FrameList& frames, const htext& source,
                uint8_t threshold, unsigned jobs, CoverageMap* coverage, CropRect& rect,
                std::vector<CropRect>& visible) {
  if (!forced.empty()) {
    if (parseCropRect(forced, rect)) return true;
    say("STOP: Custom crop-rect definition is malformed.\nYou need to pass the crop rect as: "
        "x,y,w,h (no spaces).\n");
    return false;
  }
  const BoundsScan scan = determineBounds(frames, source, threshold, jobs, coverage);
  if (!scan.area) return false;
  rect = *scan.area;
  for (const FrameScan& frame : scan.frames) visible.push_back(frame.visible);
  return true;
}

// The file an option names for the run to write (-report, -preview), checked
// before anything is read so that a long run cannot end without it. <empty>
// when the option is absent; false after its STOP.
bool checkFileOption(OptionMap& options, const char* option, const char* what, htext& settled) {
  const htext typed = options[option];
  if (typed.empty()) return true;
  if (typed != kNoValue) settled = settleFilePath(typed);
  if (!settled.empty()) return true;
  say("STOP: %s file \"%s\" cannot be written: it names no file in an existing folder.\n", what,
      typed.c_str());
  return false;
}

}  // namespace

int runDriver(int argc, const char* const* argv) {
  say("velmoraReelCut v0.1 (standalone)\n");
  say("--------------------------------\n");
  htext source;
  OptionMap options;
  unsigned jobs = 1;
  FrameOrder order = FrameOrder::name;
  htext reportFile;
  htext previewFile;

  if (argc > 1) {
    parseArguments(argc, argv, options);
    if (isHelpRequested(options)) {
      printHelp();
      return 0;
    }
    if (options["-i"].empty()) {
      say("STOP: Source path not defined.\n");
      return 1;
    }
    source = options["-i"];
    if (!readJobs(options["-jobs"], jobs)) {
      say("STOP: -jobs takes a whole number of threads, 0 or more (0: one per processor core).\n");
      return 1;
    }
    if (jobs == 0) jobs = files::usableProcessors();
    if (!readOrder(options["-order"], order)) {
      say("STOP: -order takes name or natural.\n");
      return 1;
    }
    if (!checkFileOption(options, "-report", "Report", reportFile) ||
        !checkFileOption(options, "-preview", "Preview", previewFile)) {
      return 1;
    }
  } else {
    say("Run this program with -? parameter to display help & options.\n\n");
    source = promptSourcePath();
    if (source.empty()) return 0;
  }

  source = source.trimRight('\\');
  // The folder services read backslashes as separators and resolve "." and
  // ".." as text; the listing, the loads, the output folder and the saves all
  // use that one settled text, so they cannot name different folders.
  const htext sourceFolder = hfolder::simplify(source);
  say("Checking source dir...");
  if (!hfolder::isFolder(sourceFolder)) {
    say("\rSTOP: Source folder \"%s\" does not exist or cannot be read.\n", source.c_str());
    return 1;
  }
  const hlist<htext> listing = hfolder::listEntries(sourceFolder);
  const FrameList frames = selectFrames(listing, order);
  say("\r%i png files to process.\n\n", static_cast<int>(frames.size()));
  const htext forced = options["-forcecrop"];
  if (frames.empty()) {
    say("\nAll done!\n");
    waitForEnter(kClosingPrompt);
    return 0;
  }

  htext output = source;
  const htext requested = options["-o"];
  if (!requested.empty()) {
    if (hfolder::isFolder(requested)) {
      output = requested;
      say("Using specified output path: %s\n\n", requested.c_str());
    } else {
      say("Warning, specified output path \"%s\" appears to be invalid or inaccessible. Using "
          "\"autocropped\" subfolder in source path instead.\n\n",
          requested.c_str());
    }
  }
  const htext outputFolder = hfolder::simplify(output.trimRight('\\'));

  const htext target = hfolder::join(outputFolder, "autocropped");
  if (hfolder::isFolder(target)) {
    // Writing into the source folder would overwrite frames not read yet.
    if (hfolder::isSameFolder(target, sourceFolder)) {
      say("STOP: Output folder \"%s\" is the source folder; its frames would be overwritten.\n",
          target.c_str());
      return 1;
    }
    say("Warning, directory \"autocropped\" already exists!\nYou might want to clear it before "
        "continuing.\n");
    waitForEnter();
  }
  hfolder::makeFolderPath(target);
  if (!hfolder::isFolder(target)) {
    say("STOP: Output folder \"%s\" could not be created.\n", target.c_str());
    return 1;
  }

  // Only the low 8 bits of the threshold count: 256 acts as 0.
  const uint8_t threshold = static_cast<uint8_t>(readInt(options["-threshold"]));
  // The picture's counts come from the decoding the run does anyway: the
  // scan's, or with a forced rectangle the frame loop's.
  std::unique_ptr<CoverageMap> coverage;
  FrameExtent extent;
  if (!previewFile.empty()) extent = largestFrame(frames, sourceFolder);
  if (!previewFile.empty() && forced.empty()) {
    coverage = std::make_unique<CoverageMap>(extent.width, extent.height, std::nullopt,
                                             frames.size());
  }
  CropRect rect;
  std::vector<CropRect> visible;
  try {
    if (!obtainRect(forced, frames, sourceFolder, threshold, jobs, coverage.get(), rect, visible)) {
      return 1;
    }
  } catch (const char* text) {
    say("\nFATAL ERROR: %s\n", text);
    return 1;
  }

  if (!isRectValid(rect)) {
    say("STOP: Crop-rect is mathematically incorrect, please check source frames (and custom "
        "crop rect if specified).\n");
    say("Invalid rect: min xy: %i, %i | max xy: %i, %i\n", rect.minX, rect.minY, rect.maxX,
        rect.maxY);
    waitForEnter();
    return 1;
  }
  say("   - Cropped position: %i, %i\n", rect.minX, rect.minY);
  say("   - Animation area: %ix%i\n", rect.maxX - rect.minX, rect.maxY - rect.minY);
  const CropRect area = rect;
  correctRectSize(rect);
  say("   - Corrected size: %ix%i\n", rect.maxX - rect.minX, rect.maxY - rect.minY);
  if (rectArea(rect) > kMaxCropPixels) {
    say("STOP: The corrected crop-rect holds more than %lld pixels; no frame is written.\n",
        static_cast<long long>(kMaxCropPixels));
    waitForEnter();
    return 1;
  }

  if (!previewFile.empty() && !forced.empty()) {
    coverage = std::make_unique<CoverageMap>(extent.width, extent.height, rect, frames.size());
  }
  LoopOptions loop;
  loop.jobs = jobs;
  if (!forced.empty()) loop.coverage = coverage.get();
  loop.threshold = threshold;
  loop.optimize = !options["-optimize"].empty();
  const std::vector<FrameResult> results =
      writeCroppedFrames(frames, sourceFolder, target, rect, loop);
  const int failed = static_cast<int>(
      std::count_if(results.begin(), results.end(),
                    [](const FrameResult& result) { return result.status != FrameStatus::ok; }));
  if (failed > 0) {
    say("\nSTOP: %i of %i frames could not be written.\n", failed, static_cast<int>(frames.size()));
  }
  RunSummary summary;
  summary.source = sourceFolder;
  summary.output = target;
  summary.threshold = threshold;
  summary.order = order;
  summary.forced = !forced.empty();
  summary.optimized = loop.optimize;
  summary.area = area;
  summary.crop = rect;
  summary.visible = std::move(visible);
  bool pictured = true;
  if (coverage != nullptr) {
    const std::string picture =
        coverage->picture(rect, forced.empty() ? std::optional<CropRect>(area) : std::nullopt);
    pictured = !picture.empty() && saveFile(picture, previewFile);
    if (!pictured) {
      say("\nSTOP: Preview file \"%s\" could not be written.\n", options["-preview"].c_str());
    }
    summary.previewAsked = true;
    if (pictured) summary.preview = previewFile;
  }
  const bool reported = reportFile.empty() || writeReport(reportFile, summary, frames, results);
  if (!reported) {
    say("\nSTOP: Report file \"%s\" could not be written.\n", options["-report"].c_str());
  }
  if (failed > 0 || !reported || !pictured) {
    waitForEnter(kClosingPrompt);
    return 1;
  }
  say("\nAll done!\n");
  waitForEnter(kClosingPrompt);
  return 0;
}

}  // namespace velmora
