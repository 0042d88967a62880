// The device tools' views on the offscreen platform, each reached from the main dialog's "Tools"
// menu: the registry viewer's tree and value list. With KOLVAR_VIEW_SHOTS naming a folder, each
// view is also saved there as a PNG.
#include "antivirus/views/tool_views.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>

#include "antivirus/command_ids.h"
#include "antivirus/main_commands.h"
#include "antivirus/scan_dialog.h"
#include "antivirus/testing/fake_scan_driver.h"
#include "antivirus/views/dialog_views.h"
#include "common/registry_key.h"
#include "tests/testing/test_device.h"
#include "ui/qt/fonts.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/testing/qt_test_application.h"

namespace kolvar::views {
namespace {

using ui::qt::testing::ProcessEventsUntil;
using ui::qt::testing::TestApplication;
using ui::qt::testing::WhenIdle;

void SaveShot(QWidget& window, const char* name) {
  const char* folder = getenv("KOLVAR_VIEW_SHOTS");
  if (folder == nullptr) return;
  window.grab().save(QString::fromUtf8(folder) + "/" + name + ".png");
}

class ToolViewsTest : public ::testing::Test {
 protected:
  static ui::qt::ApplicationFonts Fonts() {
    TestApplication();
    return ui::qt::LoadApplicationFonts(2);
  }

  ToolViewsTest() : frame_(u"kvtest", Fonts()), main_(Services()) {
    RegisterAntivirusViews(frame_);
    MainCommandContext context;
    context.paths = InstallPathsOf(u"\\Program Files\\Kolvar");
    PlugMainCommands(main_, context);
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

  void Key(int key) {
    QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget()
                                                             : static_cast<QWidget*>(&frame_);
    QTest::keyClick(target, static_cast<Qt::Key>(key));
  }

  kolvar::testing::TestDevice device_;
  testing::DriverLog log_;
  ui::qt::DialogFrame frame_;
  ScanDialog main_;
};

TEST_F(ToolViewsTest, RegistryViewerShowsKeysThenValues) {
  RegistryKey key(kRegistryPathRoot, kRegistryRootCurrentUser);
  ASSERT_TRUE(key.OpenKey(u"Software\\Kolvar Corp.\\Kolvar AV", false, true));
  const char16_t text[] = u"3.0";
  ASSERT_TRUE(key.SetValue(u"Version", 1, text, sizeof text));
  const uint32_t number = 65536;
  ASSERT_TRUE(key.SetValue(u"Count", 4, &number, sizeof number));
  const uint8_t bytes[] = {0xde, 0xad};
  ASSERT_TRUE(key.SetValue(u"Blob", 3, bytes, sizeof bytes));

  QString title;
  int roots = 0;
  QStringList values;
  bool tree_back = false;
  WhenIdle([&] {
    auto* view = static_cast<RegistryViewerView*>(frame_.top_view());
    title = frame_.windowTitle();
    roots = view->tree()->topLevelItemCount();
    auto& dialog = static_cast<tools::RegistryViewerDialog&>(view->dialog());
    // Open HKEY_CURRENT_USER down to the suite's key, as a user taps through.
    for (int row : {1, 2, 3, 4}) {
      dialog.OnRowActivated(tools::kRegistryTreeControl, row);
      view->Refresh();
    }
    dialog.tree().Select(4);
    SaveShot(frame_, "registry_tree");
    Key(Qt::Key_F1);  // "View Values"
    for (int row = 0; row < view->values()->topLevelItemCount(); ++row) {
      values << view->values()->topLevelItem(row)->text(0) + "=" +
                    view->values()->topLevelItem(row)->text(1);
    }
    SaveShot(frame_, "registry_values");
    Key(Qt::Key_Escape);  // back to the keys
    tree_back = view->tree()->isVisible();
    Key(Qt::Key_F2);  // "Close"
  });
  frame_.SendCommand(main_, commands::kRegistryViewer);
  EXPECT_EQ(title, "Reg Viewer");
  EXPECT_EQ(roots, 4);
  EXPECT_EQ(values,
            (QStringList{"(Default)=(value not set)", "Blob=de ad", "Count=65536", "Version=3.0"}));
  EXPECT_TRUE(tree_back);
  EXPECT_EQ(frame_.top_dialog(), &main_);
}

TEST_F(ToolViewsTest, ProcessManagerListsThisProgramAndShowsItsPage) {
  QString title;
  QString status;
  bool listed = false;
  QString page_name;
  const QString own_pid = QString::number(getpid());
  WhenIdle([&] {
    auto* view = static_cast<ProcessManagerView*>(frame_.top_view());
    title = frame_.windowTitle();
    status = view->status()->text();
    auto& dialog = static_cast<tools::ProcessManagerDialog&>(view->dialog());
    for (int row = 0; row < view->list()->topLevelItemCount(); ++row) {
      if (view->list()->topLevelItem(row)->text(1) == own_pid) {
        listed = true;
        dialog.list().Select(row);
        view->Refresh();
      }
    }
    SaveShot(frame_, "process_list");
    Key(Qt::Key_Return);  // the chosen process's page
    page_name = view->list()->topLevelItem(0)->text(1);
    SaveShot(frame_, "process_page");
    Key(Qt::Key_Escape);  // back to the list
    Key(Qt::Key_Escape);  // closes the tool
  });
  frame_.SendCommand(main_, commands::kProcessesManager);
  EXPECT_EQ(title, "Proc Manager");
  EXPECT_TRUE(status.endsWith(" process(es) running")) << status.toStdString();
  EXPECT_TRUE(listed);
  EXPECT_FALSE(page_name.isEmpty());
  EXPECT_EQ(frame_.top_dialog(), &main_);
}

TEST_F(ToolViewsTest, SystemInformationShowsEachPage) {
  QString title;
  std::vector<QString> first_rows;
  WhenIdle([&] {
    auto* view = static_cast<SystemInformationView*>(frame_.top_view());
    title = frame_.windowTitle();
    auto& dialog = static_cast<tools::SystemInformationDialog&>(view->dialog());
    const std::pair<uint32_t, const char*> pages[] = {
        {tools::sysinfo_commands::kGeneralInfo, "sysinfo_general"},
        {tools::sysinfo_commands::kMemoryAndStorage, "sysinfo_memory"},
        {tools::sysinfo_commands::kScreenProperties, "sysinfo_screen"},
        {tools::sysinfo_commands::kInstalledFonts, "sysinfo_fonts"},
        {tools::sysinfo_commands::kBattery, "sysinfo_battery"}};
    for (const auto& [command, shot] : pages) {
      frame_.SendCommand(dialog, command);
      first_rows.push_back(view->list()->topLevelItemCount() > 0
                               ? view->list()->topLevelItem(0)->text(0) + "|" +
                                     view->list()->topLevelItem(0)->text(1)
                               : QString());
      SaveShot(frame_, shot);
    }
    Key(Qt::Key_F2);  // "Close"
  });
  frame_.SendCommand(main_, commands::kSystemInformation);
  EXPECT_EQ(title, "System Info");
  ASSERT_EQ(first_rows.size(), 5u);
  EXPECT_EQ(first_rows[0], "Platform:|PocketPC");
  EXPECT_TRUE(first_rows[1].startsWith("Programs:|")) << first_rows[1].toStdString();
  EXPECT_TRUE(first_rows[2].startsWith("Technology:|Raster Display"))
      << first_rows[2].toStdString();
  EXPECT_FALSE(first_rows[3].isEmpty()) << "the offscreen platform has fonts";
  EXPECT_EQ(first_rows[4].left(9), "Battery:|");
  EXPECT_EQ(frame_.top_dialog(), &main_);
}

}  // namespace
}  // namespace kolvar::views
