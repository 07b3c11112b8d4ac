#include "console/run_driver.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "base/crop_rect.h"
#include "base/status.h"
#include "console/console.h"
#include "console/options.h"
#include "corvane/hfolder.h"
#include "host/file_save.h"
#include "host/host.h"
#include "image/coverage_map.h"
#include "image/frame_loader.h"
#include "run/bounds_scan.h"
#include "run/frame_list.h"
#include "run/frame_loop.h"
#include "run/run_report.h"

namespace velmora {

using corvane::hfolder;
using corvane::hlist;
using corvane::htext;

namespace {

const char* const kClosingPrompt = "Press Enter to exit...";
const char* const kScanLabel = ">> Determining bounds...";
const char* const kLoopLabel = ">> Cropping and saving new frames to disk...";

// " (why)" when someone named the cause, else nothing.
std::string because(const Status& status) {
  return status.reason().empty() ? std::string() : " (" + status.reason() + ")";
}

// The STOP of the frame that stopped the scan, with its pause; for a frame
// that could not be loaded or has no alpha, the fatal error that follows.
void sayScanStop(const BoundsScan& scan, const char* name) {
  static_assert(kMaxFramePixels == 268435456 && kMaxPackedMetadataBytes == 65536,
                "the STOP lines below name the bounds");
  const FrameResult& frame = scan.frames[scan.stopFrame].result;
  const char* fatal = nullptr;
  switch (scan.stop.code()) {
    case Status::Code::tooLarge:
      say("\nSTOP: Frame \"%s\" declares %ux%u pixels, more than the 268435456 a frame may hold; "
          "no frame is written.\n",
          name, frame.width, frame.height);
      break;
    case Status::Code::tooMuchMetadata:
      say("\nSTOP: Frame \"%s\" holds more than 65536 bytes of compressed metadata; no frame is "
          "written.\n",
          name);
      break;
    case Status::Code::noAlpha:
      say("\nSTOP: alpha is not 8 BPP (%s).\n", name);
      fatal = "alpha not 8bpp";
      break;
    default:
      say("\nSTOP: Frame \"%s\" could not be loaded as PNG%s.\n", name,
          because(scan.stop).c_str());
      fatal = "frame could not be loaded";
      break;
  }
  waitForEnter();
  if (fatal != nullptr) say("\nFATAL ERROR: %s\n", fatal);
}

// The rectangle from -forcecrop or from the scan, which also gives every
// frame's own visible box. False after a STOP that ends the run.
bool obtainRect(const htext& forced, const FrameList& frames, const htext& source,
                uint8_t threshold, unsigned jobs, CoverageMap* coverage, CropRect& rect,
                std::vector<CropRect>& visible) {
  if (!forced.empty()) {
    if (parseCropRect(forced, rect)) {
      say(">> Custom crop-rect: %s\n", forced.c_str());
      return true;
    }
    say("STOP: Custom crop-rect definition is malformed.\nYou need to pass the crop rect as: "
        "left,top,right,bottom (no spaces).\n");
    return false;
  }
  const unsigned count = static_cast<unsigned>(frames.size());
  say("\r%s %u%%", kScanLabel, progressPercent(0, count));
  const BoundsScan scan =
      determineBounds(frames, source, threshold, jobs, coverage, [&](unsigned k) {
        if (k + 1 < count) say("\r%s %u%%", kScanLabel, progressPercent(k + 1, count));
      });
  if (!scan.stop.ok()) {
    sayScanStop(scan, frames[scan.stopFrame]);
    return false;
  }
  say("\r%s %u%%\n", kScanLabel, progressPercent(count, count));
  rect = scan.area;
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

void sayNotWritten(const char* what, const htext& typed, const Status& status) {
  say("\nSTOP: %s file \"%s\" could not be written%s.\n", what, typed.c_str(),
      because(status).c_str());
}

int run(int argc, const char* const* argv) {
  say("velmoraReelCut v0.1 (standalone)\n");
  say("--------------------------------\n");
  htext source;
  OptionMap options;
  unsigned jobs = 1;
  FrameOrder order = FrameOrder::name;
  htext reportFile;
  htext previewFile;

  if (argc > 1) {
    for (const htext& unknown : unknownOptions(argc, argv)) {
      say("Warning, unknown option \"%s\" is ignored.\n", unknown.c_str());
    }
    parseArguments(argc, argv, options);
    if (isHelpRequested(options)) {
      say("%s", helpText().c_str());
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
    if (jobs == 0) jobs = host::usableProcessors();
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
  size_t before = 0, after = 0;
  if (order == FrameOrder::name && firstNaturalSwap(frames, before, after)) {
    say("Warning, frame names hold numbers without leading zeros: \"%s\" comes before \"%s\". "
        "Give -order natural to number them by value.\n\n",
        frames[before], frames[after]);
  }
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
  if (!obtainRect(forced, frames, sourceFolder, threshold, jobs, coverage.get(), rect, visible)) {
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
  if (!forced.empty()) loop.write.coverage = coverage.get();
  loop.write.threshold = threshold;
  loop.write.optimize = !options["-optimize"].empty();
  const unsigned count = static_cast<unsigned>(frames.size());
  say("\n");
  say("\r%s %u%%", kLoopLabel, progressPercent(0, count));
  int failed = 0;
  const std::vector<FrameResult> results = writeCroppedFrames(
      frames, sourceFolder, target, rect, loop, [&](unsigned k, const FrameResult& result) {
        if (const char* problem = frameProblem(result.status.code())) {
          ++failed;
          say("\nWarning, frame \"%s\" %s%s; \"%s\" was not written.\n", frames[k], problem,
              because(result.status).c_str(), outputName(k + 1).c_str());
        }
        say("\r%s %u%%", kLoopLabel, progressPercent(k + 1, count));
      });
  if (failed > 0) {
    say("\nSTOP: %i of %i frames could not be written.\n", failed, static_cast<int>(count));
  }
  RunSummary summary;
  summary.source = sourceFolder;
  summary.output = target;
  summary.threshold = threshold;
  summary.order = order;
  summary.forced = !forced.empty();
  summary.optimized = loop.write.optimize;
  summary.area = area;
  summary.crop = rect;
  summary.visible = std::move(visible);
  bool pictured = true;
  if (coverage != nullptr) {
    std::string picture;
    Status made = coverage->picture(
        rect, forced.empty() ? std::optional<CropRect>(area) : std::nullopt, picture);
    if (made.ok()) made = saveFile(picture, previewFile);
    pictured = made.ok();
    if (!pictured) sayNotWritten("Preview", options["-preview"], made);
    summary.previewAsked = true;
    if (pictured) summary.preview = previewFile;
  }
  bool reported = true;
  if (!reportFile.empty()) {
    const Status written = writeReport(reportFile, summary, frames, results);
    reported = written.ok();
    if (!reported) sayNotWritten("Report", options["-report"], written);
  }
  if (failed > 0 || !reported || !pictured) {
    waitForEnter(kClosingPrompt);
    return 1;
  }
  say("\nAll done!\n");
  waitForEnter(kClosingPrompt);
  return 0;
}

}  // namespace

int runDriver(int argc, const char* const* argv) {
  // The units hand their allocation failures back as results; one that
  // reaches this far (a folder listing, say) still ends the run in words.
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    say("\nFATAL ERROR: %s\n", kOutOfMemory);
    return 1;
  }
}

}  // namespace velmora
