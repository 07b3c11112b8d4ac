// The console of a run over one folder of frames.
#include <cstdint>
#include <string>
#include <vector>

#include "base/crop_rect.h"
#include "base/status.h"
#include "console/console.h"
#include "console/options.h"
#include "console/settings.h"
#include "corvane/hfolder.h"
#include "host/file_save.h"
#include "image/frame_loader.h"
#include "run/crop_plan.h"
#include "run/frame_list.h"
#include "run/frame_loop.h"
#include "run/run_report.h"

namespace velmora {

using corvane::hfolder;
using corvane::hlist;
using corvane::htext;

namespace {

const char* const kScanLabel = ">> Determining bounds...";
const char* const kLoopLabel = ">> Cropping and saving new frames to disk...";

// The STOP of the frame that stopped the scan, with its pause; for a frame
// that could not be loaded or has no alpha, the fatal error that follows.
void sayScanStop(const CropPlan& plan, const char* name) {
  static_assert(kMaxFramePixels == 268435456 && kMaxPackedMetadataBytes == 65536,
                "the STOP lines below name the bounds");
  const FrameResult& frame = plan.stopResult;
  const char* fatal = nullptr;
  switch (plan.status.code()) {
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
          because(plan.status).c_str());
      fatal = "frame could not be loaded";
      break;
  }
  waitForEnter();
  if (fatal != nullptr) say("\nFATAL ERROR: %s\n", fatal);
}

}  // namespace

int runFolder(const RunSettings& settings) {
  const htext sourceFolder = checkSourceFolder(settings);
  if (sourceFolder.empty()) return 1;
  const hlist<htext> listing = hfolder::listEntries(sourceFolder);
  const FrameList frames = selectFrames(listing, settings.order);
  say("\r%i png files to process.\n\n", static_cast<int>(frames.size()));
  size_t before = 0, after = 0;
  if (settings.order == FrameOrder::name && firstNaturalSwap(frames, before, after)) {
    say("Warning, frame names hold numbers without leading zeros: \"%s\" comes before \"%s\". "
        "Give -order natural to number them by value.\n\n",
        frames[before], frames[after]);
  }
  const htext& forced = settings.forced;
  if (frames.empty()) {
    return closeRun(true);
  }

  const OutputFolder output = outputFolderOf(settings);
  sayOutputChoice(settings, output);

  const htext target = hfolder::join(output.folder, "autocropped");
  if (hfolder::isFolder(target)) {
    // Writing into the source folder would overwrite frames not read yet.
    if (sayIfOutputIsSource(target, sourceFolder)) return 1;
    say("Warning, directory \"autocropped\" already exists!\nYou might want to clear it before "
        "continuing.\n");
    waitForEnter();
  }
  if (!makeOutputFolder(target)) return 1;
  host::FolderLock lock;
  if (!lockOutputFolder(target, lock)) return 1;

  const uint8_t threshold = settings.threshold;
  const htext& previewFile = settings.previewFile;
  PlanOptions planned;
  planned.threshold = threshold;
  planned.anchor = settings.anchor;
  planned.align = settings.align;
  planned.pictured = !previewFile.empty();
  planned.jobs = settings.jobs;
  if (!forced.empty()) {
    CropRect rect;
    if (!readForcedRect(settings, rect)) return 1;
    planned.forced = rect;
  }
  const unsigned count = static_cast<unsigned>(frames.size());
  if (forced.empty()) say("\r%s %u%%", kScanLabel, progressPercent(0, count));
  CropPlan plan = planCrop(frames, sourceFolder, planned, [&](unsigned k) {
    if (k + 1 < count) say("\r%s %u%%", kScanLabel, progressPercent(k + 1, count));
  });
  if (plan.stop == PlanStop::frame) {
    sayScanStop(plan, frames[plan.stopFrame]);
    return 1;
  }
  if (forced.empty()) say("\r%s %u%%\n", kScanLabel, progressPercent(count, count));
  const CropRect& area = plan.area;
  const CropRect& rect = plan.crop;
  if (plan.stop == PlanStop::invalidRect) {
    sayInvalidRect(area);
    return 1;
  }
  say("   - Cropped position: %i, %i\n", area.minX, area.minY);
  say("   - Animation area: %ix%i\n", area.maxX - area.minX, area.maxY - area.minY);
  say("   - Corrected size: %ix%i\n", rect.maxX - rect.minX, rect.maxY - rect.minY);
  if (plan.stop == PlanStop::tooLarge) {
    say("STOP: The corrected crop-rect holds more than %lld pixels; no frame is written.\n",
        static_cast<long long>(kMaxCropPixels));
    waitForEnter();
    return 1;
  }

  LoopOptions loop;
  loop.jobs = settings.jobs;
  loop.write.placement = plan.placement;
  loop.write.fill = settings.fill;
  if (plan.forced) loop.write.coverage = plan.coverage.get();
  loop.write.threshold = threshold;
  loop.write.optimize = settings.optimize;
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
  summary.order = settings.order;
  summary.forced = !forced.empty();
  summary.optimized = settings.optimize;
  summary.fill = settings.fill;
  summary.anchor = settings.anchor;
  summary.align = settings.align;
  summary.placement = plan.placement;
  summary.area = area;
  summary.crop = rect;
  summary.visible = std::move(plan.visible);
  bool pictured = true;
  if (plan.coverage != nullptr) {
    std::string picture;
    Status made = pictureOf(plan, picture);
    if (made.ok()) made = saveFile(picture, previewFile);
    pictured = made.ok();
    if (!pictured) sayNotWritten("Preview", settings.previewTyped, made);
    summary.previewAsked = true;
    if (pictured) summary.preview = previewFile;
  }
  bool reported = true;
  if (!settings.reportFile.empty()) {
    const Status written = saveFile(reportJson(summary, frames, results), settings.reportFile);
    reported = written.ok();
    if (!reported) sayNotWritten("Report", settings.reportTyped, written);
  }
  return closeRun(failed == 0 && reported && pictured);
}

}  // namespace velmora
