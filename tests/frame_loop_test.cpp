#include "run/frame_loop.h"
#include "run/sheet_layout.h"

#include <FreeImage.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <climits>
#include <csignal>
#include <string>
#include <vector>

#include "host/file_save.h"
#include "image/frame_crop.h"
#include "image/frame_loader.h"
#include "test_support.h"

using namespace velmora;
using namespace testing_support;

namespace {

TEST(IsRectValid, Table) {
  const std::pair<CropRect, bool> rows[] = {
      {{-1, -1, 0, 0}, false},  // what the scan gives for frames with nothing visible
      {{10, 20, 110, 70}, true},
      {{0, 0, 1, 1}, true},
      {{-1, 0, 10, 10}, false},
      {{0, -1, 10, 10}, false},
      {{5, 0, 5, 10}, false},
      {{0, 5, 10, 5}, false},
      {{6, 0, 5, 10}, false},
      {{0, 0, 0, 10}, false},
      {{0, 0, 10, 0}, false},
      {{-5, 0, 0, 10}, false},
      {{0, -3, 20, 20}, true},
      {{-3, -2, 20, 20}, true},
      // Rectangles near the limits: invalid, and tested without overflow.
      {{0, 0, INT_MAX, 16}, false},
      {{0, 0, 16, INT_MAX}, false},
      {{-2147483000, 0, 2147483000, 16}, false},
      {{INT_MIN, 0, 16, 16}, false},
      {{0, INT_MIN, 16, 16}, false},
      {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, false},
      {{INT_MAX - 1, 0, INT_MAX, 16}, false},  // widened maxX would pass INT_MAX
      {{0, 0, INT_MAX - 15, 16}, true},        // already a multiple of 16
      {{0, 0, INT_MAX - 14, 16}, false},
      {{1, 0, INT_MAX - 14, 16}, true},
      {{16, 0, INT_MAX, 16}, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(isRectValid(row.first), row.second) << str(row.first);
  }
}

TEST(CorrectRectSize, GrowsRightAndDownToMultiplesOfTheAlignment) {
  struct Row {
    CropRect from;
    unsigned align;
    CropRect to;
  };
  const Row rows[] = {
      {{0, 0, 100, 50}, 16, {0, 0, 112, 64}},
      {{10, 20, 110, 70}, 16, {10, 20, 122, 84}},
      {{5, 7, 6, 8}, 16, {5, 7, 21, 23}},
      {{3, 4, 19, 20}, 16, {3, 4, 19, 20}},
      {{3, 4, 20, 21}, 16, {3, 4, 35, 36}},
      {{0, -3, 20, 20}, 16, {0, -3, 32, 29}},
      {{0, 0, INT_MAX - 15, 16}, 16, {0, 0, INT_MAX - 15, 16}},
      {{1, 0, INT_MAX - 14, 1}, 16, {1, 0, INT_MAX - 14, 16}},
      {{10, 20, 110, 70}, 1, {10, 20, 110, 70}},
      {{10, 20, 110, 70}, 3, {10, 20, 112, 71}},
      {{10, 20, 110, 70}, 256, {10, 20, 266, 276}},
  };
  for (const Row& row : rows) {
    CropRect rect = row.from;
    correctRectSize(rect, row.align);
    EXPECT_EQ(str(rect), str(row.to)) << "from " << str(row.from) << " to multiples of " << row.align;
  }
  // A rectangle valid at 16 can be too large to widen to 256.
  EXPECT_TRUE(isRectValid(CropRect{0, 0, INT_MAX - 15, 16}, 16));
  EXPECT_FALSE(isRectValid(CropRect{0, 0, INT_MAX - 15, 16}, 256));
}

TEST(SheetLayout, RowsPerAnimationAndPagesThatCloseBeforeTheyOverflow) {
  struct Row {
    const char* what;
    std::vector<SheetAnimation> animations;
    unsigned padding, most;
    std::vector<PageSize> pages;
    std::vector<std::vector<CellPlace>> places;
    int tooLarge;
  };
  const Row rows[] = {
      {"4 cells: 2 columns", {{10, 10, 4}}, 2, 4096, {{26, 26}},
       {{{0, 2, 2}, {0, 14, 2}, {0, 2, 14}, {0, 14, 14}}}, -1},
      {"3 cells: 2 columns, a row of one", {{10, 6, 3}}, 2, 4096, {{26, 18}},
       {{{0, 2, 2}, {0, 14, 2}, {0, 2, 10}}}, -1},
      {"a second animation starts a row of its own", {{10, 6, 1}, {4, 4, 2}}, 0, 4096, {{10, 10}},
       {{{0, 0, 0}}, {{0, 0, 6}, {0, 4, 6}}}, -1},
      {"columns fall to what a page's width holds", {{100, 10, 9}}, 2, 256, {{206, 62}},
       {{{0, 2, 2}, {0, 104, 2}, {0, 2, 14}, {0, 104, 14}, {0, 2, 26}, {0, 104, 26}, {0, 2, 38},
         {0, 104, 38}, {0, 2, 50}}},
       -1},
      {"a row that would pass the page's height starts the next page", {{100, 100, 4}, {50, 100, 1}}, 2,
       256, {{206, 206}, {54, 104}},
       {{{0, 2, 2}, {0, 104, 2}, {0, 2, 104}, {0, 104, 104}}, {{1, 2, 2}}}, -1},
      {"a long animation spans pages", {{120, 130, 4}}, 4, 256, {{252, 138}, {252, 138}},
       {{{0, 4, 4}, {0, 128, 4}, {1, 4, 4}, {1, 128, 4}}}, -1},
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

TEST(PlaceFrame, LaysASmallerFrameByTheAnchor) {
  struct Row {
    Anchor anchor;
    int64_t width, height;  // of the frame in a 10 x 7 canvas
    int x, y;
  };
  const Row rows[] = {
      {Anchor::topleft, 4, 2, 0, 0}, {Anchor::center, 4, 2, 3, 2}, {Anchor::bottom, 4, 2, 3, 5},
      {Anchor::center, 5, 4, 2, 1},  {Anchor::bottom, 5, 4, 2, 3},  {Anchor::center, 10, 7, 0, 0},
      {Anchor::bottom, 10, 7, 0, 0},  // the largest frame lies at (0, 0) whatever the anchor
  };
  for (const Row& row : rows) {
    const Offset offset = placeFrame(row.anchor, 10, 7, row.width, row.height);
    EXPECT_EQ(offset.x, row.x) << int(row.anchor) << " " << row.width << "x" << row.height;
    EXPECT_EQ(offset.y, row.y) << int(row.anchor) << " " << row.width << "x" << row.height;
  }
}

TEST(ZeroPad, FillsToTheWidthButNeverCuts) {
  const std::pair<const char*, const char*> rows[] = {
      {"7", "00007"}, {"12345", "12345"}, {"123456", "123456"}, {"", "00000"}, {"42", "00042"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(zeroPad(row.first, 5), row.second) << "\"" << row.first << "\"";
  }
}

// Each pixel tells where it came from.
Rgba source(int x, int y) {
  return Rgba{uint8_t(10 * x), uint8_t(10 * y), 77, uint8_t(100 + x + y)};
}

TEST(CropFrame, CopiesTheRectangleAndFillsBeyondTheFrameWithOpaqueBlack) {
  const int w = 8, h = 6;
  const CropRect rows[] = {
      {2, 1, 18, 17},    // beyond the right and bottom edges
      {1, 1, 5, 4},      // inside the frame: cut only
      {0, -3, 16, 13},   // black rows on top
      {-2, -3, 14, 13},  // and columns on the left
      {0, 0, 8, 6},      // the whole frame
      {10, 10, 26, 26},  // misses the frame altogether
      {0, 7, 16, 23},    // below the frame
      {-20, -20, 0, 0},  // before it
  };
  for (const CropRect& rect : rows) {
    SCOPED_TRACE(str(rect));
    Image cropped(makeRgbaImage(w, h, source));
    ASSERT_NE(cropped, nullptr);
    cropFrame(cropped, rect);
    ASSERT_NE(cropped, nullptr);
    FIBITMAP* const frame = cropped.get();
    const int cw = rect.maxX - rect.minX, ch = rect.maxY - rect.minY;
    ASSERT_EQ(int(FreeImage_GetWidth(frame)), cw);
    ASSERT_EQ(int(FreeImage_GetHeight(frame)), ch);
    ASSERT_EQ(FreeImage_GetBPP(frame), 32u);
    int wrong = 0;
    for (int y = 0; y < ch; ++y) {
      for (int x = 0; x < cw; ++x) {
        const int sx = x + rect.minX, sy = y + rect.minY;
        const Rgba want =
            sx >= 0 && sx < w && sy >= 0 && sy < h ? source(sx, sy) : Rgba{0, 0, 0, 255};
        const Rgba got = pixelAt(frame, x, y);
        if (got.r != want.r || got.g != want.g || got.b != want.b || got.a != want.a) {
          if (++wrong <= 3) ADD_FAILURE() << "pixel " << x << "," << y;
        }
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

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

// A full disk (a file size limit) and planted links are made with POSIX calls;
// the Windows build leaves these two out.
#ifndef _WIN32
// Writes beyond limit bytes fail with EFBIG for the lifetime of the object, as
// on a full disk.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t limit) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = signal(SIGXFSZ, SIG_IGN);
    const rlimit lower = {limit, saved_.rlim_max};
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &lower), 0);
  }
  ~ScopedFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_;
  void (*previous_)(int);
};

TEST(SaveFile, FailedWriteKeepsTheEarlierFileAndLeavesNothingElse) {
  ScopedTempDir out;
  const std::string target = out.file("out_00001.png");
  writeFile(target, "earlier good frame");
  const std::string png(100000, 'p');
  {
    ScopedFileSizeLimit limit(4096);
    const Status saved = saveFile(png, target);
    EXPECT_EQ(saved.code(), Status::Code::failed);
    EXPECT_EQ(saved.reason(), "File too large");
  }
  EXPECT_EQ(readFile(target), "earlier good frame");
  EXPECT_EQ(folderNames(out.path()), std::vector<std::string>{"out_00001.png"});
  EXPECT_TRUE(saveFile(png, target).ok());
  EXPECT_EQ(readFile(target), png);
  EXPECT_EQ(folderNames(out.path()), std::vector<std::string>{"out_00001.png"});
}

TEST(SaveFile, PlantedLinksAreReplacedNeverWrittenThrough) {
  ScopedTempDir out, elsewhere;
  const std::string victim = elsewhere.file("victim.txt");
  writeFile(victim, "not yours");
  // At the final name, and at the name the temporary file once had.
  ASSERT_EQ(symlink(victim.c_str(), out.file("out_00001.png").c_str()), 0);
  ASSERT_EQ(symlink(victim.c_str(), out.file("out_00001.png.part").c_str()), 0);
  EXPECT_TRUE(saveFile("frame bytes", out.file("out_00001.png")).ok());
  EXPECT_EQ(readFile(victim), "not yours");
  struct stat info;
  ASSERT_EQ(lstat(out.file("out_00001.png").c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(readFile(out.file("out_00001.png")), "frame bytes");
  EXPECT_EQ(folderNames(out.path()),
            (std::vector<std::string>{"out_00001.png", "out_00001.png.part"}));
}
#endif

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
