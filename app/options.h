// The command line and the interactive prompt.
//
// Arguments are paired into an option map: an argument that begins with "-",
// and the slash switches "/?" and "/help", name an option; any other argument
// is the value of the option right before it, if that has none yet. An option
// without a value reads "noparam"; an absent one reads as the empty text (the
// lookup inserts it, which nothing can see).
#ifndef VELMORA_OPTIONS_H
#define VELMORA_OPTIONS_H

#include "corvane/hcontainer.h"
#include "corvane/htext.h"
#include "crop_rect.h"
#include "frame_list.h"

namespace velmora {

using OptionMap = corvane::htable<corvane::htext, corvane::htext>;

// What an option given without a value reads: "noparam".
extern const char* const kNoValue;

//   -i frames -threshold 40 => {argv0, -i: frames, -threshold: 40}
//   -i                      => {argv0, -i: noparam}
//   -i /home/me/frames      => {argv0, -i: /home/me/frames}
//   -forcecrop -5,0,10,10   => {argv0, -forcecrop: noparam, -5,0,10,10: noparam}
void parseArguments(int argc, const char* const* argv, OptionMap& options);

// True when one of -help, -?, --help, --?, /?, /help was given without a value.
bool isHelpRequested(OptionMap options);

void printHelp();

// The number a text begins with, read like sscanf "%d": leading blanks and a
// sign accepted, trailing text ignored, no number gives 0.
//   "40abc" => 40    " -7" => -7    "abc" => 0
int readInt(const corvane::htext& text);

// The -jobs value: absent (<empty>) reads 1; otherwise a whole number, 0 or
// more, made of digits alone (one too large for unsigned reads its maximum).
// False, and jobs untouched, for anything else.
//   "" => 1    "0" => 0    "3" => 3    "x", "3x", " 3", "noparam" => false
bool readJobs(const corvane::htext& text, unsigned& jobs);

// The -order value: absent (<empty>) or "name" reads FrameOrder::name,
// "natural" FrameOrder::natural. False, and order untouched, for anything
// else.
//   "" => name    "name" => name    "natural" => natural
//   "Natural", "noparam", "names" => false
bool readOrder(const corvane::htext& text, FrameOrder& order);

// Asks until a line names an existing folder; <empty> when input ends.
corvane::htext promptSourcePath();

// "left,top,right,bottom" with exclusive right and bottom bounds, each read
// like sscanf "%d" (no number reads 0). False, and rect untouched, unless the
// text has exactly three commas.
//   "10,20,110,70" => (10, 20, 110, 70)
//   "10,20,30px,40" => (10, 20, 30, 40)
//   ",,,"           => (0, 0, 0, 0)
//   "1,2,3"         => false
bool parseCropRect(corvane::htext text, CropRect& rect);

}  // namespace velmora

#endif  // VELMORA_OPTIONS_H
