#include "run/sheet_layout.h"

#include <algorithm>

namespace velmora {

unsigned columnsOf(const SheetAnimation& animation, unsigned padding, unsigned most) {
  unsigned columns = 1;
  while (uint64_t(columns) * columns < animation.cells) ++columns;
  while (columns > 1 &&
         padding + uint64_t(columns) * (animation.cellWidth + uint64_t(padding)) > most) {
    --columns;
  }
  return columns;
}

SheetLayout layoutSheet(const std::vector<SheetAnimation>& animations, unsigned padding,
                        unsigned most) {
  SheetLayout layout;
  layout.places.resize(animations.size());
  uint64_t height = 0;  // of the open page; 0 while it has no row
  for (size_t a = 0; a < animations.size(); ++a) {
    const SheetAnimation& animation = animations[a];
    if (animation.cells == 0) continue;
    if (animation.cellWidth + 2 * uint64_t(padding) > most ||
        animation.cellHeight + 2 * uint64_t(padding) > most) {
      if (!layout.tooLarge) layout.tooLarge = unsigned(a);
      continue;
    }
    const unsigned columns = columnsOf(animation, padding, most);
    const uint64_t rowHeight = animation.cellHeight + uint64_t(padding);
    const uint32_t rowWidth = uint32_t(padding + uint64_t(columns) * (animation.cellWidth + padding));
    for (unsigned cell = 0; cell < animation.cells; ++cell) {
      if (cell % columns == 0) {
        // A new row: on this page if it fits under the others, else on the next.
        if (layout.pages.empty() || (height > 0 && height + rowHeight > most)) {
          layout.pages.push_back(PageSize{0, 0});
          height = 0;
        }
        if (height == 0) height = padding;
        PageSize& page = layout.pages.back();
        page.width = std::max(page.width, rowWidth);
        page.height = uint32_t(height + rowHeight);
        height += rowHeight;
      }
      const uint32_t column = cell % columns;
      layout.places[a].push_back(CellPlace{
          unsigned(layout.pages.size() - 1),
          uint32_t(padding + uint64_t(column) * (animation.cellWidth + padding)),
          uint32_t(height - rowHeight)});
    }
  }
  return layout;
}

}  // namespace velmora
