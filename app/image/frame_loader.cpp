#include "image/frame_loader.h"

#include <FreeImage.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "host/host.h"
#include "png/png_chunks.h"

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

// The library hands its messages to one callback for the whole process; each
// thread keeps the last one it caused, which is the error of a load that
// failed there. A plain array: a thread's storage needs no destructor then.
thread_local char decoderMessage[256];

void keepMessage(FREE_IMAGE_FORMAT, const char* message) {
  std::snprintf(decoderMessage, sizeof decoderMessage, "%s", message != nullptr ? message : "");
}

void listenToDecoder() {
  static const bool listening = (FreeImage_SetOutputMessage(keepMessage), true);
  (void)listening;
}

}  // namespace

struct FrameSource::State {
  FreeImageIO io{};
  fi_handle handle = nullptr;
  std::FILE* file = nullptr;          // owned, when opened from a path
  std::vector<unsigned char> bytes;   // a small file read whole, which memory reads
  FIMEMORY* memory = nullptr;         // owned
  long start = 0;
  uint64_t size = 0;
  Status status = Status(Status::Code::unreadable);
  bool sized = false;
  uint32_t width = 0;
  uint32_t height = 0;
  std::string colourChunks;
  bool statesResolution = false;

  ~State() {
    if (memory != nullptr) FreeImage_CloseMemory(memory);
    if (file != nullptr) std::fclose(file);
  }

  // Reads the frame from memory, from where it stands now.
  void readFrom(FIMEMORY* from) {
    io = FreeImageIO{readMemory, writeNothing, seekMemory, tellMemory};
    handle = from;
    start = FreeImage_TellMemory(from);
  }

  bool readAt(int64_t offset, void* buffer, unsigned n) {
    return io.seek_proc(handle, long(start + offset), SEEK_SET) == 0 &&
           io.read_proc(buffer, 1, n, handle) == n;
  }

  ReadAt reader() {
    return [this](int64_t offset, void* buffer, unsigned n) { return readAt(offset, buffer, n); };
  }

  FIBITMAP* load(int flags) {
    if (io.seek_proc(handle, start, SEEK_SET) != 0) return nullptr;
    listenToDecoder();
    decoderMessage[0] = '\0';
    // PNG_IGNOREGAMMA: with it the decoder hands over the stored values;
    // without it a frame with a gAMA chunk is converted on load.
    return FreeImage_LoadFromHandle(FIF_PNG, &io, handle, flags | PNG_IGNOREGAMMA);
  }

  // Why a load that failed failed: what is wrong with the bytes, else the
  // decoder's message.
  Status unreadable() {
    const std::string message = decoderMessage;
    switch (classifyPng(reader())) {
      case PngBytes::empty:
        return Status(Status::Code::unreadable, kEmptyFile);
      case PngBytes::notPng:
        return Status(Status::Code::unreadable, kNotPng);
      case PngBytes::cutShort:
        return Status(Status::Code::unreadable, kTruncated);
      case PngBytes::uncut:
        break;
    }
    return Status(Status::Code::unreadable, message.empty() ? kNotPng : message);
  }

  void check(int64_t maxPixels) {
    status = Status(Status::Code::unreadable);
    const ReadAt readBytes = reader();
    if (packedMetadataBytes(readBytes) > kMaxPackedMetadataBytes) {
      status = Status(Status::Code::tooMuchMetadata);
      return;
    }
    colourChunks = velmora::colourChunks(readBytes);
    statesResolution = hasChunkBeforeData(readBytes, "pHYs");
    const Image header(load(FIF_LOAD_NOPIXELS));
    if (header == nullptr) {
      status = unreadable();
      return;
    }
    sized = true;
    width = FreeImage_GetWidth(header.get());
    height = FreeImage_GetHeight(header.get());
    status = int64_t(width) * int64_t(height) > maxPixels ? Status(Status::Code::tooLarge)
                                                          : Status();
  }
};

FrameSource::FrameSource(std::unique_ptr<State> state) : state_(std::move(state)) {}
FrameSource::FrameSource(FrameSource&& other) noexcept = default;
FrameSource::~FrameSource() = default;

FrameSource FrameSource::open(const htext& path, int64_t maxPixels) {
  auto state = std::make_unique<State>();
  // A small file is read whole, once: the chunk walk, the header read and
  // the decoding seek back and forth, and on small frames each seek and
  // reread cost more than the decoding.
  const Status opened =
      host::openRegularFile(path, kWholeFileBytes, state->bytes, state->file, state->size);
  if (!opened.ok()) {
    state->status = opened.as(Status::Code::unreadable);
  } else if (state->file != nullptr) {
    state->io = FreeImageIO{readFile, writeNothing, seekFile, tellFile};
    state->handle = state->file;
    state->check(maxPixels);
  } else if (state->bytes.empty()) {
    // The library's memory stream needs a byte.
    state->status = Status(Status::Code::unreadable, kEmptyFile);
  } else {
    state->memory = FreeImage_OpenMemory(state->bytes.data(), DWORD(state->bytes.size()));
    if (state->memory == nullptr) {
      state->status = Status(Status::Code::unreadable, kOutOfMemory);
    } else {
      state->readFrom(state->memory);
      state->check(maxPixels);
    }
  }
  return FrameSource(std::move(state));
}

FrameSource FrameSource::open(FIMEMORY* memory, int64_t maxPixels) {
  auto state = std::make_unique<State>();
  state->readFrom(memory);
  state->check(maxPixels);
  return FrameSource(std::move(state));
}

const Status& FrameSource::status() const { return state_->status; }
bool FrameSource::sized() const { return state_->sized; }
uint32_t FrameSource::width() const { return state_->width; }
uint32_t FrameSource::height() const { return state_->height; }
uint64_t FrameSource::fileBytes() const { return state_->size; }
const std::string& FrameSource::colourChunks() const { return state_->colourChunks; }

bool FrameSource::statesResolution() const { return state_->statesResolution; }

FrameResult FrameSource::result() const {
  return FrameResult{state_->status, state_->sized, state_->width, state_->height, state_->size, 0};
}

Image FrameSource::decode() {
  State& state = *state_;
  if (!state.status.ok()) return Image();
  Image image(state.load(PNG_DEFAULT));
  if (image == nullptr) {
    state.status = state.unreadable();
  } else if (FreeImage_GetWidth(image.get()) != state.width ||
             FreeImage_GetHeight(image.get()) != state.height) {
    state.status = Status(Status::Code::unreadable, kChangedWhileRead);
    image.reset();
  }
  return image;
}

}  // namespace velmora
