#include "frame_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

Names select(const Names& listed) {
  corvane::hlist<corvane::htext> listing;
  for (const std::string& name : listed) listing.push_back(name);
  Names selected;
  for (const char* name : velmora::selectFrames(listing)) selected.push_back(name);
  return selected;
}

std::string show(const Names& names) {
  std::string text;
  for (const std::string& name : names) text += "[" + name + "]";
  return text;
}

TEST(SelectFrames, TakesLowerCasePngNamesInFoldedNameOrder) {
  const struct {
    Names listed;
    Names frames;
  } cases[] = {
      {{"c.png", "B.png", "a.png"}, {"a.png", "B.png", "c.png"}},
      // '_' lies above the letters, '-' and digits below them.
      {{"walk_b.png", "walkA.png", "walk-c.png", "walk1.png"},
       {"walk-c.png", "walk1.png", "walkA.png", "walk_b.png"}},
      {{"frame_2.png", "frame_10.png", "frame_01.png"},
       {"frame_01.png", "frame_10.png", "frame_2.png"}},
      // Equal but for case: plain byte order, upper case first.
      {{"a.png", "A.png", "ab.png", "AB.png", "aB.png"},
       {"A.png", "a.png", "AB.png", "aB.png", "ab.png"}},
      {{"x.PNG", ".png", "y.png.bak", "z.Png"}, {".png"}},
      // Bytes above 127 are compared unsigned and never folded.
      {{"\xc3\xa9.png", "z.png", "Z.png"}, {"Z.png", "z.png", "\xc3\xa9.png"}},
      {{}, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(show(select(c.listed)), show(c.frames)) << "listing " << show(c.listed);
  }
}

}  // namespace
