#include "frame_loader.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "file_host.h"
#include "png_chunks.h"

namespace velmora {

using corvane::htext;

namespace {

unsigned DLL_CALLCONV readFile(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  return static_cast<unsigned>(std::fread(buffer, size, count, static_cast<FILE*>(handle)));
}

unsigned DLL_CALLCONV writeNothing(void*, unsigned, unsigned, fi_handle) { return 0; }

int DLL_CALLCONV seekFile(fi_handle handle, long offset, int origin) {
  return std::fseek(static_cast<FILE*>(handle), offset, origin);
}

long DLL_CALLCONV tellFile(fi_handle handle) { return std::ftell(static_cast<FILE*>(handle)); }

unsigned DLL_CALLCONV readMemory(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  return FreeImage_ReadMemory(buffer, size, count, static_cast<FIMEMORY*>(handle));
}

int DLL_CALLCONV seekMemory(fi_handle handle, long offset, int origin) {
  return FreeImage_SeekMemory(static_cast<FIMEMORY*>(handle), offset, origin) ? 0 : -1;
}

long DLL_CALLCONV tellMemory(fi_handle handle) {
  return FreeImage_TellMemory(static_cast<FIMEMORY*>(handle));
}

}  // namespace

FrameSource FrameSource::open(const htext& path, int64_t maxPixels) {
  FrameSource source;
  // A small file is read whole, once: the chunk walk, the header read and
  // the decoding seek back and forth, and on small frames each seek and
  // reread cost more than the decoding.
  if (!files::openRegularFile(path, kWholeFileBytes, source.bytes_, source.file_, &source.reason_)) {
    return source;
  }
  if (source.file_ != nullptr) {
    source.io_ = FreeImageIO{readFile, writeNothing, seekFile, tellFile};
    source.handle_ = source.file_;
  } else {
    // An empty file is no PNG; the library's memory stream needs a byte.
    if (source.bytes_.empty()) return source;
    source.memory_ = FreeImage_OpenMemory(source.bytes_.data(), DWORD(source.bytes_.size()));
    if (source.memory_ == nullptr) return source;
    source.readFrom(source.memory_);
  }
  source.check(maxPixels);
  return source;
}

FrameSource FrameSource::open(FIMEMORY* memory, int64_t maxPixels) {
  FrameSource source;
  source.readFrom(memory);
  source.check(maxPixels);
  return source;
}

void FrameSource::readFrom(FIMEMORY* memory) {
  io_ = FreeImageIO{readMemory, writeNothing, seekMemory, tellMemory};
  handle_ = memory;
  start_ = FreeImage_TellMemory(memory);
}

FrameSource::FrameSource(FrameSource&& other) noexcept
    : io_(other.io_),
      handle_(other.handle_),
      file_(other.file_),
      bytes_(std::move(other.bytes_)),
      memory_(other.memory_),
      start_(other.start_),
      status_(other.status_),
      sized_(other.sized_),
      width_(other.width_),
      height_(other.height_),
      colourChunks_(std::move(other.colourChunks_)),
      reason_(std::move(other.reason_)) {
  other.file_ = nullptr;
  other.memory_ = nullptr;
  other.handle_ = nullptr;
  other.status_ = FrameStatus::unreadable;
}

FrameSource::~FrameSource() {
  if (memory_ != nullptr) FreeImage_CloseMemory(memory_);
  if (file_ != nullptr) std::fclose(file_);
}

bool FrameSource::readAt(int64_t offset, void* buffer, unsigned n) {
  return io_.seek_proc(handle_, long(start_ + offset), SEEK_SET) == 0 &&
         io_.read_proc(buffer, 1, n, handle_) == n;
}

FIBITMAP* FrameSource::load(int flags) {
  if (io_.seek_proc(handle_, start_, SEEK_SET) != 0) return nullptr;
  // PNG_IGNOREGAMMA: with it the decoder hands over the stored values; without
  // it a frame with a gAMA chunk is converted on load.
  return FreeImage_LoadFromHandle(FIF_PNG, &io_, handle_, flags | PNG_IGNOREGAMMA);
}

void FrameSource::check(int64_t maxPixels) {
  status_ = FrameStatus::unreadable;
  const ReadAt readBytes = [this](int64_t offset, void* buffer, unsigned n) {
    return readAt(offset, buffer, n);
  };
  if (packedMetadataBytes(readBytes) > kMaxPackedMetadataBytes) {
    status_ = FrameStatus::tooMuchMetadata;
    return;
  }
  colourChunks_ = velmora::colourChunks(readBytes);
  Image header(load(FIF_LOAD_NOPIXELS));
  if (header == nullptr) return;
  sized_ = true;
  width_ = FreeImage_GetWidth(header.get());
  height_ = FreeImage_GetHeight(header.get());
  status_ = int64_t(width_) * int64_t(height_) > maxPixels ? FrameStatus::tooLarge
                                                           : FrameStatus::ok;
}

Image FrameSource::decode() {
  if (status_ != FrameStatus::ok) return Image();
  Image image(load(PNG_DEFAULT));
  if (image == nullptr || FreeImage_GetWidth(image.get()) != width_ ||
      FreeImage_GetHeight(image.get()) != height_) {
    status_ = FrameStatus::unreadable;
    return Image();
  }
  return image;
}

}  // namespace velmora
