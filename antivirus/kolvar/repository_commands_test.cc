// The repository commands in one process: the list with virus names, missing copies and copies
// that the index lost, restore and delete by number, entries whose protected copy has gone, and
// adopt.
#include "antivirus/kolvar/repository_commands.h"

#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/text.h"
#include "scan_engine/virus_details.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

class RepositoryCommandsTest : public ::testing::Test {
 protected:
  RepositoryCommandsTest() : paths_(InstallPathsOf(u"\\Program Files\\Kolvar\\")) {
    device_.MakeFolder(paths_.quarantine_folder);
    VirusDetailRecord alpha;
    MakeVirusDetailRecord(7, u"Alpha", u"", u"", &alpha);
    EXPECT_TRUE(WriteVirusDetails(paths_.virus_details, {alpha}));
  }

  // Quarantines a file as a scan does (which records it).
  void Quarantine(std::u16string_view folder, std::u16string_view name, uint32_t virus) {
    device_.WriteFile(std::u16string(folder) + u"\\" + std::u16string(name), "content");
    Repository repository(paths_.quarantine_folder, paths_.repository_index);
    ASSERT_TRUE(repository.Quarantine(folder, name, virus, nullptr));
  }
  static std::string Today() {
    return platform::Utf16ToUtf8(RepositoryDate(platform::CurrentUtcTime()));
  }

  UserNotice notice() {
    return [this](std::u16string_view text, uint32_t) { notices_.emplace_back(text); };
  }
  size_t IndexEntries() { return device_.ReadFile(paths_.repository_index).size() / 1076; }

  testing::TestDevice device_;
  InstallPaths paths_;
  std::vector<std::u16string> notices_;
};

TEST_F(RepositoryCommandsTest, ListShowsEveryEntryInIndexOrder) {
  Quarantine(u"\\Docs", u"a.exe", 7);
  Quarantine(u"\\", u"b.txt", 99);
  device_.WriteFile(paths_.quarantine_folder + u"\\unrelated.avq", "x");
  platform::SetFileAttributes(paths_.quarantine_folder + u"\\%_%@%b.txt.avq", 0);
  platform::DeleteFile(paths_.quarantine_folder + u"\\%_%@%b.txt.avq");

  const CommandResult text = QuarantineList(paths_, false, notice());
  EXPECT_EQ(text.exit_status, kExitClean);
  EXPECT_EQ(text.output,
            "Repository: 2 files\n"
            "  #  File Name        Virus  Since       Location  VirusID\n"
            "  1  a.exe            Alpha  " + Today() + "  \\Docs     7\n"
            "  2  b.txt (missing)         " + Today() + "  \\         99\n");
  const CommandResult json = QuarantineList(paths_, true, notice());
  EXPECT_NE(json.output.find("\"quarantined_as\": "
                             "\"\\\\Program Files\\\\Kolvar\\\\Quarantine\\\\%_Docs%@%a.exe.avq\""),
            std::string::npos)
      << json.output;
  EXPECT_NE(json.output.find("\"present\": false"), std::string::npos);
  EXPECT_TRUE(notices_.empty());
}

TEST_F(RepositoryCommandsTest, RestoreAndDeleteTakeTheEntryOutOfTheIndex) {
  Quarantine(u"\\Docs", u"a.exe", 7);
  Quarantine(u"\\Docs", u"b.exe", 7);
  const CommandResult restored = QuarantineRestore(paths_, 2, notice());
  EXPECT_EQ(restored.exit_status, kExitClean);
  EXPECT_EQ(restored.output, "Restored \\Docs\\b.exe\n");
  EXPECT_EQ(device_.ReadFile(u"\\Docs\\b.exe"), "content");
  EXPECT_EQ(IndexEntries(), 1u);

  const CommandResult deleted = QuarantineDelete(paths_, 1, notice());
  EXPECT_EQ(deleted.exit_status, kExitClean);
  EXPECT_FALSE(device_.Exists(paths_.quarantine_folder + u"\\%_Docs%@%a.exe.avq"));
  EXPECT_FALSE(device_.Exists(paths_.repository_index));
  EXPECT_TRUE(notices_.empty());
}

TEST_F(RepositoryCommandsTest, EntryWithoutItsProtectedCopyStaysUntilDeleted) {
  Quarantine(u"\\Docs", u"a.exe", 7);
  platform::SetFileAttributes(paths_.quarantine_folder + u"\\%_Docs%@%a.exe.avq", 0);
  platform::DeleteFile(paths_.quarantine_folder + u"\\%_Docs%@%a.exe.avq");
  EXPECT_EQ(QuarantineRestore(paths_, 1, notice()).exit_status, kExitError);
  EXPECT_EQ(IndexEntries(), 1u);
  ASSERT_EQ(notices_.size(), 1u);
  EXPECT_EQ(notices_[0],
            u"The file '\\Docs\\a.exe' could not be restored: its protected copy "
            u"'\\Program Files\\Kolvar\\Quarantine\\%_Docs%@%a.exe.avq' is missing.\n"
            u"The entry stays in the repository.");
  // Deleting an entry whose copy is gone only takes it out of the index.
  EXPECT_EQ(QuarantineDelete(paths_, 1, notice()).exit_status, kExitClean);
  EXPECT_FALSE(device_.Exists(paths_.repository_index));
}

TEST_F(RepositoryCommandsTest, ListShowsCopiesTheIndexLostAndAdoptListsThemAgain) {
  Quarantine(u"\\Docs", u"a.exe", 7);
  Quarantine(u"\\Docs", u"b.exe", 7);
  device_.WriteFile(paths_.repository_index, device_.ReadFile(paths_.repository_index).substr(0, 1076));
  const CommandResult listed = QuarantineList(paths_, false, notice());
  EXPECT_NE(listed.output.find("Repository: 1 file\n"), std::string::npos) << listed.output;
  EXPECT_NE(listed.output.find("Not listed in the index (1); 'kolvar quarantine adopt' lists them "
                               "again:\n  \\Program Files\\Kolvar\\Quarantine\\%_Docs%@%b.exe.avq "
                               "(from \\Docs\\b.exe)\n"),
            std::string::npos)
      << listed.output;
  const CommandResult json = QuarantineList(paths_, true, notice());
  EXPECT_NE(json.output.find("\"unlisted\": [\n    {\n      \"quarantined_as\": "), std::string::npos)
      << json.output;

  const CommandResult adopted = QuarantineAdopt(paths_, notice());
  EXPECT_EQ(adopted.exit_status, kExitClean);
  EXPECT_EQ(adopted.output, "Listed 1 protected file again in the repository.\n");
  EXPECT_EQ(IndexEntries(), 2u);
  EXPECT_EQ(QuarantineList(paths_, false, notice()).output.find("Not listed"), std::string::npos);
  EXPECT_EQ(QuarantineRestore(paths_, 2, notice()).exit_status, kExitClean);
  EXPECT_EQ(device_.ReadFile(u"\\Docs\\b.exe"), "content");
  EXPECT_TRUE(notices_.empty());
}

TEST_F(RepositoryCommandsTest, UnreadableIndexIsAnError) {
  device_.MakeFolder(paths_.repository_index);  // a folder where the index should be
  const CommandResult result = QuarantineList(paths_, false, notice());
  EXPECT_EQ(result.exit_status, kExitError);
  ASSERT_EQ(notices_.size(), 1u);
  EXPECT_NE(notices_[0].find(u"cannot be read"), std::u16string::npos);
}

}  // namespace
}  // namespace kolvar
