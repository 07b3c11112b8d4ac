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

const char* frameProblem(Status::Code code) {
  static_assert(kMaxFramePixels == 268435456 && kMaxPackedMetadataBytes == 65536,
                "the wordings below name the bounds");
  switch (code) {
    case Status::Code::ok:
      return nullptr;
    case Status::Code::tooLarge:
      return "declares more than 268435456 pixels";
    case Status::Code::tooMuchMetadata:
      return "holds more than 65536 bytes of compressed metadata";
    case Status::Code::notCropped:
      return "could not be cropped";
    case Status::Code::notSaved:
      return "could not be saved";
    default:
      return "could not be loaded as PNG";
  }
}

}  // namespace velmora
