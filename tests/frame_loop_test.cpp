#include "run/frame_loop.h"

#include <FreeImage.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "image/frame_loader.h"
#include "test_support.h"

using namespace velmora;
using namespace testing_support;

namespace {

class WriteCroppedFrames : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(mkdir(out.file("autocropped").c_str(), 0700), 0); }

  // A 4x4 frame whose pixel (1, 1) carries the tag in its red component.
  void frame(const std::string& name, uint8_t tag) {
    ASSERT_TRUE(writeRgbaPng(in.file(name), 4, 4, [tag](int x, int y) {
      return x == 1 && y == 1 ? Rgba{tag, 0, 0, 255} : Rgba{0, 0, 0, 0};
    }));
    names.push_back(name);
  }

  // The frames not written; reported holds each frame's place as the loop
  // handed it over, which must be list order.
  int write(const std::string& output, const CropRect& rect = {0, 0, 16, 16}) {
    FrameList frames;
    for (const std::string& n : names) frames.push_back(n.c_str());
    reported.clear();
    results = writeCroppedFrames(frames, in.path(), output, rect, LoopOptions(),
                                 [&](unsigned k, const FrameResult&) { reported.push_back(k); });
    EXPECT_EQ(results.size(), frames.size());
    std::vector<unsigned> inOrder(frames.size());
    for (unsigned k = 0; k < inOrder.size(); ++k) inOrder[k] = k;
    EXPECT_EQ(reported, inOrder);
    return int(std::count_if(results.begin(), results.end(),
                             [](const FrameResult& r) { return !r.status.ok(); }));
  }

  // The tag of a written frame, after checking its size and fill.
  int tagOf(const std::string& file) {
    FIBITMAP* image = FreeImage_Load(FIF_PNG, out.file("autocropped/" + file).c_str(), PNG_DEFAULT);
    if (image == nullptr) return -1;
    int tag = -2;
    if (FreeImage_GetWidth(image) == 16 && FreeImage_GetHeight(image) == 16 &&
        FreeImage_GetBPP(image) == 32) {
      const Rgba corner = pixelAt(image, 15, 15);  // beyond the frame: opaque black
      if (corner.r == 0 && corner.g == 0 && corner.b == 0 && corner.a == 255) {
        tag = pixelAt(image, 1, 1).r;
      }
    }
    FreeImage_Unload(image);
    return tag;
  }

  ScopedTempDir in, out;
  std::vector<std::string> names;
  std::vector<unsigned> reported;
  std::vector<FrameResult> results;
};

TEST_F(WriteCroppedFrames, NumbersTheFramesInListOrder) {
  frame("c.png", 30);
  frame("a.png", 10);
  frame("b.png", 20);
  writeFile(out.file("autocropped/out_00001.png"), "stale");
  EXPECT_EQ(write(out.file("autocropped")), 0);
  EXPECT_EQ(folderNames(out.file("autocropped")),
            (std::vector<std::string>{"out_00001.png", "out_00002.png", "out_00003.png"}));
  EXPECT_EQ(tagOf("out_00001.png"), 30);
  EXPECT_EQ(tagOf("out_00002.png"), 10);
  EXPECT_EQ(tagOf("out_00003.png"), 20);
}

TEST_F(WriteCroppedFrames, OutputPathEndingInASlash) {
  frame("only.png", 5);
  EXPECT_EQ(write(out.file("autocropped") + "/"), 0);
  EXPECT_EQ(folderNames(out.file("autocropped")), std::vector<std::string>{"out_00001.png"});
  EXPECT_EQ(tagOf("out_00001.png"), 5);
}

TEST_F(WriteCroppedFrames, UnloadableFrameIsReportedAndKeepsItsNumber) {
  frame("a.png", 10);
  writeFile(in.file("x.png"), "not a picture\n");
  names.push_back("x.png");
  frame("c.png", 30);
  EXPECT_EQ(write(out.file("autocropped")), 1);
  EXPECT_EQ(results[1].status.code(), Status::Code::unreadable);
  EXPECT_EQ(results[1].status.reason(), kNotPng);
  EXPECT_EQ(folderNames(out.file("autocropped")),
            (std::vector<std::string>{"out_00001.png", "out_00003.png"}));
  EXPECT_EQ(tagOf("out_00003.png"), 30);
}

TEST_F(WriteCroppedFrames, FailedRenameLeavesNoTemporaryFile) {
  frame("a.png", 10);
  ASSERT_EQ(mkdir(out.file("autocropped/out_00001.png").c_str(), 0700), 0);
  writeFile(out.file("autocropped/out_00001.png/keep"), "x");
  EXPECT_EQ(write(out.file("autocropped")), 1);
  EXPECT_EQ(results[0].status.code(), Status::Code::notSaved);
#ifndef _WIN32
  EXPECT_EQ(results[0].status.reason(), "Is a directory");
#else
  EXPECT_NE(results[0].status.reason(), "");
#endif
  EXPECT_EQ(folderNames(out.file("autocropped")), std::vector<std::string>{"out_00001.png"});
  EXPECT_EQ(folderNames(out.file("autocropped/out_00001.png")), std::vector<std::string>{"keep"});
}

}  // namespace
