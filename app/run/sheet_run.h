// The run of one folder's animations as the pages of one sheet (-sheet):
// every animation planned, its frames cut into cells (identical cells stored
// once), the cells laid out on pages of at most sheetMax a side, the pages
// encoded with their JSON into a folder of the staging folder, which then
// takes the place of the folder's sheet whole.
//
// The animations of a sheet stand or fall together: one that cannot be
// planned or cut, or whose cells fit no page, fails the others with
// Failure::sheet, and the earlier sheet stays. With -incremental the sheet
// is skipped only when none of its animations changed, and one that came or
// went redoes it.
#ifndef VELMORA_RUN_SHEET_RUN_H
#define VELMORA_RUN_SHEET_RUN_H

#include <string>
#include <vector>

#include "png/png_optimize.h"
#include "run/animation_run.h"
#include "run/animations.h"
#include "run/run_options.h"

namespace velmora {

// Prepares the sheet of animations[first, first + count) into folder g of the
// staging folder; results and pictures point to count entries, one per
// animation, which get their results and picture bytes. On the first
// animation's result go the pages and their bytes.
void prepareSheet(const AnimationRun& run, const std::vector<Animation>& animations, unsigned first,
                  unsigned count, unsigned g, PngMemory& memory, AnimationResult* results,
                  std::string* pictures);

// Puts a prepared sheet and the pictures of its animations in their places.
void commitSheet(const AnimationRun& run, const std::vector<Animation>& animations, unsigned first,
                 unsigned count, AnimationResult* results, const std::string* pictures);

}  // namespace velmora

#endif  // VELMORA_RUN_SHEET_RUN_H
