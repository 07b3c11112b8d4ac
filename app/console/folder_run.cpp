// The console of a run over one folder of frames: a run of one animation
// whose frames are written in place, told frame by frame.
#include <cstdint>
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
#include "run/frame_list.h"
#include "run/run_report.h"
#include "run/run_reporter.h"
#include "run/scheduler.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

namespace {

const char* const kScanLabel = ">> Determining bounds...";
const char* const kLoopLabel = ">> Cropping and saving new frames to disk...";

// The progress of the scan and the frame loop on one rewritten line, the
// crop once it is settled, and each frame that was not written.
class FolderPrinter : public RunReporter {
 public:
  explicit FolderPrinter(const FrameList& frames) : frames_(frames) {}

  void scanStarted(unsigned count) override {
    scanned_ = true;
    say("\r%s %u%%", kScanLabel, progressPercent(0, count));
  }
  void frameScanned(unsigned k, unsigned count) override {
    if (k + 1 < count) say("\r%s %u%%", kScanLabel, progressPercent(k + 1, count));
  }
  void planned(const AnimationResult& result) override {
    if (result.failure == Failure::frame) return;
    const unsigned count = static_cast<unsigned>(frames_.size());
    if (scanned_) say("\r%s %u%%\n", kScanLabel, progressPercent(count, count));
    if (result.failure == Failure::invalidRect || result.failure == Failure::nothingShown) return;
    const CropRect& area = result.area;
    const CropRect& rect = result.crop;
    say("   - Cropped position: %i, %i\n", area.minX, area.minY);
    say("   - Animation area: %ix%i\n", area.maxX - area.minX, area.maxY - area.minY);
    say("   - Corrected size: %ix%i\n", rect.maxX - rect.minX, rect.maxY - rect.minY);
  }
  void writeStarted(unsigned count) override {
    say("\n");
    say("\r%s %u%%", kLoopLabel, progressPercent(0, count));
  }
  void frameWritten(unsigned k, const FrameResult& result) override {
    if (const char* problem = frameProblem(result.status.code())) {
      say("\nWarning, frame \"%s\" %s%s; \"%s\" was not written.\n", frames_[k], problem,
          because(result.status).c_str(), outputName(k + 1).c_str());
    }
    say("\r%s %u%%", kLoopLabel,
        progressPercent(k + 1, static_cast<unsigned>(frames_.size())));
  }

 private:
  const FrameList& frames_;
  bool scanned_ = false;
};

// The STOP of the frame that stopped the scan, with its pause; for a frame
// that could not be loaded or has no alpha, the fatal error that follows.
void sayScanStop(const AnimationResult& result, const char* name) {
  const FrameResult& frame = result.results[result.frame];
  const char* fatal = nullptr;
  switch (result.status.code()) {
    case Status::Code::tooLarge:
      say("\nSTOP: Frame \"%s\" %s; no frame is written.\n", name,
          declaresTooMany(frame.width, frame.height).c_str());
      break;
    case Status::Code::tooMuchMetadata:
      say("\nSTOP: Frame \"%s\" %s; no frame is written.\n", name,
          frameProblem(Status::Code::tooMuchMetadata));
      break;
    case Status::Code::noAlpha:
      say("\nSTOP: %s.\n", alphaProblem(name).c_str());
      fatal = "alpha not 8bpp";
      break;
    default:
      say("\nSTOP: Frame \"%s\" could not be loaded as PNG%s.\n", name,
          because(result.status).c_str());
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
  corvane::hlist<htext> listing;
  const Status listed = listFolderNames(sourceFolder, listing);
  if (!listed.ok()) {
    say("\rSTOP: The source folder \"%s\" could not be read%s.\n", settings.source.c_str(),
        because(listed).c_str());
    return 1;
  }
  const FrameList frames = selectFrames(listing, settings.order);
  say("\r%i png files to process.\n\n", static_cast<int>(frames.size()));
  size_t before = 0, after = 0;
  if (settings.order == FrameOrder::name && firstNaturalSwap(frames, before, after)) {
    say("Warning, frame names hold numbers without leading zeros: \"%s\" comes before \"%s\". "
        "Give -order natural to number them by value.\n\n",
        frames[before], frames[after]);
  }
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

  RunOptions options = runOptionsOf(settings);
  options.placing = Placing::inPlace;
  options.target = target;
  if (!settings.forced.empty()) {
    if (!readForcedRect(settings, options.forcedRect)) return 1;
    options.forced = true;
  }
  Animation animation;
  animation.folder = sourceFolder;
  animation.frames.assign(frames.begin(), frames.end());
  FolderPrinter printer(frames);
  const std::vector<AnimationResult> results = cropAnimations({animation}, options, printer);
  // Nothing more goes into autocropped: a second run need not wait for this
  // one's pauses.
  lock.release();
  const AnimationResult& result = results[0];
  const unsigned count = static_cast<unsigned>(frames.size());
  switch (result.failure) {
    case Failure::none:
    case Failure::notWritten:
      break;
    case Failure::frame:
      sayScanStop(result, frames[result.frame]);
      return 1;
    case Failure::nothingShown:
    case Failure::invalidRect:
      sayInvalidRect(result.area);
      return 1;
    case Failure::cropTooLarge:
      say("STOP: The corrected crop-rect holds more than %lld pixels; no frame is written.\n",
          static_cast<long long>(kMaxCropPixels));
      waitForEnter();
      return 1;
    default:
      // The work on the folder threw (in place nothing else is left): the
      // line the driver gives whatever reaches it, with what was thrown.
      say("\nFATAL ERROR: %s\n", result.status.reason().c_str());
      return 1;
  }
  if (result.failedFrames > 0) {
    say("\nSTOP: %u of %u frames could not be written.\n", result.failedFrames, count);
  }
  RunSummary summary;
  summary.source = sourceFolder;
  summary.output = target;
  summary.threshold = settings.threshold;
  summary.order = settings.order;
  summary.forced = options.forced;
  summary.optimized = settings.optimize;
  summary.fill = settings.fill;
  summary.anchor = settings.anchor;
  summary.align = settings.align;
  summary.placement = result.placement;
  summary.area = result.area;
  summary.crop = result.crop;
  summary.visible = result.visible;
  const bool pictured = !result.pictureAsked || result.pictured.ok();
  if (!pictured) sayNotWritten("Preview", settings.previewTyped, result.pictured);
  summary.previewAsked = result.pictureAsked;
  if (result.pictureAsked && pictured) summary.preview = result.picture;
  bool reported = true;
  if (!settings.reportFile.empty()) {
    const Status written =
        saveFile(reportJson(summary, frames, result.results, frameProblem), settings.reportFile);
    reported = written.ok();
    if (!reported) sayNotWritten("Report", settings.reportTyped, written);
  }
  return closeRun(result.failedFrames == 0 && reported && pictured);
}

}  // namespace velmora
