#include "run/frame_loop.h"

#include <algorithm>

#include "corvane/hfolder.h"
#include "image/frame_loader.h"
#include "parallel/in_order.h"
#include "png/png_optimize.h"

namespace velmora {

using corvane::hfolder;
using corvane::htext;

std::vector<FrameResult> writeCroppedFrames(
    const FrameList& frames, const htext& source, const htext& folder, const CropRect& rect,
    const LoopOptions& options, const std::function<void(unsigned, const FrameResult&)>& written) {
  const unsigned count = static_cast<unsigned>(frames.size());
  const unsigned threads = std::max(1u, std::min(options.jobs, count));
  std::vector<FrameResult> results(count);
  PixelBudget own(kThreadsPixelBudget);
  PixelBudget* const shared =
      options.budget != nullptr ? options.budget : threads > 1 ? &own : nullptr;
  const bool given = options.memory != nullptr && threads == 1;
  std::vector<PngMemory> memories(given ? 0 : threads);
  runInOrder(
      count, threads,
      [&](unsigned k, unsigned worker) {
        results[k] = writeFrame(hfolder::join(source, frames[k]), rect,
                                hfolder::join(folder, outputName(k + 1)), shared, options.write,
                                given ? options.memory : &memories[worker]);
      },
      [&](unsigned k) {
        written(k, results[k]);
        return !options.stopAtFailure || results[k].status.ok();
      },
      [&](unsigned k, const char* why) {
        results[k] = FrameResult();
        results[k].status = Status(Status::Code::notCropped, why);
      });
  return results;
}

}  // namespace velmora
