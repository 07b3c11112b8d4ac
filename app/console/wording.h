// The words of what went wrong, as the console prints them and the reports
// quote them: the one place each of these texts lives. The console builds
// its sentences around them; the run layer hands over codes and facts only.
#ifndef VELMORA_CONSOLE_WORDING_H
#define VELMORA_CONSOLE_WORDING_H

#include <cstdint>
#include <string>

#include "base/status.h"
#include "run/animations.h"
#include "run/run_options.h"

namespace velmora {

// Why a frame was not written: "could not be loaded as PNG", "could not be
// saved", ...; nullptr for ok.
const char* frameProblem(Status::Code code);

// A frame whose header declares more pixels than a frame may hold:
//   (70000, 70000) => "declares 70000x70000 pixels, more than the 268435456 a frame may hold"
std::string declaresTooMany(uint32_t width, uint32_t height);

// A frame decoded without transparency to scan: "alpha is not 8 BPP (x.png)".
std::string alphaProblem(const std::string& frame);

// What stopped an animation: "frame \"x.png\" could not be loaded as PNG",
// "no frame has a visible pixel", ...; the reason (the result's status)
// comes after it.
std::string animationProblem(const Animation& animation, const AnimationResult& result);

}  // namespace velmora

#endif  // VELMORA_CONSOLE_WORDING_H
