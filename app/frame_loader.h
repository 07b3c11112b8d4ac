// Loading one frame as PNG, with a bound on its size that holds before any
// pixel is decoded.
//
// A PNG header can declare any size up to a million pixels square while the
// file holds almost nothing, and a valid file of a megabyte or two can inflate
// to gigabytes. So the header is read first, alone, and a frame that declares
// more than kMaxFramePixels is refused without decoding it. The bound equals
// the bound on a crop rectangle: the frame loop holds one decoded frame and
// one cropped copy at a time, so at most twice that many pixels.
#ifndef VELMORA_FRAME_LOADER_H
#define VELMORA_FRAME_LOADER_H

#include <cstdint>

#include "corvane/htext.h"
#include "crop_rect.h"

struct FIBITMAP;
struct FIMEMORY;

namespace velmora {

constexpr int64_t kMaxFramePixels = kMaxCropPixels;

// The most bytes of compressed metadata (zTXt, iTXt and iCCP chunks) a frame
// may hold. The PNG library inflates each such chunk to up to 8 MB while it
// reads the header, and keeps up to a thousand of them: a 1.5 MB file of text
// chunks takes gigabytes. 64 KiB inflates to at most about 64 MB; real frames
// hold a few KB at most (an ICC profile, a comment).
constexpr int64_t kMaxPackedMetadataBytes = 65536;

enum class FrameStatus { loaded, unreadable, tooLarge, tooMuchMetadata };

struct FrameLoad {
  FrameStatus status = FrameStatus::unreadable;
  FIBITMAP* image = nullptr;  // the decoded frame when loaded; the caller releases it
  // From the header, when it could be read.
  uint32_t width = 0;
  uint32_t height = 0;
};

// Refuses a PNG file at path that holds more than kMaxPackedMetadataBytes of
// compressed metadata, reads its header, refuses a frame that declares more
// than maxPixels pixels, and otherwise decodes it. Anything but a regular
// file (a folder, a named pipe, a dangling link) is unreadable: it is never
// opened, so a pipe cannot block the run.
FrameLoad loadPngFrame(const corvane::htext& path, int64_t maxPixels = kMaxFramePixels);
// The same from a memory stream, read from its current position.
FrameLoad loadPngFrame(FIMEMORY* memory, int64_t maxPixels = kMaxFramePixels);

// Thrown by loadFrameForScan after its STOP line and pause.
struct FrameRefused {};

// The scan's load: the decoded frame, or nullptr for one that cannot be read
// (the scan reports it as a frame without alpha). A frame too large to decode
// or one with too much metadata ends the run: its STOP line, the pause, and
// FrameRefused.
FIBITMAP* loadFrameForScan(const corvane::htext& path, const char* name);

// The frame loop's load: the decoded frame, or nullptr with failure set to
// the warning's wording ("could not be loaded as PNG", "declares more than
// 268435456 pixels", "holds more than 65536 bytes of compressed metadata").
FIBITMAP* loadFrameForOutput(const corvane::htext& path, const char*& failure);

}  // namespace velmora

#endif  // VELMORA_FRAME_LOADER_H
