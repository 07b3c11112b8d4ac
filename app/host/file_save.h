// Writing a whole file so that a failure never shows as a good file.
//
// The bytes go into a new file of an unpredictable name beside the target
// (created exclusively, never through a link), every write and the close are
// checked, and only then is it renamed over the target. So a failed save
// never leaves a truncated file behind nor destroys an earlier good one, and
// nothing outside the target's folder is written. The frames, the report and
// the picture are saved this way.
#ifndef VELMORA_HOST_FILE_SAVE_H
#define VELMORA_HOST_FILE_SAVE_H

#include <string>

#include "base/status.h"
#include "corvane/htext.h"
#include "host/env.h"

namespace velmora {

// 16 lowercase hexadecimal digits no one can guess ahead, for a name under
// which no link can have been planted (a temporary file, a staging folder).
std::string unguessableHex();

// Writes bytes as the file target, through env's calls. failed, with target
// untouched and no temporary file left, when any step fails, with the
// system's words for the error where it gave them.
Status saveFile(const std::string& bytes, const corvane::htext& target, Env& env = systemEnv());

// The file a run writes beside its frames (a report, a picture): the typed
// path settled the way the folders are (hfolder::simplify). <empty> when it
// names no file in an existing folder: its folder is missing, it ends in a
// separator, or it names a folder.
// With a folder shots/ and no folder missing/:
//   "run.json"          => "run.json"
//   "shots\\.\\run.json" => "shots/run.json"
//   "missing/run.json"  => <empty>
//   "shots/" => <empty>    "shots" => <empty>
corvane::htext settleFilePath(const corvane::htext& typed);

}  // namespace velmora

#endif  // VELMORA_HOST_FILE_SAVE_H
