// The animations of a run with -tree, -split or -sheet: which folders are
// searched, how a folder's frames are split by stem, and where each
// animation's frames go below the autocropped folder.
//
// The source tree is walked depth-first, a folder's own animations before
// the folders below it, each level in the frame order. Symbolic links to
// folders (and junctions) are not followed, folders named "autocropped" are
// not entered, nor the folders the run writes to when they lie in the tree.
// Paths are used as the host gives them: nothing in a name is resolved as
// text, so no name can lead the output out of the autocropped folder.
#ifndef VELMORA_RUN_ANIMATIONS_H
#define VELMORA_RUN_ANIMATIONS_H

#include <string>
#include <vector>

#include "base/status.h"
#include "corvane/htext.h"
#include "run/frame_list.h"

namespace velmora {

// The name of a run's staging folder begins with this, followed by 16
// hexadecimal digits; such folders are never searched for frames.
inline const char* const kStagingPrefix = ".velmoraReelCut-staging-";

struct Animation {
  corvane::htext folder;    // the source folder that holds its frames
  corvane::htext relative;  // that folder below the source folder, "/" between
                            // folders; <empty> for the source folder itself
  corvane::htext stem;      // with -split, the frames' stem; <empty> otherwise
  std::vector<std::string> frames;  // bare names, in frame order
  corvane::htext output;    // its folder below autocropped, "/" between folders;
                            // <empty> for autocropped itself
};

// The names of an animation's frames as the frame list of a run takes them;
// they point into animation.frames.
FrameList frameNames(const Animation& animation);

// A folder of the tree that could not be listed, and why.
struct FolderProblem {
  corvane::htext relative;
  Status status;
};

struct AnimationSet {
  std::vector<Animation> animations;
  size_t frames = 0;
  std::vector<FolderProblem> problems;
};

// The stem of a frame name: without ".png", without its last run of digits,
// and without one separator ("-", "_", "." or a blank) right before that run.
//   "arbiter-blade-s-4.png" => "arbiter-blade-s"    "walk_0001.png" => "walk"
//   "idle.png" => "idle"    "sky-fly-3-upstroke.png" => "sky-fly-upstroke"
//   "walk 12.png" => "walk"    "a--2.png" => "a-"    "7.png" => <empty>
corvane::htext stemOf(const std::string& name);

// A name of the source tree as a segment of an output path: a backslash (a
// separator to the folder services) becomes "_", and <empty>, "." and ".."
// gain a leading "_", so that the segment names one folder and no other.
//   "walk" => "walk"    "a\\b" => "a_b"    "" => "_"    ".." => "_.."
corvane::htext outputSegment(const corvane::htext& name);

// The animations below source (source alone without tree), split by stem
// with split, frames in order; skip lists folders not to be entered (the
// output tree, the picture folder), compared as the host resolves them.
AnimationSet findAnimations(const corvane::htext& source, bool tree, bool split,
                            FrameOrder order, const std::vector<corvane::htext>& skip);

}  // namespace velmora

#endif  // VELMORA_RUN_ANIMATIONS_H
