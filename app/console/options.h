// The command line: the table of the tool's options, which prints the help,
// and the reading of their values.
//
// The table is the one account of the options: the help is printed from it,
// and the README's options table and the man page's OPTIONS section give
// each option with its placeholder, default and range as the table has them
// (tests/options_test.cpp holds both documents to it).
//
// Arguments are paired into an option map: an argument that begins with "-",
// and the slash switches "/?" and "/help", name an option; any other argument
// is the value of the option right before it, if that has none yet. An option
// without a value reads "noparam"; an absent one reads as the empty text (the
// lookup inserts it, which nothing can see). Nothing here prints.
#ifndef VELMORA_CONSOLE_OPTIONS_H
#define VELMORA_CONSOLE_OPTIONS_H

#include <string>
#include <vector>

#include "base/crop_rect.h"
#include "corvane/hcontainer.h"
#include "corvane/htext.h"
#include "run/frame_list.h"

namespace velmora {

using OptionMap = corvane::htable<corvane::htext, corvane::htext>;

// What an option given without a value reads: "noparam".
extern const char* const kNoValue;

// One option of the tool.
struct OptionSpec {
  const char* name;         // as typed, "-forcecrop"
  const char* placeholder;  // its value: "<x,y,r,b>", a word typed as it is ("stem"); "" for none
  const char* help;         // its line of help
  std::string fallback = "";  // what it reads when absent, "16"; "" when nothing is said
  // The values it takes: "1 to 256", or the words "black|transparent"; "" for
  // any.
  std::string range = "";
  // False for -threshold alone, whose line of help names no placeholder, as
  // it always has.
  bool placeholderInHelp = true;
};

// Every option, in the order of the help. The help switches are not options.
const std::vector<OptionSpec>& optionTable();

// -?, -help, --help, --?, /?, /help, in the order the README and the man page list them.
const std::vector<const char*>& helpSwitches();

// The help: a heading, one line per option of optionTable (name and
// placeholder in a column of 22, then the help), and a closing paragraph.
std::string helpText();

//   -i frames -threshold 40 => {argv0, -i: frames, -threshold: 40}
//   -i                      => {argv0, -i: noparam}
//   -i /home/me/frames      => {argv0, -i: /home/me/frames}
//   -forcecrop -5,0,10,10   => {argv0, -forcecrop: noparam, -5,0,10,10: noparam}
void parseArguments(int argc, const char* const* argv, OptionMap& options);

// The arguments that begin with "-" and are neither an option of optionTable
// nor a help switch, in command-line order (a repeated one each time).
//   -i f -optimise -reprot r.json => [-optimise, -reprot]
//   -forcecrop -5,0,10,10         => [-5,0,10,10]
std::vector<corvane::htext> unknownOptions(int argc, const char* const* argv);

// True when one of the help switches was given without a value.
bool isHelpRequested(OptionMap options);

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

// The -split value: absent (<empty>) reads false (no split), "stem" true.
// False, and split untouched, for anything else.
//   "" => no split    "stem" => split    "Stem", "noparam", "name" => false
bool readSplit(const corvane::htext& text, bool& split);

// The -fill value: absent or "black" reads Fill::black, "transparent"
// Fill::transparent. False, and fill untouched, for anything else.
bool readFill(const corvane::htext& text, Fill& fill);

// The -anchor value: absent or "topleft" reads Anchor::topleft, "center"
// Anchor::center, "bottom" Anchor::bottom. False, and anchor untouched, for
// anything else ("centre", "noparam", ...).
bool readAnchor(const corvane::htext& text, Anchor& anchor);

// A whole number option: absent (<empty>) reads fallback; otherwise digits
// alone giving least to most. False, and value untouched, for anything else.
//   "", 16, 1, 256 => 16    "007" => 7    "0", "257", "8px", "noparam" => false
bool readWholeNumber(const corvane::htext& text, unsigned fallback, unsigned least, unsigned most,
                     unsigned& value);

// "left,top,right,bottom" with exclusive right and bottom bounds, each read
// like sscanf "%d" (no number reads 0). False, and rect untouched, unless the
// text has exactly three commas.
//   "10,20,110,70" => (10, 20, 110, 70)
//   "10,20,30px,40" => (10, 20, 30, 40)
//   ",,,"           => (0, 0, 0, 0)
//   "1,2,3"         => false
bool parseCropRect(corvane::htext text, CropRect& rect);

}  // namespace velmora

#endif  // VELMORA_CONSOLE_OPTIONS_H
