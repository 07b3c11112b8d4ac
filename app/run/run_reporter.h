// What a run tells while it works: the run layer reports, the console prints.
//
// A run calls its reporter on the thread that started it, in list order,
// whatever the number of threads, with codes and facts only: every word the
// user reads is the console's. Each call does nothing unless overridden, so a
// listener (a test, the console of either kind of run) takes what it needs.
//
// The calls about one animation's frames (its scan, its plan, its frame loop)
// come only in a run of one animation, whose frames are spread over the
// threads; over several animations, each of which a worker runs whole, the
// run tells each animation's end alone.
#ifndef VELMORA_RUN_RUN_REPORTER_H
#define VELMORA_RUN_RUN_REPORTER_H

#include "base/frame_result.h"
#include "run/run_options.h"

namespace velmora {

class RunReporter {
 public:
  virtual ~RunReporter() = default;

  // The scan of the animation's frames begins (never for a forced
  // rectangle); frame k of count is scanned (the last one too).
  virtual void scanStarted(unsigned /*count*/) {}
  virtual void frameScanned(unsigned /*k*/, unsigned /*count*/) {}
  // The crop is settled, or the plan stopped: result's failure says which,
  // its area and crop what it found.
  virtual void planned(const AnimationResult& /*result*/) {}
  // The frame loop begins; frame k is written, or its result says why not.
  virtual void writeStarted(unsigned /*count*/) {}
  virtual void frameWritten(unsigned /*k*/, const FrameResult& /*result*/) {}
  // Animation k is done: its output in place, skipped, or failed.
  virtual void animationDone(unsigned /*k*/, const AnimationResult& /*result*/) {}
};

}  // namespace velmora

#endif  // VELMORA_RUN_RUN_REPORTER_H
