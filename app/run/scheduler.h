// The run of a list of animations over the threads: the units of work (an
// animation, or with -sheet the animations of one folder), each prepared on
// a worker and committed on the calling thread in list order, so that the
// files and the reports are those of one thread whatever the number.
//
// With jobs above 1, up to that many threads prepare units; a single unit
// spreads its frames over them instead. What a unit's work throws fails that
// unit's animations (Failure::notCropped) and no other. The staging folder
// is removed at the end, unless a result is stranded.
#ifndef VELMORA_RUN_SCHEDULER_H
#define VELMORA_RUN_SCHEDULER_H

#include <vector>

#include "run/animations.h"
#include "run/run_options.h"
#include "run/run_reporter.h"

namespace velmora {

// Runs every animation; reporter.animationDone(k, result) comes on the
// calling thread in animation order, once animation k's output is in place.
// Gives every animation's result.
std::vector<AnimationResult> cropAnimations(const std::vector<Animation>& animations,
                                            const RunOptions& options, RunReporter& reporter);

}  // namespace velmora

#endif  // VELMORA_RUN_SCHEDULER_H
