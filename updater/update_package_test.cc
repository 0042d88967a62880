// The package manifest decides where files are written on the device: the names and folders it
// accepts, the ones it refuses, and its text read back.
#include "updater/update_package.h"

#include <gtest/gtest.h>

namespace kolvar::updater {
namespace {

TEST(UpdatePackageTest, FoldersMustStartWithAMacroAndStayBelowIt) {
  const struct {
    std::u16string folder;
    bool accepted;
  } cases[] = {
      {u"#program#", true},
      {u"#temp#\\KVUpdate", true},
      {u"#windows#\\AppMgr\\Sub Folder", true},
      {u"#personal#\\Kolvar", true},
      {u"#program#\\..\\..\\Windows", false},
      {u"#program#\\.", false},
      {u"#program#\\", false},
      {u"#program#\\a\\\\b", false},
      {u"#program#KVUpdate", false},
      {u"#program#\\a/b", false},
      {u"#other#\\x", false},
      {u"\\Windows", false},
      {u"/etc", false},
      {u"C:\\Windows", false},
      {u"", false},
      {u"#temp#\\a:b", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsMacroFolder(c.folder), c.accepted) << std::string(c.folder.begin(), c.folder.end());
  }
}

TEST(UpdatePackageTest, PathsOfFilesToLoadAndDeleteNeverClimbOut) {
  const struct {
    std::u16string path;
    bool accepted;
  } cases[] = {
      {u"#temp#\\KVUpdate\\kvmupdrules.so", true},
      {u"\\Windows\\kvmupdrules.so", true},
      {u"#temp#\\..\\Program Files\\Kolvar\\KVVirusDB.dat", false},
      {u"\\Windows\\..\\My Documents\\thesis.doc", false},
      {u"\\", false},
      {u"kvmupdrules.so", false},
      {u"/usr/lib/librules.so", false},
      {u"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsConfinedPath(c.path), c.accepted) << std::string(c.path.begin(), c.path.end());
  }
}

TEST(UpdatePackageTest, FileNamesArePlainAndFitAKey) {
  EXPECT_TRUE(IsPlainFileName("KVVirusDB.dat"));
  EXPECT_TRUE(IsPlainFileName(std::string(31, 'a')));
  EXPECT_FALSE(IsPlainFileName(std::string(32, 'a')));
  for (const char* name :
       {"", ".", "..", "..\\x", "a/b", "a\\b", "a:b", "a*", "a?", "a\tb", "\xff\xfe"}) {
    EXPECT_FALSE(IsPlainFileName(name)) << name;
  }
}

TEST(UpdatePackageTest, ManifestReadsBackAndRefusesBadLines) {
  const std::vector<ManifestEntry> entries = {{"KVVirusDB.dat", u"#program#"},
                                              {"kvmupdrules.so", u"#temp#\\KVUpdate"}};
  std::vector<ManifestEntry> read;
  std::string error;
  ASSERT_TRUE(ParseManifest(ManifestText(entries), &read, &error)) << error;
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[1].name, "kvmupdrules.so");
  EXPECT_EQ(read[1].destination_folder, u"#temp#\\KVUpdate");

  ASSERT_TRUE(ParseManifest("KVPACKAGE 1\r\n# comment\r\n\r\na.dat\t#temp#\r\n", &read, &error))
      << error;
  EXPECT_EQ(read.size(), 1u);

  const struct {
    const char* text;
    const char* reason;
  } refused[] = {
      {"", "empty"},
      {"KVPACKAGE 2\na\t#temp#\n", "line 1"},
      {"KVPACKAGE 1\na #temp#\n", "NAME<TAB>FOLDER"},
      {"KVPACKAGE 1\na\t#temp#\na\t#program#\n", "twice"},
      {"KVPACKAGE 1\n..\\a\t#temp#\n", "plain file name"},
      {"KVPACKAGE 1\na\t#temp#\\..\n", "folder"},
      {"KVPACKAGE 1\nkvpackage.txt\t#temp#\n", "itself"},
  };
  for (const auto& c : refused) {
    read = entries;
    EXPECT_FALSE(ParseManifest(c.text, &read, &error)) << c.text;
    EXPECT_TRUE(read.empty()) << c.text;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << ": " << error;
  }
}

}  // namespace
}  // namespace kolvar::updater
