// Where a run's output goes, and how it gets there without losing a file.
//
// Two ways: in place, where a one-folder run writes each frame into its
// autocropped folder as it goes (each file saved whole, so a frame that
// cannot be saved keeps its earlier file); and staged, where the runs over
// animations write an animation's output into a folder of the run's own
// staging folder, which then takes the place of the animation's folder whole.
// This unit holds the staged way: which files of a folder the tool owns (and
// so may replace), the staging folder's life, and the one step that puts a
// prepared folder in its place, carrying over what the old folder held of the
// user's. A failure leaves the old folder or the new one, never a mix, and
// never loses a file that is not the tool's.
#ifndef VELMORA_RUN_PLACEMENT_H
#define VELMORA_RUN_PLACEMENT_H

#include <string>

#include "base/status.h"
#include "corvane/htext.h"
#include "host/env.h"

namespace velmora {

// out_<digits>.png: a frame the tool wrote, which a new run replaces.
bool isOutputFrame(const std::string& name);

// sheet.png, sheet.json, sheet-<n>.png, sheet-<n>.json: a sheet's pages.
bool isSheetFile(const std::string& name);

// root/relative, or root for an empty relative.
corvane::htext under(const corvane::htext& root, const corvane::htext& relative);

// The folder of a relative path, "/" between folders; <empty> at the top.
//   "a/b/c" => "a/b"    "a" => <empty>
corvane::htext parentOf(const corvane::htext& relative);

// Makes every folder of relative below root that is missing; failed where a
// file stands in the way.
Status makeFolders(const corvane::htext& root, const corvane::htext& relative);

// Puts the prepared folder of an animation in the place of its old one:
// what the old one held besides the files owned says are the tool's moves
// over first, then the prepared one replaces it. On failure what moved over
// goes back; should that fail too, the prepared folder, which then holds it,
// is moved beside the place (place.velmoraReelCut-kept, ...), and the
// reason names where it is. stranded when even that failed, so that it is
// still in the staging folder (renamed with a suffix no run removes), which
// must then stay. Every host call goes through env.
Status putInPlace(const corvane::htext& prepared, const corvane::htext& place,
                  bool (*owned)(const std::string&), bool& stranded, Env& env = systemEnv());

// Makes the staging folder of a run in folder (the one autocropped is in),
// kStagingPrefix and 16 hexadecimal digits no one can guess ahead, into
// staging; first removes the staging folders earlier runs left there, but not
// one that holds something of the user's. Every host call goes through env.
Status makeStagingFolder(const corvane::htext& folder, corvane::htext& staging,
                         Env& env = systemEnv());

}  // namespace velmora

#endif  // VELMORA_RUN_PLACEMENT_H
