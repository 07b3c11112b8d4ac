// The frames of a run: which entries of the source folder they are, the order
// that numbers them, the names they are written as, and how far through them
// a loop is.
#ifndef VELMORA_RUN_FRAME_LIST_H
#define VELMORA_RUN_FRAME_LIST_H

#include <cstddef>
#include <vector>

#include "base/status.h"
#include "corvane/hcontainer.h"
#include "corvane/htext.h"

namespace velmora {

// Bare frame names that point into the folder listing, which outlives them.
using FrameList = std::vector<const char*>;

// The order that numbers the frames (-order).
//   name     byte by byte with a-z folded to A-Z, the order of a folder on
//            Windows' own file system; names equal after folding compare
//            byte by byte
//   natural  runs of digits read as numbers (see naturallyPrecedes)
enum class FrameOrder { name, natural };

// The frames of a listing: the names ending in ".png" (byte for byte), in
// the given order, which numbers the output files. The list points into
// listing, which must outlive it.
//   [c.png, B.png, a.png]                => [a.png, B.png, c.png]
//   [walk_b.png, walkA.png]              => [walkA.png, walk_b.png]
//   [frame_2.png, frame_10.png]          => [frame_10.png, frame_2.png]
//   [frame_2.png, frame_10.png], natural => [frame_2.png, frame_10.png]
//   [a.png, A.png]                       => [A.png, a.png]
//   [x.PNG, .png, y.png.bak]             => [.png]
FrameList selectFrames(const corvane::hlist<corvane::htext>& listing,
                       FrameOrder order = FrameOrder::name);

// The bare names of every entry of folder, hidden ones included, as
// selectFrames takes them; failed, with the system's words, when the folder
// cannot be read, so that an unreadable folder is not taken for an empty one.
Status listFolderNames(const corvane::htext& folder, corvane::hlist<corvane::htext>& names);

// Name order, a strict total order on names: byte by byte with a-z folded
// to A-Z; names equal after folding compare byte by byte.
//   (a.png, B.png) => true    (A.png, a.png) => true    (walkA, walk_b) => true
bool namePrecedes(const char* a, const char* b);

// The order's comparison: namePrecedes or naturallyPrecedes.
using Precedes = bool (*)(const char*, const char*);
Precedes precedesBy(FrameOrder order);

// Natural order, a strict total order on names. A name is a sequence of
// tokens: each maximal run of ASCII digits is one, every other byte one of
// its own. Token by token, two digit runs compare by value (leading zeros
// ignored, of any length) and go on when equal; any other pair compares as
// bytes with a-z folded to A-Z, a digit run as its first digit. A name out of
// tokens first comes first; names whose tokens are all equal compare in name
// order.
//   (a.png, a1.png)         => true   ('.' is below '1')
//   (a2.png, a10.png)       => true
//   (walk9.png, Walk10.png) => true
//   (f01.png, f1.png)       => true   (equal tokens: name order)
//   (F1.png, f1.png)        => true
//   (a.png, a.png)          => false
//   (x18446744073709551616.png, x18446744073709551615.png) => false
bool naturallyPrecedes(const char* a, const char* b);

// Where the list numbers the frames otherwise than natural order would: the
// first pair (a, b) of list places, a < b, that natural order swaps (the
// smallest a, then the smallest b); false when the orders agree.
//   [a1, a10, a11, a2] => (1, 3)    [a1, a10] => false    [a01, a1] => false
bool firstNaturalSwap(const FrameList& frames, size_t& a, size_t& b);

// The file a frame is written as, by its 1-based place in the list.
//   1 => "out_00001.png"    123456 => "out_123456.png"
corvane::htext outputName(unsigned number);

//   zeroPad("7", 5)      => "00007"
//   zeroPad("123456", 5) => "123456"
corvane::htext zeroPad(const corvane::htext& text, int width);

// done / total in single precision, times 100, truncated:
//   (1, 3) => 33    (2, 3) => 66    (3, 3) => 100
// Nothing to do (total 0) counts as done: 100.
unsigned progressPercent(unsigned done, unsigned total);

}  // namespace velmora

#endif  // VELMORA_RUN_FRAME_LIST_H
