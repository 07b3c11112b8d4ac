#include "run/run_report.h"

#include <gtest/gtest.h>

#include <string>

using namespace velmora;

namespace {

// Whole pages, worked out by hand from the atlas layout Phaser and PixiJS
// read: the parts a one-page run of the end-to-end tests never shows (a cell
// that is its whole canvas, the bottom anchor's pivot, the list of further
// pages, a name that is no UTF-8).
TEST(SheetJson, PagesInTheAtlasLayoutByteForByte) {
  const std::string meta = R"("meta":{"app":"velmoraReelCut","version":")" VELMORA_VERSION R"(",)";
  struct Row {
    const char* what;
    SheetPage page;
    std::string json;
  };
  const Row rows[] = {
      {"one page: a whole canvas and a trimmed cell, bottom anchor",
       {"sheet.png",
        64,
        32,
        {{"walk_1.png", 2, 2, 16, 12, {0, 0, 16, 12}, 16, 12, 0.5, 1.0},
         {"walk_2.png", 20, 2, 10, 8, {3, 2, 13, 10}, 16, 12, 0.5, 1.0}},
        {{"walk", {"walk_1.png", "walk_2.png"}}},
        {}},
       R"({"frames":{"walk_1.png":{"frame":{"x":2,"y":2,"w":16,"h":12},"rotated":false,"trimmed":false,)"
       R"("spriteSourceSize":{"x":0,"y":0,"w":16,"h":12},"sourceSize":{"w":16,"h":12},)"
       R"("pivot":{"x":0.5,"y":1.0},"anchor":{"x":0.5,"y":1.0}},)"
       R"("walk_2.png":{"frame":{"x":20,"y":2,"w":10,"h":8},"rotated":false,"trimmed":true,)"
       R"("spriteSourceSize":{"x":3,"y":2,"w":10,"h":8},"sourceSize":{"w":16,"h":12},)"
       R"("pivot":{"x":0.5,"y":1.0},"anchor":{"x":0.5,"y":1.0}}},)"
       R"("animations":{"walk":["walk_1.png","walk_2.png"]},)" +
           meta + R"("image":"sheet.png","format":"RGBA8888","size":{"w":64,"h":32},"scale":"1"}})" + "\n"},
      {"the first of three pages names the others; a name's invalid byte becomes U+FFFD",
       {"sheet.png",
        8,
        8,
        {{"run\xff\"1\".png", 2, 2, 3, 4, {1, 0, 4, 4}, 4, 4, 0.5, 0.5}},
        {{"run\xff", {"run\xff\"1\".png"}}},
        {"sheet-2.json", "sheet-3.json"}},
       R"({"frames":{"run)" "\xef\xbf\xbd" R"(\"1\".png":{"frame":{"x":2,"y":2,"w":3,"h":4},"rotated":false,)"
       R"("trimmed":true,"spriteSourceSize":{"x":1,"y":0,"w":3,"h":4},"sourceSize":{"w":4,"h":4},)"
       R"("pivot":{"x":0.5,"y":0.5},"anchor":{"x":0.5,"y":0.5}}},)"
       R"("animations":{"run)" "\xef\xbf\xbd" R"(":["run)" "\xef\xbf\xbd" R"(\"1\".png"]},)" +
           meta + R"("image":"sheet.png","format":"RGBA8888","size":{"w":8,"h":8},"scale":"1",)"
                  R"("related_multi_packs":["sheet-2.json","sheet-3.json"]}})" + "\n"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(sheetJson(row.page), row.json) << row.what;
  }
}

}  // namespace
