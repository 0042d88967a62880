// The folder guard and the emptying of folders, in a device image of their own.
#include "setup/folder_cleanup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/testing/test_device.h"

namespace kolvar::setup {
namespace {

namespace fs = std::filesystem;

struct GuardCase {
  const char* name;
  const char16_t* folder;
  bool is_protected;
};

class FolderGuardTest : public ::testing::TestWithParam<GuardCase> {
 protected:
  testing::TestDevice device_;
};

TEST_P(FolderGuardTest, KeepsTheDevicesOwnFolders) {
  device_.MakeFolder(u"\\Program Files\\Kolvar");
  device_.MakeFolder(u"\\Windows\\Kolvar");
  EXPECT_EQ(IsProtectedFolder(GetParam().folder), GetParam().is_protected);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FolderGuardTest,
    ::testing::Values(GuardCase{"Root", u"\\", true}, GuardCase{"DoubledRoot", u"\\\\", true},
                      GuardCase{"Windows", u"\\Windows", true},
                      GuardCase{"WindowsWithSeparator", u"\\Windows\\", true},
                      GuardCase{"WindowsInCapitals", u"\\WINDOWS", true},
                      GuardCase{"InsideWindows", u"\\Windows\\Kolvar", true},
                      GuardCase{"Startup", u"\\Windows\\StartUp", true},
                      GuardCase{"Documents", u"\\My Documents\\", true},
                      GuardCase{"DocumentsInSmallLetters", u"\\my documents", true},
                      GuardCase{"ProgramFiles", u"\\Program Files", true},
                      GuardCase{"Temp", u"\\Temp", true},
                      GuardCase{"UpToTheRoot", u"\\Program Files\\..", true},
                      GuardCase{"Installation", u"\\Program Files\\Kolvar", false},
                      GuardCase{"InstallationWithSeparator", u"\\Program Files\\Kolvar\\", false},
                      GuardCase{"StorageCard", u"\\Storage Card\\Kolvar", false}),
    [](const ::testing::TestParamInfo<GuardCase>& info) { return std::string(info.param.name); });

class EmptyFolderTest : public ::testing::Test {
 protected:
  testing::TestDevice device_;
};

TEST_F(EmptyFolderTest, RemovesEverythingBelowAndKeepsTheFolder) {
  device_.WriteFile(u"\\Program Files\\Kolvar\\a.dat", "a");
  device_.WriteFile(u"\\Program Files\\Kolvar\\Quarantine\\x.avq", "x");
  device_.WriteFile(u"\\Program Files\\Kolvar\\Quarantine\\deep\\y.avq", "y");
  fs::permissions(device_.Host(u"\\Program Files\\Kolvar\\a.dat"), fs::perms::owner_read,
                  fs::perm_options::replace);
  // A link to the user's documents: removed itself, never followed.
  device_.WriteFile(u"\\My Documents\\letter.txt", "keep me");
  fs::create_directory_symlink(device_.Host(u"\\My Documents"),
                               device_.Host(u"\\Program Files\\Kolvar\\docs"));

  EXPECT_EQ(CountFiles(u"\\Program Files\\Kolvar"), 3u);
  EmptyFolder(u"\\Program Files\\Kolvar\\");

  EXPECT_TRUE(fs::is_directory(device_.Host(u"\\Program Files\\Kolvar")));
  EXPECT_TRUE(fs::is_empty(device_.Host(u"\\Program Files\\Kolvar")));
  EXPECT_EQ(device_.ReadFile(u"\\My Documents\\letter.txt"), "keep me");
}

TEST_F(EmptyFolderTest, LeavesAProtectedFolderAlone) {
  device_.WriteFile(u"\\My Documents\\letter.txt", "keep me");
  device_.WriteFile(u"\\Windows\\system.ini", "[boot]");
  for (const char16_t* folder : {u"\\My Documents", u"\\Windows\\", u"\\", u"\\Program Files"}) {
    EmptyFolder(folder);
  }
  EXPECT_EQ(device_.ReadFile(u"\\My Documents\\letter.txt"), "keep me");
  EXPECT_EQ(device_.ReadFile(u"\\Windows\\system.ini"), "[boot]");
}

TEST_F(EmptyFolderTest, SuiteProgramsMarkAnInstallationFolder) {
  EXPECT_FALSE(HoldsSuitePrograms(u"\\Program Files\\Kolvar"));
  device_.WriteFile(u"\\Program Files\\Kolvar\\kvipcsrv", "");
  EXPECT_FALSE(HoldsSuitePrograms(u"\\Program Files\\Kolvar"));
  device_.WriteFile(u"\\Program Files\\Kolvar\\KVBkgScan", "");
  EXPECT_TRUE(HoldsSuitePrograms(u"\\Program Files\\Kolvar"));
}

}  // namespace
}  // namespace kolvar::setup
