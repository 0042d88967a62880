// Cut scan results traced back to their files: a single file that fits gives the whole path,
// several or none leave the entry cut and marked, and the search keeps to what the scanner would
// have tested (no links, no empty files, no other scan folder).
#include "antivirus/cut_paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/path.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;

// 120 characters of folders below "\Deep": with a name of one more folder the folder field is cut.
const std::u16string kDeep =
    u"\\Deep\\" + std::u16string(60, u'a') + u"\\" + std::u16string(53, u'b');

class CutPathsTest : public ::testing::Test {
 protected:
  CutPathsTest() : paths_(InstallPathsOf(u"\\Program Files\\Kolvar")) {}

  // The report entry of a result record for the file, as the front end reads it back.
  ReportEntry EntryOf(std::u16string_view folder, std::u16string_view name) {
    InfectionList list;
    const InfectionRecord record = list.Append(folder, name, 0, 1, kActionNone).record;
    return EntriesFromResults({record}, paths_).front();
  }

  ReportEntry Resolved(std::u16string_view folder, std::u16string_view name,
                       std::u16string_view scan_folder = u"\\") {
    std::vector<ReportEntry> entries = {EntryOf(folder, name)};
    ResolveCutPaths(entries, scan_folder, paths_);
    return entries.front();
  }

  testing::TestDevice device_;
  InstallPaths paths_;
};

TEST_F(CutPathsTest, OneFittingFileGivesTheWholePath) {
  const struct {
    std::u16string folder;
    std::u16string name;
    std::u16string scan_folder;
  } cases[] = {
      {kDeep + u"\\the folder that is cut", u"eicar.com", u"\\"},
      {kDeep + u"\\the folder that is cut", u"eicar.com", u"\\Deep"},
      {u"\\Short", std::u16string(140, u'n') + u".com", u"\\"},  // only the name is cut
      {kDeep + u"\\cut\\and deeper still", std::u16string(100, u'n') + u".txt", u"\\Deep"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.folder.begin(), c.folder.end()));
    device_.WriteFile(platform::JoinPath(c.folder, c.name), "infected");
    const ReportEntry entry = Resolved(c.folder, c.name, c.scan_folder);
    EXPECT_TRUE(entry.whole_path);
    EXPECT_TRUE(entry.path_resolved);
    EXPECT_EQ(entry.folder, c.folder);
    EXPECT_EQ(entry.file_name, c.name);
    EXPECT_EQ(entry.MarkedPath(), entry.Path());
    EXPECT_EQ(CutPathNote(entry), "");
    fs::remove_all(device_.Host(c.folder));
  }
}

TEST_F(CutPathsTest, NoneOrSeveralFittingFilesLeaveTheEntryCutAndMarked) {
  const std::u16string first = kDeep + u"\\the folder that is cut, first";
  const std::u16string second = kDeep + u"\\the folder that is cut, second";
  const ReportEntry missing = Resolved(first, u"eicar.com");
  EXPECT_FALSE(missing.whole_path);
  EXPECT_EQ(missing.cut_matches, 0u);
  EXPECT_NE(CutPathNote(missing).find("no file fits"), std::string::npos);

  device_.WriteFile(platform::JoinPath(first, u"eicar.com"), "infected");
  device_.WriteFile(platform::JoinPath(second, u"eicar.com"), "infected too");
  const ReportEntry ambiguous = Resolved(first, u"eicar.com");
  EXPECT_FALSE(ambiguous.whole_path);
  EXPECT_FALSE(ambiguous.path_resolved);
  EXPECT_EQ(ambiguous.cut_matches, 2u);
  EXPECT_NE(CutPathNote(ambiguous).find("2 files fit"), std::string::npos);
  // The mark stands where the folder lost its characters; the path shown names no real folder.
  const std::u16string marked = ambiguous.MarkedPath();
  EXPECT_EQ(marked, first.substr(0, 127) + u"…\\eicar.com");
  EXPECT_FALSE(device_.Exists(ambiguous.Path()));

  // Scanning the first folder alone, only its file could have been found.
  const ReportEntry within = Resolved(first, u"eicar.com", first.substr(0, first.size()));
  EXPECT_TRUE(within.whole_path);
  EXPECT_EQ(within.folder, first);
}

TEST_F(CutPathsTest, FilesTheScannerWouldNotTestAreNoCandidates) {
  const std::u16string folder = kDeep + u"\\the folder that is cut";
  device_.WriteFile(platform::JoinPath(folder, u"eicar.com"), "infected");
  // Beside it: the same name through a link and empty; and a name whose extension is too long
  // for the file-type rule.
  device_.MakeFolder(kDeep + u"\\the folder that is cut as well");
  fs::create_directory_symlink(device_.Host(folder),
                               device_.Host(kDeep + u"\\the folder that is cut, linked"));
  device_.WriteFile(platform::JoinPath(kDeep + u"\\the folder that is cut, empty", u"eicar.com"),
                    "");
  const ReportEntry entry = Resolved(folder, u"eicar.com");
  EXPECT_TRUE(entry.whole_path) << entry.cut_matches;
  EXPECT_EQ(entry.folder, folder);

  const std::u16string long_extension = std::u16string(130, u'n') + u".abcdefghijklmnop";
  device_.WriteFile(platform::JoinPath(u"\\Short", long_extension), "infected");
  EXPECT_FALSE(Resolved(u"\\Short", long_extension).whole_path);
}

TEST_F(CutPathsTest, WholeRecordsAndBackgroundDetectionsAreLeftAsTheyAre) {
  device_.WriteFile(u"\\Short\\eicar.com", "infected");
  std::vector<ReportEntry> entries = {EntryOf(u"\\Short", u"eicar.com")};
  ReportEntry background;
  background.source = ReportSource::kBackgroundDetection;
  background.folder = u"\\Short";
  background.file_name = u"eicar.com";
  entries.push_back(background);
  ResolveCutPaths(entries, u"\\", paths_);
  for (const ReportEntry& entry : entries) {
    EXPECT_TRUE(entry.whole_path);
    EXPECT_FALSE(entry.path_resolved);
    EXPECT_EQ(entry.Path(), u"\\Short\\eicar.com");
  }
}

}  // namespace
}  // namespace kolvar
