// Windows test binary: FreeImage is linked statically and registers its format
// plugins only through FreeImage_Initialise, which the tool's wmain calls. The
// unit tests call FreeImage directly, so they get the same registration here,
// once for the whole run.
#include <FreeImage.h>
#include <gtest/gtest.h>

namespace {

class FreeImageEnvironment : public testing::Environment {
 public:
  void SetUp() override { FreeImage_Initialise(FALSE); }
  void TearDown() override { FreeImage_DeInitialise(); }
};

const testing::Environment* const kFreeImage =
    testing::AddGlobalTestEnvironment(new FreeImageEnvironment);

}  // namespace
