// FileReplacement in one process: the target is replaced whole or not at all, and no twin stays
// behind whatever step fails. Killed writers are covered across programs in tests/files.
#include "common/file_replacement.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"
#include "tests/testing/file_size_limit.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

constexpr char16_t kTarget[] = u"\\Windows\\target.dat";
constexpr char16_t kTwin[] = u"\\Windows\\target.dat.new";

class FileReplacementTest : public ::testing::Test {
 protected:
  testing::TestDevice device_;
};

TEST_F(FileReplacementTest, CommitReplacesTheTargetAndLeavesNoTwin) {
  device_.WriteFile(kTarget, "old contents");
  {
    FileReplacement replacement(kTarget);
    ASSERT_TRUE(replacement.opened());
    ASSERT_TRUE(replacement.Write("new ", 4));
    ASSERT_TRUE(replacement.WriteRecord(uint32_t{0x34333231}));
    EXPECT_EQ(device_.ReadFile(kTarget), "old contents") << "untouched until the commit";
    ASSERT_TRUE(replacement.Commit());
  }
  EXPECT_EQ(device_.ReadFile(kTarget), "new 1234");
  EXPECT_FALSE(device_.Exists(kTwin));

  // A missing target is created; an empty replacement gives an empty file.
  ASSERT_TRUE(ReplaceFileContents(u"\\Windows\\fresh.dat", "x", 1));
  EXPECT_EQ(device_.ReadFile(u"\\Windows\\fresh.dat"), "x");
  ASSERT_TRUE(ReplaceFileContents(kTarget, nullptr, 0));
  EXPECT_EQ(device_.ReadFile(kTarget), "");
}

TEST_F(FileReplacementTest, TwinOfAKilledWriterIsWrittenOver) {
  device_.WriteFile(kTarget, "old");
  device_.WriteFile(kTwin, "a much longer leftover of a writer that was killed");
  ASSERT_TRUE(ReplaceFileContents(kTarget, "new", 3));
  EXPECT_EQ(device_.ReadFile(kTarget), "new");
  EXPECT_FALSE(device_.Exists(kTwin));
}

TEST_F(FileReplacementTest, FailedOrAbandonedReplacementKeepsTheTarget) {
  device_.WriteFile(kTarget, "old contents");
  {
    FileReplacement abandoned(kTarget);
    ASSERT_TRUE(abandoned.Write("half", 4));
  }
  EXPECT_EQ(device_.ReadFile(kTarget), "old contents");
  EXPECT_FALSE(device_.Exists(kTwin));

  {
    // A full disk: the write fails with 112, later steps do nothing, the error stays.
    const std::string big(256 * 1024, 'n');
    testing::FileSizeLimit limit(64 * 1024);
    FileReplacement replacement(kTarget);
    EXPECT_FALSE(replacement.Write(big.data(), big.size()));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorDiskFull);
    EXPECT_FALSE(replacement.Write("more", 4));
    EXPECT_FALSE(replacement.Commit());
    EXPECT_EQ(platform::GetLastError(), platform::kErrorDiskFull);
  }
  EXPECT_EQ(device_.ReadFile(kTarget), "old contents");
  EXPECT_FALSE(device_.Exists(kTwin));

  // The twin cannot be made: its folder is missing.
  {
    FileReplacement replacement(u"\\Missing\\target.dat");
    EXPECT_FALSE(replacement.opened());
    EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
    EXPECT_FALSE(replacement.Write("x", 1));
    EXPECT_FALSE(replacement.Commit());
    EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
  }

  // The rename fails: a folder stands at the target.
  device_.MakeFolder(u"\\Windows\\folder.dat");
  EXPECT_FALSE(ReplaceFileContents(u"\\Windows\\folder.dat", "x", 1));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
  EXPECT_FALSE(device_.Exists(u"\\Windows\\folder.dat.new"));
}

}  // namespace
}  // namespace kolvar
