#include "image/frame_loader.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "image/image.h"
#include "png_bytes.h"
#include "test_support.h"

using testing_support::ScopedTempDir;
using testing_support::writeFile;
namespace pb = png_bytes;

namespace {

// The POSIX build alone has run these (the Windows build leaves out the
// end-to-end file they stood in before); under Wine they are yet to be tried.
#ifndef _WIN32
// A frame rewritten in place between its header check and its decoding is
// refused, not decoded past the bound it passed; a small one was read whole
// when it was opened and decodes as checked.
TEST(FrameSource, FrameRewrittenAfterItsHeaderWasReadIsNotDecoded) {
  ScopedTempDir dir;
  const std::string path = dir.file("f.png");
  const std::string larger = pb::encode(pb::patterned(64, 64, pb::kRgba, 8, false));
  for (const size_t comment : {size_t(100), velmora::kWholeFileBytes + 65536}) {
    SCOPED_TRACE(comment);
    // A long comment before the pixels takes the file past the size read
    // whole, so the decoding has to read the file again.
    std::string small = pb::encode(pb::patterned(4, 4, pb::kRgba, 8, false));
    small.insert(33, pb::chunk("tEXt", std::string("Comment") + '\0' + std::string(comment, 'c')));
    writeFile(path, small);
    velmora::FrameSource source = velmora::FrameSource::open(path);
    ASSERT_TRUE(source.status().ok());
    EXPECT_EQ(source.width(), 4u);

    FILE* same = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(same, nullptr);
    ASSERT_EQ(std::fwrite(larger.data(), 1, larger.size(), same), larger.size());
    std::fclose(same);

    const velmora::Image image = source.decode();
    if (comment > velmora::kWholeFileBytes) {
      EXPECT_EQ(image, nullptr);
      EXPECT_EQ(source.status().code(), velmora::Status::Code::unreadable);
      EXPECT_EQ(source.status().reason(), velmora::kChangedWhileRead);
    } else {
      ASSERT_NE(image, nullptr);
      EXPECT_EQ(FreeImage_GetWidth(image.get()), 4u);
    }
  }
}

// The files on either side of the size read whole: one of exactly that size
// is read into memory, one byte more is read from the open file; both decode.
TEST(FrameSource, FramesAtAndJustPastTheWholeReadSizeDecode) {
  ScopedTempDir dir;
  const std::string path = dir.file("f.png");
  const std::string frame = pb::encode(pb::patterned(4, 4, pb::kRgba, 8, false));
  for (const size_t total : {velmora::kWholeFileBytes, velmora::kWholeFileBytes + 1}) {
    SCOPED_TRACE(total);
    std::string padded = frame;
    const size_t text = total - frame.size() - 12 - 8;  // chunk frame, "Comment" and its NUL
    padded.insert(33, pb::chunk("tEXt", std::string("Comment") + '\0' + std::string(text, 'c')));
    ASSERT_EQ(padded.size(), total);
    writeFile(path, padded);
    velmora::FrameSource source = velmora::FrameSource::open(path);
    ASSERT_TRUE(source.status().ok());
    const velmora::Image image = source.decode();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(FreeImage_GetWidth(image.get()), 4u);
  }
}
#endif

}  // namespace
