// Where the cells of a folder's animations lie on the pages of its sheet.
//
// Each animation's unique cells go in rows, left to right; each animation
// starts a new row. An animation of n cells takes ceil(sqrt(n)) columns, or
// fewer where its row would be wider than a page may be. padding pixels lie
// between cells and around each page. A page closes when its next row would
// make it taller than the most a side may be, and that row starts the next
// page, so a long animation can span pages. Pure arithmetic: the same cells
// give the same layout.
#ifndef VELMORA_RUN_SHEET_LAYOUT_H
#define VELMORA_RUN_SHEET_LAYOUT_H

#include <cstdint>
#include <optional>
#include <vector>

namespace velmora {

// -padding and -sheetmax: their defaults and their bounds.
constexpr unsigned kDefaultPadding = 2;
constexpr unsigned kMaxPadding = 64;
constexpr unsigned kDefaultSheetMax = 4096;
constexpr unsigned kMinSheetMax = 256;
constexpr unsigned kMaxSheetMax = 16384;

struct SheetAnimation {
  uint32_t cellWidth = 0;
  uint32_t cellHeight = 0;
  unsigned cells = 0;  // unique
};

struct CellPlace {
  unsigned page = 0;
  uint32_t x = 0;
  uint32_t y = 0;
};

struct PageSize {
  uint32_t width = 0;
  uint32_t height = 0;
};

struct SheetLayout {
  std::vector<PageSize> pages;
  std::vector<std::vector<CellPlace>> places;  // per animation, per unique cell
  std::optional<unsigned> tooLarge;  // the first animation whose cell no page can hold, if any
};

// The columns of an animation's rows: ceil(sqrt(cells)), fewer while the row
// is wider than most.
//   9 cells of 10 => 3    10 cells of 10 => 4    16 cells of 100, padding 2, most 256 => 2
unsigned columnsOf(const SheetAnimation& animation, unsigned padding, unsigned most);

//   one animation of 4 cells 10x10, padding 2, most 4096 =>
//     one page 26x26; cells at (2, 2), (14, 2), (2, 14), (14, 14)
SheetLayout layoutSheet(const std::vector<SheetAnimation>& animations, unsigned padding,
                        unsigned most);

}  // namespace velmora

#endif  // VELMORA_RUN_SHEET_LAYOUT_H
