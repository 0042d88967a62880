// The scan folder as a device path or a host path below the device root.
#include "antivirus/kolvar/scan_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

TEST(ScanFolder, DeviceAndHostPathsOfExistingFolders) {
  testing::TestDevice device;
  device.MakeFolder(u"\\My Documents\\Letters");
  device.WriteFile(u"\\My Documents\\a.txt", "x");
  const struct {
    std::optional<std::string> given;
    std::u16string folder;  // empty: refused
    std::string problem_part;
  } cases[] = {
      {std::nullopt, u"\\", ""},
      {"\\My Documents\\Letters\\", u"\\My Documents\\Letters", ""},
      {device.root() + "/My Documents", u"\\My Documents", ""},
      {device.root(), u"\\", ""},
      {"\\Nowhere", u"", "there is no folder"},
      {"\\My Documents\\a.txt", u"", "is a file"},
      {"/", u"", "outside the device root"},
      {"\\" + std::string(300, 'x'), u"", "too long"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.given.value_or("(none)"));
    std::u16string folder;
    std::string problem;
    const bool ok = ResolveScanFolder(c.given, &folder, &problem);
    EXPECT_EQ(ok, !c.folder.empty()) << problem;
    if (ok) {
      EXPECT_EQ(folder, c.folder);
    }
    if (!ok) {
      EXPECT_NE(problem.find(c.problem_part), std::string::npos) << problem;
    }
  }
}

TEST(ScanFolder, RelativeHostPathsStartAtTheWorkingFolder) {
  testing::TestDevice device;
  device.MakeFolder(u"\\Storage Card\\Music");
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(device.Host(u"\\Storage Card").c_str()), 0);
  std::u16string folder;
  std::string problem;
  EXPECT_TRUE(ResolveScanFolder(std::string("Music"), &folder, &problem)) << problem;
  EXPECT_EQ(folder, u"\\Storage Card\\Music");
  ASSERT_EQ(chdir(saved), 0);
}

}  // namespace
}  // namespace kolvar
