// The frame loop: every frame of a run cropped to the corrected rectangle and
// written as autocropped/out_NNNNN.png.
//
// A frame that cannot be loaded, cropped or saved gets no file; the loop goes
// on and the numbering does not shift. Nothing here prints: each frame's
// result comes through a callback, in list order, whatever the number of
// threads.
#ifndef VELMORA_RUN_FRAME_LOOP_H
#define VELMORA_RUN_FRAME_LOOP_H

#include <functional>
#include <vector>

#include "base/crop_rect.h"
#include "base/frame_result.h"
#include "base/status.h"
#include "corvane/htext.h"
#include "image/frame_work.h"
#include "png/png_optimize.h"
#include "run/frame_list.h"

namespace velmora {

// How the frame loop runs: on how many threads, sharing which budget of
// decoded pixels (with none, threads take one of their own), and how each
// frame is written.
struct LoopOptions {
  unsigned jobs = 1;
  PixelBudget* budget = nullptr;
  WriteOptions write;
  // The encoder's memory on one thread (the caller's worker's); with
  // none, or on more threads, the loop keeps one per thread.
  PngMemory* memory = nullptr;
  // No frame is started after one that failed (whose animation is dropped
  // whole); the frames after it keep an empty result.
  bool stopAtFailure = false;
};

// Writes every frame in list order as folder/<outputName> (folder being the
// run's autocropped folder). written(k, result) is called on the calling
// thread, in list order, once frame k is done. Gives each frame's result, in
// list order. With options.jobs above 1, up to that many threads write the
// frames; the calls and the files are the same.
std::vector<FrameResult> writeCroppedFrames(
    const FrameList& frames, const corvane::htext& source, const corvane::htext& folder,
    const CropRect& rect, const LoopOptions& options,
    const std::function<void(unsigned k, const FrameResult& result)>& written);

}  // namespace velmora

#endif  // VELMORA_RUN_FRAME_LOOP_H
