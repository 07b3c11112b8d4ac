// One animation's run, in the steps every run takes: the plan (the scan or
// a forced rectangle, the canvas, the crop and its coverage map), the frame
// loop, the picture, and the placement of its output by the run's Placing.
//
// prepare does everything but the placement and may run on any thread;
// commit puts the output in its place and runs on the thread that started
// the run, in animation order, so that the files are those of one thread.
// Nothing here prints: with a reporter, the plan's and the frame loop's
// progress go to it as they happen (a run of one animation only).
#ifndef VELMORA_RUN_ANIMATION_RUN_H
#define VELMORA_RUN_ANIMATION_RUN_H

#include <string>

#include "base/status.h"
#include "parallel/in_order.h"
#include "png/png_optimize.h"
#include "run/animations.h"
#include "run/crop_plan.h"
#include "run/run_options.h"
#include "run/run_reporter.h"

namespace velmora {

class AnimationRun {
 public:
  // innerJobs threads work on one animation's frames, sharing budget (none:
  // they take their own); reporter, where not nullptr, hears the frames.
  AnimationRun(const RunOptions& options, unsigned innerJobs, PixelBudget* budget,
               RunReporter* reporter)
      : options_(options), innerJobs_(innerJobs), budget_(budget), reporter_(reporter) {}

  const RunOptions& options() const { return options_; }
  unsigned innerJobs() const { return innerJobs_; }
  PixelBudget* budget() const { return budget_; }

  static void fail(AnimationResult& result, Failure failure, const Status& status,
                   unsigned frame = 0);

  // The plan: the scan, the placement, the rectangle and its widening (none
  // for a sheet, whose cells are the area itself, a forced one kept to the
  // canvas); the coverage map with pictures. False after a failure.
  bool plan(const Animation& animation, AnimationResult& result, CropPlan& plan) const;

  // The picture of a planned animation, once all its frames are counted.
  void picture(const CropPlan& plan, AnimationResult& result, std::string& png) const;

  // Writes the picture of an animation whose frames are in place; the
  // manifest's entry then names it.
  void savePicture(const Animation& animation, AnimationResult& result,
                   const std::string& png) const;

  // Everything but the folder's place: the plan, the frames written (in
  // place, or into folder k of the staging folder), the picture made.
  AnimationResult prepare(const Animation& animation, unsigned k, PngMemory& memory,
                          std::string& picture) const;

  // Puts a prepared animation's folder and picture in their places; the
  // manifest's entry then names the files as they stand.
  void commit(const Animation& animation, AnimationResult& result,
              const std::string& picture) const;

 private:
  const RunOptions& options_;
  unsigned innerJobs_;
  PixelBudget* budget_;
  RunReporter* reporter_;
};

}  // namespace velmora

#endif  // VELMORA_RUN_ANIMATION_RUN_H
