// Replacing a folder with a new one so that a failure leaves the old one.
//
// The folder analogue of saveFile: a run prepares a new folder elsewhere in
// the same file system and puts it in the place of the old one, which then
// goes. Where the system can exchange two names at once no moment passes
// without a folder in the place; elsewhere it takes two renames through
// place + ".velmoraReelCut-old", beside the place, which a run stopped between
// them leaves behind (holding only what the old folder held) and the next
// replacement of that place clears away.
#ifndef VELMORA_HOST_FOLDER_REPLACE_H
#define VELMORA_HOST_FOLDER_REPLACE_H

#include "base/status.h"
#include "corvane/htext.h"
#include "host/env.h"

namespace velmora {

// Puts the folder from in the place of to: afterwards to holds what from
// held, and the folder that stood at to, if any, is gone (a failure to remove
// it is no failure of the replacement). On failure to is as it was and from
// still holds what it held. Every host call goes through env.
//   to missing                     => from renamed to to
//   to a folder                    => exchanged, or renamed through the aside
//   a folder at the aside, left by a stopped run  => removed first
//   a file or a link at the aside  => failed, nothing moved
Status replaceFolder(const corvane::htext& from, const corvane::htext& to,
                     Env& env = systemEnv());

}  // namespace velmora

#endif  // VELMORA_HOST_FOLDER_REPLACE_H
