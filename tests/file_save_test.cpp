#include "host/file_save.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

#include <string>
#include <vector>

#include "test_support.h"

using namespace velmora;
using namespace testing_support;

namespace {

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

}  // namespace
