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
#ifndef VELMORA_FRAME_LOADER_H
#define VELMORA_FRAME_LOADER_H

#include <FreeImage.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "corvane/htext.h"
#include "crop_rect.h"
#include "frame_result.h"

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

// Releases a decoded image; an Image owns one, so no path can leak it.
struct ImageRelease {
  void operator()(FIBITMAP* image) const { FreeImage_Unload(image); }
};
using Image = std::unique_ptr<FIBITMAP, ImageRelease>;

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

  // ok while the frame may be decoded; unreadable, tooLarge or tooMuchMetadata.
  FrameStatus status() const { return status_; }
  // Whether the header could be read, and the size it declares.
  bool sized() const { return sized_; }
  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  // The gAMA, cHRM, sRGB and iCCP chunks as stored, in file order (<empty>
  // when there are none), for the encoded output to carry.
  const std::string& colourChunks() const { return colourChunks_; }
  // status() with the header's size.
  // With the system's words for why the file could not be opened, if so.
  FrameResult result() const { return FrameResult{status_, sized_, width_, height_, reason_}; }

  // The decoded frame; empty, with status() unreadable, when it cannot be
  // decoded or its size is not the one its header declared (the file changed
  // after the header was read). Call once, after open() gave ok.
  Image decode();

 private:
  FrameSource() = default;
  // Reads the frame from memory, from where it stands now.
  void readFrom(FIMEMORY* memory);
  void check(int64_t maxPixels);
  bool readAt(int64_t offset, void* buffer, unsigned n);
  FIBITMAP* load(int flags);

  FreeImageIO io_{};
  fi_handle handle_ = nullptr;
  std::FILE* file_ = nullptr;  // owned, when opened from a path
  std::vector<BYTE> bytes_;    // a small file read whole, which memory_ reads
  FIMEMORY* memory_ = nullptr;  // owned
  long start_ = 0;
  FrameStatus status_ = FrameStatus::unreadable;
  bool sized_ = false;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  std::string colourChunks_;
  std::string reason_;
};

}  // namespace velmora

#endif  // VELMORA_FRAME_LOADER_H
