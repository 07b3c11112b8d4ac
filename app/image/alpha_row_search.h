// The searches of the bounds scan along one row of an 8-bit alpha image: the
// first and the last visible pixel of a range of columns.
//
// Most of a frame is transparent, and every transparent pixel outside the box
// found so far has to be looked at, so these searches are where the scan
// spends its time. When the visible index values are exactly those above one
// limit (the grey palette of an alpha channel always gives that), a row is
// read in blocks of 64 and 16 bytes with no per-pixel branch; any other
// palette is read through the table, one pixel at a time.
#ifndef VELMORA_IMAGE_ALPHA_ROW_SEARCH_H
#define VELMORA_IMAGE_ALPHA_ROW_SEARCH_H

#include <cstdint>

namespace velmora {

class AlphaRowSearch {
 public:
  // visible[v]: whether a pixel of index value v is visible.
  explicit AlphaRowSearch(const bool (&visible)[256]);

  // The first x in [from, to) whose pixel is visible, or to when there is none.
  int32_t firstVisible(const uint8_t* row, int32_t from, int32_t to) const;
  // The last x in [from, to) whose pixel is visible, or -1 when there is none
  // (an empty range, from >= to, included).
  int32_t lastVisible(const uint8_t* row, int32_t from, int32_t to) const;

 private:
  bool visible_[256];
  // With ramp_ a value v is visible exactly when v > limit_ (-1 to 255).
  bool ramp_;
  int limit_;
};

}  // namespace velmora

#endif  // VELMORA_IMAGE_ALPHA_ROW_SEARCH_H
