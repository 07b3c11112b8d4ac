#include "run/sheet_layout.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace velmora;

namespace {

TEST(SheetLayout, RowsPerAnimationAndPagesThatCloseBeforeTheyOverflow) {
  struct Row {
    const char* what;
    std::vector<SheetAnimation> animations;
    unsigned padding, most;
    std::vector<PageSize> pages;
    std::vector<std::vector<CellPlace>> places;
    std::optional<unsigned> tooLarge;
  };
  const Row rows[] = {
      {"4 cells: 2 columns", {{10, 10, 4}}, 2, 4096, {{26, 26}},
       {{{0, 2, 2}, {0, 14, 2}, {0, 2, 14}, {0, 14, 14}}}, std::nullopt},
      {"3 cells: 2 columns, a row of one", {{10, 6, 3}}, 2, 4096, {{26, 18}},
       {{{0, 2, 2}, {0, 14, 2}, {0, 2, 10}}}, std::nullopt},
      {"a second animation starts a row of its own", {{10, 6, 1}, {4, 4, 2}}, 0, 4096, {{10, 10}},
       {{{0, 0, 0}}, {{0, 0, 6}, {0, 4, 6}}}, std::nullopt},
      {"columns fall to what a page's width holds", {{100, 10, 9}}, 2, 256, {{206, 62}},
       {{{0, 2, 2}, {0, 104, 2}, {0, 2, 14}, {0, 104, 14}, {0, 2, 26}, {0, 104, 26}, {0, 2, 38},
         {0, 104, 38}, {0, 2, 50}}},
       std::nullopt},
      {"a row that would pass the page's height starts the next page", {{100, 100, 4}, {50, 100, 1}}, 2,
       256, {{206, 206}, {54, 104}},
       {{{0, 2, 2}, {0, 104, 2}, {0, 2, 104}, {0, 104, 104}}, {{1, 2, 2}}}, std::nullopt},
      {"a long animation spans pages", {{120, 130, 4}}, 4, 256, {{252, 138}, {252, 138}},
       {{{0, 4, 4}, {0, 128, 4}, {1, 4, 4}, {1, 128, 4}}}, std::nullopt},
      {"a cell larger than a page", {{10, 10, 1}, {253, 10, 1}}, 2, 256, {{14, 14}}, {{{0, 2, 2}}, {}}, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const SheetLayout layout = layoutSheet(row.animations, row.padding, row.most);
    ASSERT_EQ(layout.pages.size(), row.pages.size());
    for (size_t p = 0; p < row.pages.size(); ++p) {
      EXPECT_EQ(layout.pages[p].width, row.pages[p].width) << "page " << p;
      EXPECT_EQ(layout.pages[p].height, row.pages[p].height) << "page " << p;
    }
    ASSERT_EQ(layout.places.size(), row.places.size());
    for (size_t a = 0; a < row.places.size(); ++a) {
      ASSERT_EQ(layout.places[a].size(), row.places[a].size()) << "animation " << a;
      for (size_t c = 0; c < row.places[a].size(); ++c) {
        const CellPlace& got = layout.places[a][c];
        const CellPlace& want = row.places[a][c];
        EXPECT_TRUE(got.page == want.page && got.x == want.x && got.y == want.y)
            << "animation " << a << " cell " << c << ": page " << got.page << " at " << got.x << ","
            << got.y;
      }
    }
    EXPECT_EQ(layout.tooLarge, row.tooLarge);
  }
}

}  // namespace
