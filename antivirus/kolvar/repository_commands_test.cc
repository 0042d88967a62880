// The repository commands in one process: the list with virus names and missing copies, restore
// and delete by number, and entries whose protected copy has gone.
#include "antivirus/kolvar/repository_commands.h"

#include <gtest/gtest.h>

#include "platform/file.h"
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

  // Quarantines a file as a scan does and records it.
  void Quarantine(std::u16string_view folder, std::u16string_view name, uint32_t virus) {
    device_.WriteFile(std::u16string(folder) + u"\\" + std::u16string(name), "content");
    QuarantineCipher cipher;
    ASSERT_EQ(QuarantineFile(cipher, paths_.quarantine_folder, folder, name, false, nullptr),
              QuarantineOutcome::kProtected);
    RepositoryRecord record;
    ASSERT_TRUE(MakeRepositoryRecord(virus, folder, name, u"05/03/2007", &record));
    ASSERT_TRUE(AppendRepositoryRecords(paths_.repository_index, {record}, nullptr));
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
            "  1  a.exe            Alpha  05/03/2007  \\Docs     7\n"
            "  2  b.txt (missing)         05/03/2007  \\         99\n");
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

TEST_F(RepositoryCommandsTest, EntryWithoutItsProtectedCopy) {
  Quarantine(u"\\Docs", u"a.exe", 7);
  Quarantine(u"\\Docs", u"b.exe", 7);
  for (const char16_t* name : {u"\\%_Docs%@%a.exe.avq", u"\\%_Docs%@%b.exe.avq"}) {
    platform::SetFileAttributes(paths_.quarantine_folder + name, 0);
    platform::DeleteFile(paths_.quarantine_folder + name);
  }
  // b.exe's plain copy lies in the quarantine folder (its protection failed): the entry stays.
  device_.WriteFile(paths_.quarantine_folder + u"\\%_Docs%@%b.exe", "content");
  EXPECT_EQ(QuarantineRestore(paths_, 2, notice()).exit_status, kExitError);
  EXPECT_EQ(IndexEntries(), 2u);
  // a.exe has nothing left: the entry goes.
  EXPECT_EQ(QuarantineRestore(paths_, 1, notice()).exit_status, kExitError);
  EXPECT_EQ(IndexEntries(), 1u);
  ASSERT_EQ(notices_.size(), 2u);
  EXPECT_EQ(notices_[1], u"The file '\\Docs\\a.exe' could not be restored.(2)");
  // Deleting an entry whose copy is gone only takes it out of the index.
  EXPECT_EQ(QuarantineDelete(paths_, 1, notice()).exit_status, kExitClean);
  EXPECT_FALSE(device_.Exists(paths_.repository_index));
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
