// The repository dialog over a device image: its rows and columns, the greyed actions of an empty
// list, restore and delete through the quarantine repository (the file back byte for byte, the
// entry out of the index, the index gone with its last entry), a failed action that keeps its
// row, and a second process that quarantines files while the dialog acts, whose records all stay.
#include "antivirus/repository_dialog.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "antivirus/command_ids.h"
#include "antivirus/string_table.h"
#include "common/message_text.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "scan_engine/repository.h"
#include "scan_engine/scan_records.h"
#include "scan_engine/virus_details.h"
#include "tests/testing/test_device.h"
#include "ui/testing/recording_host.h"

namespace kolvar {
namespace {

using namespace commands;
namespace columns = repository_columns;

class RepositoryDialogTest : public ::testing::Test {
 protected:
  RepositoryDialogTest()
      : paths_(InstallPathsOf(u"\\Program Files\\Kolvar")),
        repository_(paths_.quarantine_folder, paths_.repository_index) {
    device_.MakeFolder(paths_.quarantine_folder);
    VirusDetailRecord alpha;
    MakeVirusDetailRecord(7, u"Alpha", u"About alpha", u"Delete it", &alpha);
    // A second record of the same id: the first one names the virus.
    VirusDetailRecord again;
    MakeVirusDetailRecord(7, u"Alpha again", u"", u"", &again);
    EXPECT_TRUE(WriteVirusDetails(paths_.virus_details, {alpha, again}));
  }

  // Plants a file and moves it into the quarantine.
  void Quarantine(std::u16string_view folder, std::u16string_view name, const std::string& bytes,
                  uint32_t virus_id) {
    device_.WriteFile(std::u16string(folder) + u"\\" + std::u16string(name), bytes);
    ASSERT_TRUE(repository_.Quarantine(folder, name, virus_id, nullptr));
  }

  std::vector<RepositoryRecord> Index() {
    std::vector<RepositoryRecord> records;
    EXPECT_TRUE(ReadRepositoryIndex(paths_.repository_index, &records));
    return records;
  }

  static std::vector<std::u16string> Names(const std::vector<RepositoryRecord>& records) {
    std::vector<std::u16string> names;
    for (const RepositoryRecord& record : records) {
      names.emplace_back(WideField(record.file_name));
    }
    return names;
  }

  static std::vector<std::u16string> Column(RepositoryDialog& dialog, size_t column) {
    std::vector<std::u16string> cells;
    for (int row = 0; row < dialog.list().size(); ++row) {
      cells.push_back(dialog.list().Cell(row, column));
    }
    return cells;
  }

  testing::TestDevice device_;
  InstallPaths paths_;
  Repository repository_;
  ui::testing::RecordingHost host_;
};

TEST_F(RepositoryDialogTest, RowsShowEveryEntryInIndexOrder) {
  Quarantine(u"\\Docs", u"a.exe", "alpha", 7);
  Quarantine(u"\\Card\\Sub", u"b.txt", "bravo", 4242);  // no detail record
  RepositoryDialog dialog(paths_);
  host_.Show(dialog);
  EXPECT_EQ(dialog.title(), u"Repository");
  ASSERT_EQ(dialog.list().columns().size(), 5u);
  const std::vector<std::u16string> titles = {u"File Name", u"Virus", u"Since", u"Location",
                                              u"VirusID"};
  for (size_t column = 0; column < titles.size(); ++column) {
    EXPECT_EQ(dialog.list().columns()[column].title, titles[column]);
  }
  EXPECT_EQ(dialog.list().columns()[columns::kLocation].width, 1000);
  EXPECT_EQ(Column(dialog, columns::kFileName), (std::vector<std::u16string>{u"a.exe", u"b.txt"}));
  EXPECT_EQ(Column(dialog, columns::kVirus), (std::vector<std::u16string>{u"Alpha", u""}));
  EXPECT_EQ(Column(dialog, columns::kLocation),
            (std::vector<std::u16string>{u"\\Docs", u"\\Card\\Sub"}));
  EXPECT_EQ(Column(dialog, columns::kVirusId), (std::vector<std::u16string>{u"7", u"4242"}));
  const std::u16string since = dialog.list().Cell(0, columns::kSince);
  EXPECT_EQ(since.size(), 10u);
  EXPECT_EQ(since[2], u'/');
  EXPECT_EQ(dialog.list().selected(), 0);
  EXPECT_EQ(dialog.focus(), repository_controls::kList);
  EXPECT_EQ(dialog.soft_keys().left.menu.items()[0].text, u"Delete File");
  EXPECT_EQ(dialog.soft_keys().left.menu.items()[1].text, u"Restore File");
  EXPECT_EQ(dialog.soft_keys().right.text, u"Done");
  dialog.OnMenuOpening(ui::SoftKeySide::kLeft);
  EXPECT_FALSE(dialog.soft_keys().left.menu.IsGreyed(kRestoreFile));
  EXPECT_TRUE(host_.boxes().empty());
}

// A missing index and an empty one both show an empty list with both actions grey, and say
// nothing; the actions do nothing.
TEST_F(RepositoryDialogTest, EmptyOrMissingIndexGreysBothActions) {
  for (bool exists : {false, true}) {
    if (exists) device_.WriteFile(paths_.repository_index, "");
    RepositoryDialog dialog(paths_);
    host_.Show(dialog);
    EXPECT_TRUE(dialog.list().empty());
    EXPECT_FALSE(dialog.list().HasSelection());
    dialog.OnMenuOpening(ui::SoftKeySide::kLeft);
    EXPECT_TRUE(dialog.soft_keys().left.menu.IsGreyed(kDeleteFile)) << exists;
    EXPECT_TRUE(dialog.soft_keys().left.menu.IsGreyed(kRestoreFile)) << exists;
    dialog.OnCommand(kRestoreFile);
    dialog.OnCommand(kDeleteFile);
    EXPECT_TRUE(host_.boxes().empty());
    EXPECT_FALSE(dialog.ended());
  }
}

TEST_F(RepositoryDialogTest, RestoreAndDeleteTakeTheEntryOutAndTheLastOneTheIndex) {
  const std::string bytes("restored\0bytes\xff", 15);
  Quarantine(u"\\Docs", u"a.exe", bytes, 7);
  Quarantine(u"\\Docs", u"b.exe", "bravo", 9);
  const std::u16string protected_b = repository_.ProtectedPathOf(Index()[1]);
  RepositoryDialog dialog(paths_);
  host_.Show(dialog);

  dialog.OnCommand(kRestoreFile);  // row 0
  EXPECT_EQ(device_.ReadFile(u"\\Docs\\a.exe"), bytes);
  EXPECT_EQ(Names(Index()), std::vector<std::u16string>{u"b.exe"});
  EXPECT_EQ(Column(dialog, columns::kFileName), std::vector<std::u16string>{u"b.exe"});
  EXPECT_EQ(dialog.list().selected(), 0);

  dialog.OnCommand(kDeleteFile);
  EXPECT_FALSE(device_.Exists(protected_b));
  EXPECT_FALSE(device_.Exists(u"\\Docs\\b.exe"));
  EXPECT_FALSE(device_.Exists(paths_.repository_index)) << "the last entry takes the index along";
  EXPECT_TRUE(dialog.list().empty());
  EXPECT_TRUE(host_.boxes().empty()) << platform::Utf16ToUtf8(host_.box_texts()[0]);
  dialog.OnCommand(kRepositoryDone);
  EXPECT_TRUE(dialog.ended());
  EXPECT_EQ(dialog.result(), ui::kResultOk);
}

// A restore that cannot be done is told in a box captioned "Repository"; its row and its entry
// stay, as does the file that occupies the home path. The other entries are written back as they
// were, byte for byte, also one whose virus id has no detail record.
TEST_F(RepositoryDialogTest, FailedRestoreKeepsItsRowAndTheOtherRecordsUnchanged) {
  Quarantine(u"\\Docs", u"a.exe", "alpha", 7);
  Quarantine(u"\\Docs", u"b.exe", "bravo", 4242);
  Quarantine(u"\\Docs", u"c.exe", "charlie", 7);
  const std::vector<RepositoryRecord> before = Index();
  device_.WriteFile(u"\\Docs\\a.exe", "a new file at the home path");
  RepositoryDialog dialog(paths_);
  host_.Show(dialog);

  dialog.OnCommand(kRestoreFile);
  ASSERT_EQ(host_.boxes().size(), 1u);
  EXPECT_EQ(host_.boxes()[0].caption, u"Repository");
  EXPECT_NE(host_.boxes()[0].text.find(u"\\Docs\\a.exe"), std::u16string::npos);
  EXPECT_EQ(host_.boxes()[0].style & platform::kMbIconError, platform::kMbIconError);
  EXPECT_EQ(device_.ReadFile(u"\\Docs\\a.exe"), "a new file at the home path");
  EXPECT_EQ(dialog.list().size(), 3);
  EXPECT_EQ(dialog.list().selected(), 0);

  dialog.list().Select(2);
  dialog.OnCommand(kDeleteFile);
  const std::vector<RepositoryRecord> after = Index();
  ASSERT_EQ(after.size(), 2u);
  for (size_t index = 0; index < after.size(); ++index) {
    EXPECT_EQ(std::memcmp(&after[index], &before[index], sizeof(RepositoryRecord)), 0) << index;
  }
  EXPECT_EQ(dialog.list().selected(), 1) << "the selection stays at the end of the list";
}

TEST_F(RepositoryDialogTest, RestoreWithoutItsProtectedCopyIsToldAndKeepsTheRow) {
  Quarantine(u"\\Docs", u"a.exe", "alpha", 7);
  ASSERT_TRUE(std::filesystem::remove(device_.Host(repository_.ProtectedPathOf(Index()[0]))));
  RepositoryDialog dialog(paths_);
  host_.Show(dialog);
  dialog.OnCommand(kRestoreFile);
  ASSERT_EQ(host_.boxes().size(), 1u);
  EXPECT_EQ(dialog.list().size(), 1);
  // Deleting the entry of a copy that is gone takes the entry out.
  host_.ClearBoxes();
  dialog.OnCommand(kDeleteFile);
  EXPECT_TRUE(dialog.list().empty());
  EXPECT_TRUE(host_.boxes().empty());
}

// While the dialog restores and deletes its rows, another process quarantines files (as a scan
// that ends meanwhile does): every record of the other process stays in the index, and the list
// shows them after the dialog's next action.
TEST_F(RepositoryDialogTest, RecordsWrittenByAnotherProcessMeanwhileAreKept) {
  constexpr int kOwnRows = 6;
  constexpr int kOtherFiles = 12;
  for (int index = 0; index < kOwnRows; ++index) {
    Quarantine(u"\\Docs", u"own" + DecimalText(index) + u".exe", "own", 7);
  }
  for (int index = 0; index < kOtherFiles; ++index) {
    device_.WriteFile(u"\\Scan\\other" + DecimalText(index) + u".exe", "other");
  }
  RepositoryDialog dialog(paths_);
  host_.Show(dialog);
  ASSERT_EQ(dialog.list().size(), kOwnRows);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Repository scanner(paths_.quarantine_folder, paths_.repository_index);
    for (int index = 0; index < kOtherFiles; ++index) {
      if (!scanner.Quarantine(u"\\Scan", u"other" + DecimalText(index) + u".exe", 7, nullptr)) {
        _exit(1);
      }
    }
    _exit(0);
  }
  for (int index = 0; index < kOwnRows; ++index) {
    dialog.list().Select(0);  // the own rows come first, the other process appends
    ASSERT_TRUE(dialog.list().Cell(0, columns::kFileName).starts_with(u"own"));
    dialog.OnCommand(index % 2 == 0 ? kRestoreFile : kDeleteFile);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  std::vector<std::u16string> expected;
  for (int index = 0; index < kOtherFiles; ++index) {
    expected.push_back(u"other" + DecimalText(index) + u".exe");
  }
  EXPECT_EQ(Names(Index()), expected);
  for (int index = 0; index < kOwnRows; index += 2) {
    EXPECT_TRUE(device_.Exists(u"\\Docs\\own" + DecimalText(index) + u".exe")) << index;
  }
  RepositoryDialog reopened(paths_);
  host_.Show(reopened);
  EXPECT_EQ(Column(reopened, columns::kFileName), expected);
  EXPECT_TRUE(host_.boxes().empty()) << platform::Utf16ToUtf8(host_.box_texts()[0]);
}

TEST_F(RepositoryDialogTest, BackEndsWithResultOne) {
  RepositoryDialog dialog(paths_);
  host_.Show(dialog);
  dialog.OnBack();
  EXPECT_TRUE(dialog.ended());
  EXPECT_EQ(dialog.result(), ui::kResultBack);
}

}  // namespace
}  // namespace kolvar
