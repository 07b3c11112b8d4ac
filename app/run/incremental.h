// What -incremental compares: the settings that shape an animation's output
// and the content of its source frames, against the manifest of the last
// run (run/manifest.h), and the manifest the run then leaves.
//
// An animation is skipped only when every one of its frames hashes as the
// manifest says, under the same settings, and every file the manifest names
// still stands with its size; anything else, a frame that cannot be read
// included, redoes it.
#ifndef VELMORA_RUN_INCREMENTAL_H
#define VELMORA_RUN_INCREMENTAL_H

#include <string>
#include <vector>

#include "run/animations.h"
#include "run/frame_list.h"
#include "run/manifest.h"
#include "run/run_options.h"

namespace velmora {

// The settings that shape an animation's output, as the manifest compares
// them: a change of any of them redoes every animation.
std::string outputSettings(const RunOptions& options, FrameOrder order);

// With -incremental: hashes the animation's sources into result.entry; true,
// with the earlier entry taken and result skipped, when nothing changed since
// the manifest's run. extra counts among the settings (a sheet's animations:
// one that went away or came redoes the sheet).
bool unchangedSinceManifest(const RunOptions& options, const Animation& animation,
                            AnimationResult& result, const std::string& extra = std::string());

// The manifest an -incremental run leaves: the entries of the animations it
// cropped or skipped, and for one that failed the entry read, if any.
// unchanged when it is the manifest read: nothing cropped, nothing gone.
Manifest nextManifest(const Manifest& read, const std::vector<Animation>& animations,
                      const std::vector<AnimationResult>& results, bool& unchanged);

}  // namespace velmora

#endif  // VELMORA_RUN_INCREMENTAL_H
