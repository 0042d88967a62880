// The update history and the virus list over a device image: the history file's lines (across
// read blocks, with carriage returns, without a final line feed, bytes that are no text), the
// history dialog's rows and menu, the results of Back and closing (also the about dialog's), and
// the virus list's rows, description, status line and what it shows of a missing or damaged detail
// file.
#include "antivirus/history_dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "antivirus/about_dialog.h"
#include "antivirus/command_ids.h"
#include "antivirus/history_file.h"
#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "platform/text.h"
#include "scan_engine/virus_details.h"
#include "tests/testing/test_device.h"
#include "ui/testing/recording_host.h"

namespace kolvar {
namespace {

using namespace commands;

class HistoryTest : public ::testing::Test {
 protected:
  HistoryTest() : paths_(InstallPathsOf(u"\\Program Files\\Kolvar")) {
    device_.MakeFolder(paths_.quarantine_folder);
  }

  std::vector<std::u16string> Lines() {
    std::vector<std::u16string> lines;
    EXPECT_TRUE(ReadHistoryLines(paths_.history, &lines));
    return lines;
  }

  static std::vector<std::u16string> Column(ui::ListModel& list, size_t column) {
    std::vector<std::u16string> cells;
    for (int row = 0; row < list.size(); ++row) cells.push_back(list.Cell(row, column));
    return cells;
  }

  void WriteDetails(const std::vector<VirusDetailRecord>& records, const std::string& tail = "") {
    std::string bytes(reinterpret_cast<const char*>(records.data()),
                      records.size() * sizeof(VirusDetailRecord));
    device_.WriteFile(paths_.virus_details, bytes + tail);
  }

  static VirusDetailRecord Detail(uint32_t id, std::u16string_view name,
                                  std::u16string_view description) {
    VirusDetailRecord record;
    MakeVirusDetailRecord(id, name, description, u"Delete it.", &record);
    return record;
  }

  testing::TestDevice device_;
  InstallPaths paths_;
  ui::testing::RecordingHost host_;
};

TEST_F(HistoryTest, HistoryLinesAsTheFileHoldsThem) {
  const struct {
    std::string bytes;
    std::vector<std::u16string> lines;
  } cases[] = {
      {"", {}},
      {"3.0 installed\n", {u"3.0 installed"}},
      {"one\r\ntwo\r\n", {u"one", u"two"}},
      {"one\n\nthree", {u"one", u"", u"three"}},  // the last line lacks its line feed
      {"caf\xc3\xa9 \xff\n", {u"caf\u00e9 \ufffd"}},
  };
  for (const auto& c : cases) {
    device_.WriteFile(paths_.history, c.bytes);
    EXPECT_EQ(Lines(), c.lines) << c.bytes;
  }
  std::vector<std::u16string> lines;
  EXPECT_TRUE(ReadHistoryLines(u"\\Program Files\\Kolvar\\missing.upd", &lines));
  EXPECT_TRUE(lines.empty());
}

// Lines of a file larger than a read block come once and whole, also the one across the block's
// end.
TEST_F(HistoryTest, LinesAcrossReadBlocksComeWhole) {
  std::string bytes;
  std::vector<std::u16string> expected;
  for (int index = 0; bytes.size() < 3 * 8192; ++index) {
    const std::string line = "Update " + std::to_string(index) + std::string(37 + index % 50, '.');
    bytes += line + "\n";
    expected.push_back(std::u16string(line.begin(), line.end()));
  }
  device_.WriteFile(paths_.history, bytes);
  EXPECT_EQ(Lines(), expected);
}

TEST_F(HistoryTest, HistoryDialogRowsMenuAndVirusList) {
  device_.WriteFile(paths_.history, "3.0.1 12/10/2026\n3.0.2 13/10/2026\n");
  HistoryDialog history(paths_, nullptr);
  host_.Show(history);
  EXPECT_EQ(history.title(), u"History");
  ASSERT_EQ(history.list().columns().size(), 1u);
  EXPECT_EQ(history.list().columns()[0].title, u"History");
  EXPECT_EQ(history.list().columns()[0].width, 350);
  EXPECT_EQ(
      Column(history.list(), 0),
      (std::vector<std::u16string>{u"Version/Update History", u"-----------------------------",
                                   u"3.0.1 12/10/2026", u"3.0.2 13/10/2026"}));
  EXPECT_EQ(history.list().selected(), 0);
  EXPECT_EQ(history.focus(), history_controls::kList);
  history.OnMenuOpening(ui::SoftKeySide::kLeft);
  EXPECT_TRUE(history.soft_keys().left.menu.IsGreyed(kUpdateNow)) << "no update dialog yet";
  EXPECT_FALSE(history.soft_keys().left.menu.IsGreyed(kVirusDatabase));
  history.OnCommand(kVirusDatabase);
  EXPECT_EQ(host_.modal_titles(), std::vector<std::u16string>{u"Virus Database"});
  history.OnCommand(kHistoryDone);
  EXPECT_TRUE(history.ended());

  // With an update dialog plugged in, "Update Now" runs it over the history, which stays open
  // unless the main program is ending after the update (a download completed).
  for (const bool ending : {false, true}) {
    int updates = 0;
    HistoryDialog plugged(paths_, nullptr, [&](ui::Dialog& owner) {
      EXPECT_EQ(&owner, &plugged);
      ++updates;
      return ending;
    });
    host_.Show(plugged);
    plugged.OnMenuOpening(ui::SoftKeySide::kLeft);
    EXPECT_FALSE(plugged.soft_keys().left.menu.IsGreyed(kUpdateNow));
    plugged.OnCommand(kUpdateNow);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(plugged.ended(), ending);
  }
}

TEST_F(HistoryTest, MissingHistoryShowsTheHeadingsOnly) {
  HistoryDialog history(paths_, nullptr);
  host_.Show(history);
  EXPECT_EQ(history.list().size(), 2);
  EXPECT_TRUE(host_.boxes().empty());
}

TEST_F(HistoryTest, VirusListShowsEveryRecordAndTheSelectedDescription) {
  WriteDetails({Detail(1001, u"Kolvar.Test.Exe", u"A test program."),
                Detail(1003, u"Kolvar.Test.Text", u"A test text."),
                Detail(1001, u"Kolvar.Test.Exe.B", u"The same id again.")});
  std::unique_ptr<ConfigurationFile> configuration;
  ASSERT_TRUE(OpenConfiguration(false, &configuration));
  VirusListDialog viruses(paths_, configuration.get());
  host_.Show(viruses);
  EXPECT_EQ(viruses.title(), u"Virus Database");
  EXPECT_EQ(viruses.list().columns()[0].title, u"Virus List");
  EXPECT_EQ(viruses.list().columns()[1].title, u"Detail");
  EXPECT_EQ(
      Column(viruses.list(), 0),
      (std::vector<std::u16string>{u"Kolvar.Test.Exe", u"Kolvar.Test.Text", u"Kolvar.Test.Exe.B"}));
  EXPECT_EQ(viruses.description_text(), u"A test program.");
  viruses.list().Select(2);
  EXPECT_EQ(viruses.description_text(), u"The same id again.");
  EXPECT_EQ(viruses.status_text(), u"Last Update: (none)");

  // The action key moves between the list and the description.
  EXPECT_EQ(viruses.focus(), virus_list_controls::kList);
  viruses.OnCommand(ui::kCommandOk);
  EXPECT_EQ(viruses.focus(), virus_list_controls::kDescription);
  viruses.OnCommand(ui::kCommandOk);
  EXPECT_EQ(viruses.focus(), virus_list_controls::kList);

  const std::u16string time = u"10/12/2026 17:20";
  ASSERT_TRUE(configuration->store().SetValue(config_keys::kLastUpdateTime, kConfigTypeText,
                                              static_cast<uint32_t>(time.size() * 2), time.data(),
                                              config_keys::kUpdates));
  ASSERT_TRUE(configuration->Save());
  VirusListDialog updated(paths_, configuration.get());
  host_.Show(updated);
  EXPECT_EQ(updated.status_text(), u"Last Update: 10/12/2026 17:20");
  updated.OnCommand(kDone);
  EXPECT_TRUE(updated.ended());
}

// The read-only dialogs end with result 1 on the Back key and with 0 when their window is
// closed, whatever they show.
TEST_F(HistoryTest, BackEndsWithOneAndClosingWithZero) {
  device_.WriteFile(paths_.history, "3.0.1 installed\n");
  WriteDetails({Detail(1, u"One", u"First.")});
  const std::function<std::unique_ptr<ui::Dialog>()> dialogs[] = {
      [&] { return std::make_unique<HistoryDialog>(paths_, nullptr); },
      [&] { return std::make_unique<VirusListDialog>(paths_, nullptr); },
      [&] { return std::make_unique<AboutDialog>(AboutFacts{}); },
  };
  for (const auto& make : dialogs) {
    for (const bool back : {true, false}) {
      std::unique_ptr<ui::Dialog> dialog = make();
      host_.Show(*dialog);
      if (back) {
        dialog->OnBack();
      } else {
        dialog->OnClose();
      }
      EXPECT_TRUE(dialog->ended()) << platform::Utf16ToUtf8(dialog->title());
      EXPECT_EQ(dialog->result(), back ? ui::kResultBack : ui::kResultOk)
          << platform::Utf16ToUtf8(dialog->title());
    }
  }
  EXPECT_TRUE(host_.boxes().empty());
}

// A detail file cut inside a record, or missing, shows its whole records (or none) and says so in
// the status line; nothing hangs and no box comes up.
TEST_F(HistoryTest, DamagedOrMissingDetailFileShowsWhatItCanAndSaysSo) {
  const struct {
    bool write;
    std::string tail;
    int rows;
    const char16_t* said;
  } cases[] = {
      {true, std::string(100, 'x'), 2, u"its last 100 bytes are no whole record"},
      {true, "", 2, nullptr},
      {false, "", 0, u"is missing"},
  };
  for (const auto& c : cases) {
    if (c.write) {
      WriteDetails({Detail(1, u"One", u"First."), Detail(2, u"Two", u"Second.")}, c.tail);
    } else {
      device_.WriteFile(paths_.virus_details, "");
      std::remove(device_.Host(paths_.virus_details).c_str());
    }
    VirusListDialog viruses(paths_, nullptr);
    host_.Show(viruses);
    EXPECT_EQ(viruses.list().size(), c.rows);
    if (c.said != nullptr) {
      EXPECT_NE(viruses.status_text().find(c.said), std::u16string::npos) << c.rows;
    } else {
      EXPECT_EQ(viruses.status_text(), u"Last Update: (none)");
    }
  }
  EXPECT_TRUE(host_.boxes().empty());
}

}  // namespace
}  // namespace kolvar
