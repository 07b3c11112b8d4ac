#include "run/animation_run.h"

#include "corvane/hfolder.h"
#include "host/file_save.h"
#include "host/host.h"
#include "run/frame_list.h"
#include "run/frame_loop.h"
#include "run/incremental.h"
#include "run/placement.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

void AnimationRun::fail(AnimationResult& result, Failure failure, const Status& status,
                        unsigned frame) {
  result.failure = failure;
  result.status = status;
  result.frame = frame;
}

bool AnimationRun::plan(const Animation& animation, AnimationResult& result, CropPlan& plan) const {
  result.forced = options_.forced;
  const FrameList names = frameNames(animation);
  const unsigned count = static_cast<unsigned>(names.size());
  PlanOptions planned;
  planned.threshold = options_.threshold;
  planned.anchor = options_.anchor;
  planned.align = options_.sheet ? 1 : options_.align;
  if (options_.forced) planned.forced = options_.forcedRect;
  planned.keepToCanvas = options_.sheet;
  planned.pictured = !options_.pictures.empty();
  planned.jobs = innerJobs_;
  planned.budget = budget_;
  if (reporter_ != nullptr && !options_.forced) reporter_->scanStarted(count);
  plan = planCrop(names, animation.folder, planned, [&](unsigned k) {
    if (reporter_ != nullptr) reporter_->frameScanned(k, count);
  });
  result.area = plan.area;
  result.crop = plan.crop;
  result.placement = plan.placement;
  result.visible = std::move(plan.visible);
  if (plan.stop == Failure::frame) {
    fail(result, Failure::frame, plan.status, plan.stopFrame);
    result.results.resize(names.size());
    result.results[plan.stopFrame] = plan.stopResult;
  } else if (plan.stop != Failure::none) {
    fail(result, plan.stop, Status());
  }
  if (reporter_ != nullptr) reporter_->planned(result);
  return plan.stop == Failure::none;
}

void AnimationRun::picture(const CropPlan& plan, AnimationResult& result, std::string& png) const {
  if (plan.coverage == nullptr) return;
  result.pictureAsked = true;
  result.pictured = pictureOf(plan, png);
}

void AnimationRun::savePicture(const Animation& animation, AnimationResult& result,
                               const std::string& png) const {
  if (options_.pictures.empty() || !result.pictureAsked) return;
  result.picture = pictureFile(options_, animation);
  if (result.pictured.ok() && options_.placing == Placing::staged) {
    result.pictured = makeFolders(options_.pictures, sheetFolder(options_, animation));
  }
  if (result.pictured.ok()) result.pictured = saveFile(png, result.picture);
  if (result.pictured.ok()) result.entry.written.push_back(WrittenFile{result.picture, png.size()});
}

AnimationResult AnimationRun::prepare(const Animation& animation, unsigned k, PngMemory& memory,
                                      std::string& picture) const {
  AnimationResult result;
  CropPlan plan;
  if (unchangedSinceManifest(options_, animation, result) || !this->plan(animation, result, plan)) {
    return result;
  }
  const bool staged = options_.placing == Placing::staged;
  if (staged) {
    result.folder = hfolder::join(options_.staging, htext(int(k)));
    const Status made = host::makeFolder(result.folder);
    if (!made.ok()) {
      fail(result, Failure::notReplaced, made);
      return result;
    }
  } else {
    result.folder = options_.target;
  }
  LoopOptions loop;
  loop.jobs = innerJobs_;
  loop.budget = budget_;
  loop.memory = &memory;
  loop.write.placement = result.placement;
  loop.write.fill = options_.fill;
  loop.write.coverage = options_.forced ? plan.coverage.get() : nullptr;
  loop.write.threshold = options_.threshold;
  loop.write.optimize = options_.optimize;
  loop.write.freshFolder = staged;
  loop.stopAtFailure = staged;
  const FrameList names = frameNames(animation);
  if (reporter_ != nullptr) reporter_->writeStarted(static_cast<unsigned>(names.size()));
  result.results = writeCroppedFrames(names, animation.folder, result.folder, result.crop, loop,
                                      [&](unsigned i, const FrameResult& frame) {
                                        if (reporter_ != nullptr) reporter_->frameWritten(i, frame);
                                      });
  for (unsigned i = 0; i < result.results.size(); ++i) {
    const FrameResult& frame = result.results[i];
    if (!frame.status.ok()) {
      if (staged) {
        host::removeTree(result.folder);
        fail(result, Failure::notWritten, frame.status, i);
        return result;
      }
      // In place the other frames are written all the same.
      if (result.failedFrames++ == 0) fail(result, Failure::notWritten, frame.status, i);
      continue;
    }
    result.bytesIn += frame.bytesIn;
    result.bytesOut += frame.bytesOut;
  }
  this->picture(plan, result, picture);
  return result;
}

void AnimationRun::commit(const Animation& animation, AnimationResult& result,
                          const std::string& picture) const {
  if (result.skipped) return;
  if (options_.placing == Placing::inPlace) {
    // The frames are in place already; the picture is written even when some
    // frames were not.
    if (result.failure == Failure::none || result.failure == Failure::notWritten) {
      savePicture(animation, result, picture);
    }
    return;
  }
  if (result.failure != Failure::none) return;
  const htext place = outputFolder(options_, animation);
  Status placed = makeFolders(options_.target, parentOf(animation.output));
  if (placed.ok()) placed = putInPlace(result.folder, place, isOutputFrame, result.stranded);
  if (!placed.ok()) {
    if (!result.stranded) host::removeTree(result.folder);
    fail(result, Failure::notReplaced, placed);
    return;
  }
  result.folder = place;
  result.entry.written.clear();
  for (unsigned i = 0; i < result.results.size(); ++i) {
    result.entry.written.push_back(
        WrittenFile{hfolder::join(place, outputName(i + 1)), result.results[i].bytesOut});
  }
  savePicture(animation, result, picture);
}

}  // namespace velmora
