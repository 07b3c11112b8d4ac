#include "run/scheduler.h"

#include <algorithm>
#include <string>

#include "host/host.h"
#include "image/frame_loader.h"
#include "parallel/in_order.h"
#include "png/png_optimize.h"
#include "run/animation_run.h"
#include "run/sheet_run.h"

namespace velmora {

std::vector<AnimationResult> cropAnimations(const std::vector<Animation>& animations,
                                            const RunOptions& options, RunReporter& reporter) {
  std::vector<unsigned> starts;
  for (unsigned k = 0; k < animations.size(); ++k) {
    if (!options.sheet || k == 0 || animations[k].folder != animations[k - 1].folder) {
      starts.push_back(k);
    }
  }
  const unsigned units = static_cast<unsigned>(starts.size());
  starts.push_back(static_cast<unsigned>(animations.size()));
  const unsigned threads = std::max(1u, std::min(options.jobs, units));
  // One unit alone spreads its frames instead, on the calling thread, which
  // may then tell of them.
  const unsigned innerJobs = units == 1 ? options.jobs : 1;
  PixelBudget budget(kThreadsPixelBudget);
  const AnimationRun run(options, innerJobs, threads > 1 || innerJobs > 1 ? &budget : nullptr,
                         units == 1 ? &reporter : nullptr);
  std::vector<AnimationResult> results(animations.size());
  std::vector<std::string> pictures(animations.size());
  std::vector<PngMemory> memories(threads);
  runInOrder(
      units, threads,
      [&](unsigned u, unsigned w) {
        const unsigned first = starts[u], count = starts[u + 1] - first;
        if (!options.sheet) {
          results[first] = run.prepare(animations[first], u, memories[w], pictures[first]);
          return;
        }
        prepareSheet(run, animations, first, count, u, memories[w], &results[first],
                     &pictures[first]);
      },
      [&](unsigned u) {
        const unsigned first = starts[u], count = starts[u + 1] - first;
        if (!options.sheet) {
          run.commit(animations[first], results[first], pictures[first]);
        } else {
          commitSheet(run, animations, first, count, &results[first], &pictures[first]);
        }
        for (unsigned k = first; k < first + count; ++k) {
          pictures[k] = std::string();
          reporter.animationDone(k, results[k]);
        }
        return true;
      },
      [&](unsigned u, const char* why) {
        // The work threw before it gave a result; what it wrote in the
        // staging folder goes with the staging folder.
        for (unsigned k = starts[u]; k < starts[u + 1]; ++k) {
          results[k] = AnimationResult();
          AnimationRun::fail(results[k], Failure::notCropped,
                             Status(Status::Code::notCropped, why));
          results[k].results.resize(animations[k].frames.size());
        }
      });
  if (options.placing == Placing::staged &&
      std::none_of(results.begin(), results.end(),
                   [](const AnimationResult& result) { return result.stranded; })) {
    host::removeTree(options.staging);
  }
  return results;
}

}  // namespace velmora
