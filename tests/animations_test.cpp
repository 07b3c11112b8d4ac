#include "run/animations.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(StemOf, DropsTheLastDigitRunAndOneSeparatorBeforeIt) {
  const std::pair<const char*, const char*> rows[] = {
      {"arbiter-blade-s-4.png", "arbiter-blade-s"},
      {"walk_0001.png", "walk"},
      {"idle.png", "idle"},
      {"walk 12.png", "walk"},
      {"walk.3.png", "walk"},
      {"walk12.png", "walk"},
      {"sky-fly-3-upstroke.png", "sky-fly-upstroke"},  // the last run, wherever it lies
      {"a1b22.png", "a1b"},
      {"a--2.png", "a-"},  // one separator only
      {"7.png", ""},
      {"-7.png", ""},
      {"x.png.png", "x.png"},
  };
  for (const auto& [name, stem] : rows) EXPECT_EQ(velmora::stemOf(name), stem) << name;
}

TEST(OutputSegment, NamesOneFolderAndNoOther) {
  const std::pair<const char*, const char*> rows[] = {
      {"walk", "walk"}, {"a\\..\\b", "a_.._b"}, {"", "_"}, {".", "_."}, {"..", "_.."}, {"..a", "..a"}};
  for (const auto& [name, segment] : rows) EXPECT_EQ(velmora::outputSegment(name), segment) << name;
}

}  // namespace
