// Loading one frame as PNG, with bounds that hold before any pixel is decoded.
//
// A PNG header can declare any size up to a million pixels square while the
// file holds almost nothing, and a valid file of a megabyte or two can inflate
// to gigabytes. So a frame is opened once, its chunk headers are walked, its
// header is read alone, and only a frame within the bounds is decoded, from
// the same open file (or the same bytes, for a small file read whole): the
// bytes decoded are the bytes whose header passed.
// The pixels are the values as stored: no gamma or colour correction is
// applied, so a crop copies them exactly.
// A frame that cannot be loaded says why: the system's words for a read
// error, or what is wrong with the file (kEmptyFile, kNotPng, kTruncated), or
// the decoder's own message.
#ifndef VELMORA_IMAGE_FRAME_LOADER_H
#define VELMORA_IMAGE_FRAME_LOADER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/crop_rect.h"
#include "base/frame_result.h"
#include "base/status.h"
#include "corvane/htext.h"
#include "image/image.h"

struct FIMEMORY;

namespace velmora {

// The bound equals the bound on a crop rectangle: the frame loop holds one
// decoded frame and one cropped copy at a time, so at most twice that many
// pixels.
constexpr int64_t kMaxFramePixels = kMaxCropPixels;

// The decoded pixels that the threads of one run may hold together: what one
// thread may hold, one frame and one cropped copy of the largest size.
constexpr int64_t kThreadsPixelBudget = kMaxFramePixels + kMaxCropPixels;

// The most bytes of compressed metadata (zTXt, iTXt and iCCP chunks) a frame
// may hold. The PNG library inflates each such chunk to up to 8 MB while it
// reads the header, and keeps up to a thousand of them: a 1.5 MB file of text
// chunks takes gigabytes. 64 KiB inflates to at most about 64 MB; real frames
// hold a few KB at most (an ICC profile, a comment).
constexpr int64_t kMaxPackedMetadataBytes = 65536;

// A frame file up to this size is read whole when it is opened, and checked
// and decoded from memory; a larger one is read from the open file.
constexpr size_t kWholeFileBytes = size_t(1) << 20;

// Why a file is no frame, when the system did not say.
inline const char* const kEmptyFile = "empty file";
inline const char* const kNotPng = "not a PNG file";
inline const char* const kTruncated = "truncated file";
inline const char* const kChangedWhileRead = "the file changed while it was read";

// One frame opened for loading: open() checks the metadata bound and the
// header; decode() then gives the pixels from the same open file or bytes.
class FrameSource {
 public:
  // The file at path, opened only when it is a regular file, so a named pipe
  // cannot block the run.
  static FrameSource open(const corvane::htext& path, int64_t maxPixels = kMaxFramePixels);
  // The bytes of memory from its current position; memory must outlive the source.
  static FrameSource open(FIMEMORY* memory, int64_t maxPixels = kMaxFramePixels);

  FrameSource(FrameSource&& other) noexcept;
  FrameSource& operator=(FrameSource&&) = delete;
  FrameSource(const FrameSource&) = delete;
  ~FrameSource();

  // ok while the frame may be decoded; else unreadable (with why), tooLarge
  // or tooMuchMetadata.
  const Status& status() const;
  // Whether the header could be read, and the size it declares.
  bool sized() const;
  uint32_t width() const;
  uint32_t height() const;
  // The size of the frame's file, when it could be opened.
  uint64_t fileBytes() const;
  // The gAMA, cHRM, sRGB and iCCP chunks as stored, in file order (<empty>
  // when there are none), for the encoded output to carry.
  const std::string& colourChunks() const;
  // Whether the frame states its resolution (a pHYs chunk): the decoder
  // gives a frame without one 72 dpi.
  bool statesResolution() const;
  // status() with the header's size.
  FrameResult result() const;

  // The decoded frame; empty, with status() unreadable, when it cannot be
  // decoded or its size is not the one its header declared (the file changed
  // after the header was read). Call once, after open() gave ok.
  Image decode();

 private:
  struct State;
  explicit FrameSource(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace velmora

#endif  // VELMORA_IMAGE_FRAME_LOADER_H
