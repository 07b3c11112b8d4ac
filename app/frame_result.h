// What became of one frame, from its load to its save, and the box of its
// visible pixels: the records the scan and the frame loop hand back to the
// driver and the report, free of any image library.
#ifndef VELMORA_FRAME_RESULT_H
#define VELMORA_FRAME_RESULT_H

#include <cstdint>
#include <string>

#include "crop_rect.h"

namespace velmora {

enum class FrameStatus {
  ok,
  unreadable,       // not a regular file, not a PNG, or changed while read
  tooLarge,         // the header declares more than the pixel bound
  tooMuchMetadata,  // more than kMaxPackedMetadataBytes of compressed metadata
  noAlpha,          // decoded, but without transparency to scan
  notCropped,
  notSaved,
};

// What became of one frame, with the size its header declares when it could
// be read, and the system's own words for the error that stopped it, where
// the system gave one ("No space left on device"; <empty> otherwise).
struct FrameResult {
  FrameStatus status = FrameStatus::unreadable;
  bool sized = false;
  uint32_t width = 0;
  uint32_t height = 0;
  std::string reason;
};

// One frame of the scan: its result, and the smallest box that holds every
// visible pixel of it, in its own canvas, with exclusive maxima; (-1, -1, -1,
// -1) when it shows none or was not scanned.
struct FrameScan {
  FrameResult result;
  CropRect visible;
};

}  // namespace velmora

#endif  // VELMORA_FRAME_RESULT_H
