#include "console/wording.h"

#include "corvane/htext.h"
#include "image/frame_loader.h"

namespace velmora {

static_assert(kMaxFramePixels == 268435456 && kMaxPackedMetadataBytes == 65536 &&
                  kMaxCropPixels == 268435456,
              "the wordings below name the bounds");

const char* frameProblem(Status::Code code) {
  switch (code) {
    case Status::Code::ok:
      return nullptr;
    case Status::Code::tooLarge:
      return "declares more than 268435456 pixels";
    case Status::Code::tooMuchMetadata:
      return "holds more than 65536 bytes of compressed metadata";
    case Status::Code::notCropped:
      return "could not be cropped";
    case Status::Code::notSaved:
      return "could not be saved";
    default:
      return "could not be loaded as PNG";
  }
}

std::string declaresTooMany(uint32_t width, uint32_t height) {
  return corvane::hsprintf("declares %ux%u pixels, more than the 268435456 a frame may hold",
                           width, height)
      .c_str();
}

std::string alphaProblem(const std::string& frame) { return "alpha is not 8 BPP (" + frame + ")"; }

std::string animationProblem(const Animation& animation, const AnimationResult& result) {
  const std::string frame =
      result.frame < animation.frames.size() ? animation.frames[result.frame] : std::string();
  switch (result.failure) {
    case Failure::none:
      return std::string();
    case Failure::frame:
      if (result.status.code() == Status::Code::noAlpha) return alphaProblem(frame);
      if (result.status.code() == Status::Code::tooLarge) {
        return "frame \"" + frame + "\" " +
               declaresTooMany(result.results[result.frame].width,
                               result.results[result.frame].height);
      }
      [[fallthrough]];
    case Failure::notWritten:
      return "frame \"" + frame + "\" " + frameProblem(result.status.code());
    case Failure::nothingShown:
      return "no frame has a visible pixel";
    case Failure::invalidRect:
      return "the crop rect is mathematically incorrect";
    case Failure::cropTooLarge:
      return "the corrected crop-rect holds more than 268435456 pixels";
    case Failure::notCropped:
      return "its frames could not be cropped";
    case Failure::notReplaced:
      return "its folder could not be put in place";
    case Failure::cellTooLarge:
      return corvane::hsprintf("its cells of %dx%d do not fit a sheet page",
                               int(result.area.maxX - result.area.minX),
                               int(result.area.maxY - result.area.minY))
          .c_str();
    case Failure::sheet:
      return "its sheet was not written";
  }
  return std::string();
}

}  // namespace velmora
