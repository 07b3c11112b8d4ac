// Where an animation's run stopped: the one list of the steps that can fail
// it, from its plan to its placement. The Status beside it in a result holds
// the cause, where there is one to name.
#ifndef VELMORA_RUN_FAILURE_H
#define VELMORA_RUN_FAILURE_H

namespace velmora {

enum class Failure {
  none,
  frame,         // a frame stopped the scan (status: unreadable, noAlpha, ...)
  nothingShown,  // no frame has a visible pixel
  invalidRect,   // the rectangle is none: a forced one, or one kept to the canvas
  cropTooLarge,  // the widened rectangle holds more than kMaxCropPixels
  notWritten,    // a frame of the frame loop could not be written
  notCropped,    // the work on the animation ended before it gave a result
  notReplaced,   // the new folder could not take the old one's place
  cellTooLarge,  // -sheet: its cell and padding are larger than a page may be
  sheet,         // -sheet: another animation of its folder stopped the sheet
};

}  // namespace velmora

#endif  // VELMORA_RUN_FAILURE_H
