// Folder queries on a device image.
#include "common/folders.h"

#include <gtest/gtest.h>

#include "common/status.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

class FolderQueryTest : public ::testing::Test {
 protected:
  kolvar::testing::TestDevice device_;
  FolderQuery query_;
};

TEST_F(FolderQueryTest, SpecialFoldersOfDeviceImage) {
  struct Case {
    bool (FolderQuery::*query)(std::u16string*);
    std::u16string_view expected;
  };
  const Case cases[] = {
      {&FolderQuery::DocumentsFolder, u"\\My Documents"},
      {&FolderQuery::StartupFolder, u"\\Windows\\StartUp"},
      {&FolderQuery::WindowsFolder, u"\\Windows"},
      {&FolderQuery::ProgramFilesFolder, u"\\Program Files"},
      {&FolderQuery::TempFolder, u"\\Temp\\"},
  };
  for (const Case& c : cases) {
    std::u16string folder;
    EXPECT_TRUE((query_.*c.query)(&folder));
    EXPECT_EQ(folder, c.expected);
    EXPECT_EQ(query_.GetStatus(), kStatusOk);
  }
}

TEST_F(FolderQueryTest, RunningProgramOutsideDeviceFails) {
  // The test program runs from the build tree, outside this device image.
  std::u16string folder = u"stale";
  EXPECT_FALSE(query_.RunningProgramFolder(&folder));
  EXPECT_EQ(query_.GetStatus(), kStatusFolderQueryFailed);
  EXPECT_TRUE(folder.empty());
  EXPECT_FALSE(query_.DocumentsFolder(nullptr));
  EXPECT_EQ(query_.GetStatus(), kStatusBadArgument);
}

TEST_F(FolderQueryTest, ExistsTellsFilesFromFolders) {
  device_.WriteFile(u"\\My Documents\\note.txt", "x");
  struct Case {
    std::u16string_view path;
    bool file, folder;
  };
  const Case cases[] = {
      {u"\\My Documents\\note.txt", true, false},
      {u"\\My Documents", false, true},
      {u"\\My Documents\\missing.txt", false, false},
      {u"", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(query_.FileExists(c.path), c.file);
    EXPECT_EQ(query_.FolderExists(c.path), c.folder);
  }
}

}  // namespace
}  // namespace kolvar
