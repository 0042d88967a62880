// The program's views on the offscreen platform: the texts come from the string table, keys and
// soft keys reach the dialogs' commands and menus, the report and the virus-detected dialog show
// their dialogs' state, and a picture the program lacks draws as nothing. With KOLVAR_VIEW_SHOTS
// naming a folder, each view is also saved there as a PNG, for people to look at.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <functional>

#include "antivirus/command_ids.h"
#include "antivirus/scan_dialog.h"
#include "antivirus/string_table.h"
#include "antivirus/testing/fake_scan_driver.h"
#include "antivirus/views/dialog_views.h"
#include "antivirus/views/pictures.h"
#include "antivirus/views/scan_dialog_view.h"
#include "scan_engine/repository.h"
#include "scan_engine/virus_details.h"
#include "tests/testing/test_device.h"
#include "ui/qt/fonts.h"
#include "ui/qt/message_box_view.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/soft_key_bar.h"
#include "ui/qt/testing/qt_test_application.h"

namespace kolvar::views {
namespace {

using namespace commands;
using ui::qt::ToQString;
using ui::qt::testing::ProcessEventsUntil;
using ui::qt::testing::TestApplication;
using ui::qt::testing::WhenIdle;

QString Text(uint32_t id) { return ToQString(LoadString(id)); }

void SaveShot(QWidget& window, const char* name) {
  const char* folder = getenv("KOLVAR_VIEW_SHOTS");
  if (folder == nullptr) return;
  window.grab().save(QString::fromUtf8(folder) + "/" + name + ".png");
}

// The menu that a soft key opens: its entries ("-" for a separator) and which are enabled.
struct OpenedMenu {
  std::vector<QString> items;
  std::vector<bool> enabled;
};

class ViewsTest : public ::testing::Test {
 protected:
  static ui::qt::ApplicationFonts Fonts() {
    TestApplication();
    return ui::qt::LoadApplicationFonts(2);
  }

  ViewsTest() : frame_(u"kvtest", Fonts()), main_(Services()) {
    RegisterAntivirusViews(frame_);
    frame_.ShowMain(main_);
    frame_.activateWindow();
    ProcessEventsUntil([&] { return frame_.isVisible(); });
  }

  ScanDialogServices Services() {
    ScanDialogServices services;
    services.paths = InstallPathsOf(u"\\Program Files\\Kolvar");
    services.background_scanning = [] { return false; };
    services.folder_selection = [] { return false; };
    services.make_driver = testing::FakeScanDrivers(log_);
    return services;
  }

  ScanDialogView& scan_view() { return *static_cast<ScanDialogView*>(frame_.top_view()); }

  void Key(int key) {
    QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget()
                                                             : static_cast<QWidget*>(&frame_);
    QTest::keyClick(target, static_cast<Qt::Key>(key));
  }

  // Opens a soft key's menu with its function key, reads it, and chooses `choose` (0: none).
  OpenedMenu OpenMenu(int key, uint32_t choose) {
    OpenedMenu opened;
    WhenIdle([&] {
      QMenu* menu = frame_.soft_key_bar()->open_menu();
      ASSERT_NE(menu, nullptr);
      QAction* chosen = nullptr;
      for (QAction* action : menu->actions()) {
        opened.items.push_back(action->isSeparator() ? "-" : action->text());
        opened.enabled.push_back(action->isEnabled());
        if (!action->isSeparator() && action->data().toUInt() == choose) chosen = action;
      }
      if (chosen == nullptr) {
        menu->close();
        return;
      }
      menu->setActiveAction(chosen);
      QTest::keyClick(menu, Qt::Key_Return);
    });
    Key(key);
    return opened;
  }

  testing::DriverLog log_;
  ui::qt::DialogFrame frame_;
  ScanDialog main_;
};

TEST_F(ViewsTest, ScanViewTextsComeFromTheTable) {
  ScanDialogView& view = scan_view();
  EXPECT_EQ(frame_.windowTitle(), Text(string_ids::kProgramCaption));
  EXPECT_EQ(view.label(scan_controls::kStatus)->text(), Text(string_ids::kProgramStarted));
  for (uint32_t label : {1067u, 1068u, 1069u, 1070u}) {
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("Label%1").arg(label))->text(),
              Text(TemplateText(resources::kScanTemplate, label)));
  }
  EXPECT_EQ(view.label(scan_controls::kElapsed)->text(), "00:00:00");
  EXPECT_EQ(frame_.soft_key_bar()->button(ui::SoftKeySide::kLeft)->text(), Text(kOptionsKey));
  EXPECT_EQ(frame_.soft_key_bar()->button(ui::SoftKeySide::kRight)->text(),
            Text(string_ids::kToolsKey));
  EXPECT_FALSE(view.button(kPauseButton)->isEnabled());
  EXPECT_FALSE(view.button(kStartButton)->picture().isEmpty());
  SaveShot(frame_, "main");
}

TEST_F(ViewsTest, SoftKeysOpenTheMenusAndTheChosenCommandRuns) {
  const OpenedMenu options = OpenMenu(Qt::Key_F1, kScanNow);
  EXPECT_EQ(options.items,
            (std::vector<QString>{"Scan Now", "-", "Configuration", "Repository Files", "-",
                                  "Online Update", "Update History", "-", "About", "-",
                                  "Exit Antivirus"}));
  EXPECT_EQ(main_.state(), ScanState::kScanning);
  EXPECT_EQ(scan_view().label(scan_controls::kStatus)->text(), Text(string_ids::kScanningFile));
  EXPECT_TRUE(scan_view().button(kStopButton)->isEnabled());

  const OpenedMenu tools = OpenMenu(Qt::Key_F2, 0);
  EXPECT_EQ(tools.items, (std::vector<QString>{"Processes Manager", "-", "System Information", "-",
                                               "Registry Viewer", "-", "Kolvar Scheduler"}));
  EXPECT_EQ(tools.enabled, (std::vector<bool>{false, true, false, true, false, true, true}))
      << "the three tools are grey while a scan runs";
}

TEST_F(ViewsTest, TheActionKeyPressesTheFocusedButtonAndEscapeIsBack) {
  ProcessEventsUntil([&] { return scan_view().button(kStartButton)->hasFocus(); });
  Key(Qt::Key_Return);
  EXPECT_EQ(main_.state(), ScanState::kScanning);
  EXPECT_EQ(log_.calls, (std::vector<std::string>{"start"}));
  ProcessEventsUntil([&] { return scan_view().button(kStopButton)->hasFocus(); });
  // "T" asks first; the box's Escape answers Cancel and the scan goes on.
  WhenIdle([&] {
    ASSERT_NE(frame_.open_box(), nullptr);
    EXPECT_EQ(frame_.open_box()->request().text, LoadString(string_ids::kConfirmStop));
    Key(Qt::Key_Escape);
  });
  Key(Qt::Key_Return);
  EXPECT_EQ(main_.state(), ScanState::kScanning);
  Key(Qt::Key_Escape);
  EXPECT_FALSE(main_.ended()) << "a Pocket PC's main dialog leaves the Back key alone";
}

TEST_F(ViewsTest, ACommandOfALaterDialogSaysSoInABox) {
  QString text;
  WhenIdle([&] {
    ASSERT_NE(frame_.open_box(), nullptr);
    text = ToQString(frame_.open_box()->request().text);
    SaveShot(frame_, "not_available");
    Key(Qt::Key_Return);
  });
  frame_.SendCommand(main_, kConfiguration);
  EXPECT_TRUE(text.contains("\"Configuration\"")) << text.toStdString();
  EXPECT_EQ(frame_.open_box(), nullptr);
}

TEST_F(ViewsTest, ReportViewShowsRowsAndCloseEndsAViewOnlyReport) {
  kolvar::testing::TestDevice device;
  InfectionList list;
  InstallPaths paths = InstallPathsOf(u"\\Program Files\\Kolvar");
  std::vector<ReportEntry> entries =
      EntriesFromResults({list.Append(u"\\Docs", u"a.exe", 0, 7, kActionNone).record,
                          list.Append(u"\\Card", u"b.txt", 0, 8, kActionNone).record},
                         paths);
  entries[1].action = kActionMove;
  ReportCounters counters{42, 2, 512, 0, 1, 5};
  ReportDialog report(entries, true, &counters, paths);
  QString title;
  int rows = 0;
  QString action;
  QString duration;
  WhenIdle([&] {
    auto* view = static_cast<ReportView*>(frame_.top_view());
    title = frame_.windowTitle();
    rows = view->list()->topLevelItemCount();
    action = view->list()->topLevelItem(1)->text(2);
    duration = view->label(report_controls::kDuration)->text();
    SaveShot(frame_, "report");
    Key(Qt::Key_F2);  // "Close"
  });
  frame_.RunModal(report);
  EXPECT_EQ(title, Text(string_ids::kReportTitle));
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(action, Text(string_ids::kActionMoveToRepository));
  EXPECT_EQ(duration, "00:01:05");
  EXPECT_TRUE(report.ended());
  EXPECT_EQ(frame_.top_dialog(), &main_);
}

TEST_F(ViewsTest, VirusDetectedViewShowsTheFileAndItsMenuChoosesTheAction) {
  VirusDetailRecord detail;
  MakeVirusDetailRecord(66, u"Kolvar.Test.Exe", u"A test.", u"Move it to the repository.", &detail);
  VirusDetectedDialog dialog(u"\\My Documents\\x.exe", detail);
  QString name;
  QString warning;
  WhenIdle([&] {
    auto* view = static_cast<VirusDetectedView*>(frame_.top_view());
    name = view->label(virus_controls::kVirusName)->text();
    warning = view->label(virus_controls::kWarning)->text();
    SaveShot(frame_, "virus_detected");
    const OpenedMenu menu = OpenMenu(Qt::Key_F1, kIgnoreThreat);
    EXPECT_EQ(menu.items.front(), "Delete Infected File");
  });
  frame_.RunModal(dialog);
  EXPECT_EQ(name, "Kolvar.Test.Exe");
  EXPECT_EQ(warning, Text(TemplateText(resources::kVirusDetectedTemplate, 1039)));
  EXPECT_EQ(dialog.action(), kActionIgnoreAll);
}

// The repository view lists the quarantined files; "Restore File" from the Options menu puts the
// selected one back, and "Done" closes the dialog.
TEST_F(ViewsTest, RepositoryViewRestoresTheSelectedFileByKeys) {
  kolvar::testing::TestDevice device;
  const InstallPaths paths = InstallPathsOf(u"\\Program Files\\Kolvar");
  device.MakeFolder(paths.quarantine_folder);
  device.WriteFile(u"\\Docs\\a.exe", "alpha");
  device.WriteFile(u"\\Docs\\b.exe", "bravo");
  Repository repository(paths.quarantine_folder, paths.repository_index);
  ASSERT_TRUE(repository.Quarantine(u"\\Docs", u"a.exe", 7, nullptr));
  ASSERT_TRUE(repository.Quarantine(u"\\Docs", u"b.exe", 7, nullptr));
  RepositoryDialog dialog(paths);
  QString title;
  QStringList headers;
  int rows = 0;
  int rows_after = 0;
  OpenedMenu menu;
  WhenIdle([&] {
    auto* view = static_cast<RepositoryView*>(frame_.top_view());
    title = frame_.windowTitle();
    rows = view->list()->topLevelItemCount();
    for (int column = 0; column < view->list()->columnCount(); ++column) {
      headers << view->list()->headerItem()->text(column);
    }
    SaveShot(frame_, "repository");
    ProcessEventsUntil([&] { return view->list()->hasFocus(); });
    Key(Qt::Key_Down);  // the second row
    menu = OpenMenu(Qt::Key_F1, kRestoreFile);
    rows_after = view->list()->topLevelItemCount();
    Key(Qt::Key_F2);  // "Done"
  });
  frame_.RunModal(dialog);
  EXPECT_EQ(title, "Repository");
  EXPECT_EQ(headers, (QStringList{"File Name", "Virus", "Since", "Location", "VirusID"}));
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(menu.items, (std::vector<QString>{"Delete File", "Restore File"}));
  EXPECT_EQ(rows_after, 1);
  EXPECT_EQ(device.ReadFile(u"\\Docs\\b.exe"), "bravo");
  EXPECT_FALSE(device.Exists(u"\\Docs\\a.exe"));
  EXPECT_TRUE(dialog.ended());
  EXPECT_EQ(dialog.result(), ui::kResultOk);
}

// The configuration view's boxes follow the dialog: the action key ticks the focused box, ticking
// background scanning greys the folder selection, and "Cancel" (F2) ends the dialog.
TEST_F(ViewsTest, ConfigViewTicksBoxesByKeys) {
  ConfigDialog dialog(nullptr, InstallPathsOf(u"\\Program Files\\Kolvar"));
  dialog.Load();
  QString label;
  bool splash_before = false;
  bool splash_after = true;
  bool folder_enabled = true;
  WhenIdle([&] {
    auto* view = static_cast<ConfigView*>(frame_.top_view());
    label = view->box(config_controls::kAutoStartup)->text();
    ProcessEventsUntil([&] { return view->box(config_controls::kSplashScreen)->hasFocus(); });
    splash_before = view->box(config_controls::kSplashScreen)->isChecked();
    Key(Qt::Key_Return);
    splash_after = view->box(config_controls::kSplashScreen)->isChecked();
    view->box(config_controls::kBackgroundScanning)->click();
    folder_enabled = view->box(config_controls::kFolderSelection)->isEnabled();
    SaveShot(frame_, "configuration");
    Key(Qt::Key_F2);  // "Cancel"
  });
  frame_.RunModal(dialog);
  EXPECT_EQ(label, "Start Program with Windows");
  EXPECT_TRUE(splash_before);
  EXPECT_FALSE(splash_after);
  EXPECT_FALSE(folder_enabled);
  EXPECT_TRUE(dialog.ended());
  EXPECT_TRUE(dialog.settings().splash_screen) << "Cancel keeps the settings";
}

// The history lists its file's lines; "Virus Database" from its menu opens the virus list, whose
// description follows the selection moved by the arrow keys, and whose description box gives the
// focus back to the list on Up at its first line.
TEST_F(ViewsTest, HistoryOpensTheVirusListWhoseDescriptionFollowsTheKeys) {
  kolvar::testing::TestDevice device;
  const InstallPaths paths = InstallPathsOf(u"\\Program Files\\Kolvar");
  device.WriteFile(paths.history, "3.0.1 installed\n");
  VirusDetailRecord records[2];
  MakeVirusDetailRecord(1001, u"Kolvar.Test.Exe", u"A test program.", u"Delete it.", &records[0]);
  MakeVirusDetailRecord(1003, u"Kolvar.Test.Text", u"A test text.", u"Delete it.", &records[1]);
  ASSERT_TRUE(WriteVirusDetails(paths.virus_details, {records[0], records[1]}));
  HistoryDialog history(paths, nullptr);
  int history_rows = 0;
  OpenedMenu menu;
  QString first;
  QString second;
  QString status;
  bool list_focused_again = false;
  WhenIdle([&] {
    auto* view = static_cast<HistoryView*>(frame_.top_view());
    history_rows = view->list()->topLevelItemCount();
    SaveShot(frame_, "history");
    // Drives the virus list once it is on top (the menu that opens it is driven first).
    std::function<void()> drive = [&] {
      auto* viruses = dynamic_cast<VirusListView*>(frame_.top_view());
      if (viruses == nullptr) {
        WhenIdle(drive);
        return;
      }
      // The offscreen platform leaves no window active once a popup menu has closed.
      frame_.activateWindow();
      ProcessEventsUntil([&] { return viruses->list()->hasFocus(); });
      first = viruses->description()->toPlainText();
      status = viruses->status()->text();
      Key(Qt::Key_Down);
      second = viruses->description()->toPlainText();
      SaveShot(frame_, "virus_list");
      Key(Qt::Key_Return);  // the action key: to the description
      ProcessEventsUntil([&] { return viruses->description()->hasFocus(); });
      Key(Qt::Key_Up);
      list_focused_again = ProcessEventsUntil([&] { return viruses->list()->hasFocus(); }, 5000);
      Key(Qt::Key_F2);  // "Done"
    };
    WhenIdle(drive);
    menu = OpenMenu(Qt::Key_F1, kVirusDatabase);
    Key(Qt::Key_F2);  // the history's "Done"
  });
  frame_.RunModal(history);
  EXPECT_EQ(history_rows, 3);
  EXPECT_EQ(menu.items, (std::vector<QString>{"Update Now", "Virus Database"}));
  EXPECT_EQ(menu.enabled, (std::vector<bool>{false, true}));
  EXPECT_EQ(first, "A test program.");
  EXPECT_EQ(second, "A test text.");
  EXPECT_EQ(status, "Last Update: (none)");
  EXPECT_TRUE(list_focused_again);
  EXPECT_TRUE(history.ended());
}

// The about view opens on "Program Info"; Up on the list's top row reaches the page selector,
// whose Down shows the next page.
TEST_F(ViewsTest, AboutViewPagesByKeys) {
  AboutFacts facts;
  facts.contact_url = u"http://contact.example/";
  AboutDialog about(facts);
  int first_rows = 0;
  bool selector_focused = false;
  QString contact;
  WhenIdle([&] {
    auto* view = static_cast<AboutView*>(frame_.top_view());
    first_rows = view->list()->topLevelItemCount();
    SaveShot(frame_, "about");
    ProcessEventsUntil([&] { return view->list()->hasFocus(); });
    Key(Qt::Key_Up);
    selector_focused = ProcessEventsUntil([&] { return view->selector()->hasFocus(); }, 5000);
    Key(Qt::Key_Down);
    ProcessEventsUntil([&] { return about.page() == 1; }, 5000);
    contact =
        view->list()->topLevelItemCount() > 1 ? view->list()->topLevelItem(1)->text(1) : QString();
    Key(Qt::Key_F2);  // "Done"
  });
  frame_.RunModal(about);
  EXPECT_EQ(first_rows, 6);
  EXPECT_TRUE(selector_focused);
  EXPECT_EQ(contact, "http://contact.example/");
  EXPECT_TRUE(about.ended());
}

TEST_F(ViewsTest, FolderPickerViewListsTheTree) {
  FolderPickerDialog picker([](std::u16string_view folder) {
    return folder == u"\\" ? std::vector<std::u16string>{u"My Documents", u"Windows"}
                           : std::vector<std::u16string>{};
  });
  int rows = 0;
  WhenIdle([&] {
    Key(Qt::Key_Return);  // opens "\"
    auto* view = static_cast<FolderPickerView*>(frame_.top_view());
    rows = view->tree()->topLevelItemCount();
    SaveShot(frame_, "folder_picker");
    Key(Qt::Key_F2);  // "Cancel"
  });
  frame_.RunModal(picker);
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(picker.result(), u"\\");
}

TEST(PicturesTest, AMissingPictureDrawsAsNothing) {
  TestApplication();
  EXPECT_TRUE(LoadPicture(":/pictures/no_such_picture.svg", QSize(32, 32), nullptr).isNull());
  EXPECT_TRUE(LoadPicture(QString(), QSize(32, 32), nullptr).isNull());
  // Every picture the views name is compiled in.
  std::vector<QString> named = {SplashPicture(), VirusPicture(), ApplicationPicture()};
  for (int frame = -1; frame < 10; ++frame) named.push_back(AnimationPicture(frame));
  for (uint32_t icon : {259u, 260u, 261u, 262u}) named.push_back(ActionPicture(icon));
  for (uint32_t icon = 138; icon <= 152; ++icon) named.push_back(ButtonPicture(icon));
  for (uint32_t icon = 229; icon <= 236; ++icon) {
    if (icon != 231) named.push_back(ButtonPicture(icon));
  }
  for (const QString& path : named) {
    EXPECT_FALSE(LoadPicture(path, QSize(32, 32), nullptr).isNull()) << path.toStdString();
  }
}

}  // namespace
}  // namespace kolvar::views
