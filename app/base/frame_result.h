// What became of one frame, from its load to its save, and the box of its
// visible pixels: the records the scan and the frame loop hand back to the
// driver and the report, free of any image library.
#ifndef VELMORA_BASE_FRAME_RESULT_H
#define VELMORA_BASE_FRAME_RESULT_H

#include <cstdint>

#include "base/crop_rect.h"
#include "base/status.h"

namespace velmora {

// What became of one frame (ok, or the step that stopped it and why), with
// the size its header declares when it could be read, the bytes of its file
// and the bytes written for it.
struct FrameResult {
  Status status = Status(Status::Code::unreadable);
  bool sized = false;
  uint32_t width = 0;
  uint32_t height = 0;
  uint64_t bytesIn = 0;
  uint64_t bytesOut = 0;
};

// One frame of the scan: its result, and the smallest box that holds every
// visible pixel of it, in its own canvas, with exclusive maxima; (-1, -1, -1,
// -1) when it shows none or was not scanned.
struct FrameScan {
  FrameResult result;
  CropRect visible;
};

}  // namespace velmora

#endif  // VELMORA_BASE_FRAME_RESULT_H
