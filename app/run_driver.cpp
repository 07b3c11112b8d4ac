#include "run_driver.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "bounds_scanner.h"
#include "console.h"
#include "corvane/hfolder.h"
#include "file_host.h"
#include "frame_output.h"
#include "options.h"
#include "run_report.h"

namespace velmora {

using corvane::hfolder;
using corvane::hlist;
using corvane::htext;

namespace {

const char* const kClosingPrompt = "Press Enter to exit...";

unsigned char foldCase(unsigned char c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }

bool precedes(const char* a, const char* b) {
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  for (; *x != 0 && foldCase(*x) == foldCase(*y); ++x, ++y) {
  }
  if (foldCase(*x) != foldCase(*y)) return foldCase(*x) < foldCase(*y);
  return std::strcmp(a, b) < 0;
}

// The rectangle from -forcecrop or from the scan. Gives false after a STOP
// that ends the run.
bool obtainRect(const htext& forced, const FrameList& frames, const htext& source,
                uint8_t threshold, unsigned jobs, CropRect& rect) {
  if (!forced.empty()) {
    if (parseCropRect(forced, rect)) return true;
    say("STOP: Custom crop-rect definition is malformed.\nYou need to pass the crop rect as: "
        "x,y,w,h (no spaces).\n");
    return false;
  }
  const std::optional<CropRect> found =
      determineBounds(frames, source, threshold, jobs);
  if (found) rect = *found;
  return found.has_value();
}

}  // namespace

FrameList selectFrames(const hlist<htext>& listing) {
  FrameList frames;
  for (const htext& name : listing) {
    if (name.endsWith(".png")) frames.push_back(name.c_str());
  }
  // The folder's own order is a hash on most file systems here; an animation
  // must come out in the order its frames are named.
  std::sort(frames.begin(), frames.end(), precedes);
  return frames;
}

int runDriver(int argc, const char* const* argv) {
  say("velmoraReelCut v0.1 (standalone)\n");
  say("--------------------------------\n");
  htext source;
  OptionMap options;
  unsigned jobs = 1;
  htext reportFile;

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
    const htext report = options["-report"];
    // Checked before anything is read, so a long run cannot end without the
    // report it was asked for.
    if (!report.empty()) {
      if (report != kNoValue) reportFile = settleReportPath(report);
      if (reportFile.empty()) {
        say("STOP: Report file \"%s\" cannot be written: it names no file in an existing "
            "folder.\n",
            report.c_str());
        return 1;
      }
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
  const FrameList frames = selectFrames(listing);
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
  CropRect rect;
  try {
    if (!obtainRect(forced, frames, sourceFolder, threshold, jobs, rect)) return 1;
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

  const std::vector<FrameResult> results =
      writeCroppedFrames(frames, sourceFolder, outputFolder, rect, jobs);
  const int failed = static_cast<int>(
      std::count_if(results.begin(), results.end(),
                    [](const FrameResult& result) { return result.status != FrameStatus::ok; }));
  if (failed > 0) {
    say("\nSTOP: %i of %i frames could not be written.\n", failed, static_cast<int>(frames.size()));
  }
  const RunSummary summary = {sourceFolder, target, threshold, !forced.empty(), area, rect};
  const bool reported = reportFile.empty() || writeReport(reportFile, summary, frames, results);
  if (!reported) {
    say("\nSTOP: Report file \"%s\" could not be written.\n", options["-report"].c_str());
  }
  if (failed > 0 || !reported) {
    waitForEnter(kClosingPrompt);
    return 1;
  }
  say("\nAll done!\n");
  waitForEnter(kClosingPrompt);
  return 0;
}

}  // namespace velmora
