// The commands plugged into the main dialog: "Kolvar Scheduler" starts KVScheduler from the
// installation folder, and says so in a box when it cannot.
#include "antivirus/main_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "antivirus/command_ids.h"
#include "antivirus/config_dialog.h"
#include "antivirus/testing/fake_scan_driver.h"
#include "antivirus/update/update_dialog.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "tests/testing/test_device.h"
#include "ui/testing/recording_host.h"

namespace kolvar {
namespace {

struct Box {
  std::u16string caption;
  std::u16string text;
  uint32_t style;
};

// The main dialog shown on a recording host, over a scan driver that only logs, with the
// commands' context naming the default installation folder.
class MainCommandsTest : public ::testing::Test {
 protected:
  MainCommandsTest() : main_(Services(log_)) {
    host_.Show(main_);
    context_.paths = InstallPathsOf(u"\\Program Files\\Kolvar");
  }

  static ScanDialogServices Services(testing::DriverLog& log) {
    ScanDialogServices services;
    services.make_driver = testing::FakeScanDrivers(log);
    return services;
  }

  testing::TestDevice device_;
  ui::testing::RecordingHost host_;
  testing::DriverLog log_;
  ScanDialog main_;
  MainCommandContext context_;
};

TEST_F(MainCommandsTest, AMissingSchedulerIsToldWithItsPath) {
  std::vector<Box> boxes;
  context_.box = [&](std::u16string_view caption, std::u16string_view text, uint32_t style) {
    boxes.push_back({std::u16string(caption), std::u16string(text), style});
  };
  PlugMainCommands(main_, context_);
  main_.OnCommand(commands::kKolvarScheduler);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, u"Kolvar AV");
  EXPECT_EQ(boxes[0].text,
            u"Error trying to execute: \\Program Files\\Kolvar\\KVScheduler. Please reinstall!");
  EXPECT_EQ(boxes[0].style, platform::kMbOk | platform::kMbIconError);
  EXPECT_TRUE(host_.boxes().empty()) << "served: no \"not available\" box";
}

// Each command that a dialog serves opens that dialog, titled as the command's table says, modal
// over the main dialog; none says "not available".
TEST_F(MainCommandsTest, PluggedCommandsOpenTheirDialogs) {
  device_.MakeFolder(context_.paths.quarantine_folder);
  ConfigDialog settings(nullptr, context_.paths);
  context_.settings = &settings;
  PlugMainCommands(main_, context_);
  const struct {
    uint32_t command;
    const char16_t* title;
  } cases[] = {{commands::kRepositoryFiles, u"Repository"},
               {commands::kConfiguration, u"Configuration"},
               {commands::kUpdateHistory, u"History"},
               {commands::kAbout, u"About"},
               {commands::kAboutButton, u"About"}};
  for (const auto& one : cases) {
    const size_t before = host_.modal_titles().size();
    main_.OnCommand(one.command);
    ASSERT_EQ(host_.modal_titles().size(), before + 1) << one.command;
    EXPECT_EQ(host_.modal_titles().back(), one.title);
  }
  EXPECT_TRUE(host_.boxes().empty()) << platform::Utf16ToUtf8(host_.box_texts()[0]);
}

// "Update Now" of the history runs the update dialog over the history, in interactive mode (it
// waits for "Update!"), reading the program's configuration; closing it leaves the history and
// the main dialog open.
TEST_F(MainCommandsTest, UpdateNowOfTheHistoryRunsTheUpdateDialog) {
  device_.MakeFolder(u"\\Program Files\\Kolvar");
  ConfigurationFile configuration(ConfigStore::kConfigurationName, KeyMaterialUse::kConfiguration);
  ASSERT_TRUE(CreateDefaultConfiguration(&configuration.store(), context_.paths.install_folder));
  context_.configuration = &configuration;
  PlugMainCommands(main_, context_);

  bool history_greyed = true;
  bool history_ended = true;
  bool update_running = true;
  host_.DriveModals([&](ui::Dialog& dialog) {
    if (dialog.title() == u"History") {
      dialog.OnMenuOpening(ui::SoftKeySide::kLeft);
      history_greyed = dialog.soft_keys().left.menu.IsGreyed(commands::kUpdateNow);
      dialog.OnCommand(commands::kUpdateNow);
      history_ended = dialog.ended();
    } else if (auto* update = dynamic_cast<UpdateDialog*>(&dialog)) {
      update_running = update->running();
    }
  });
  main_.OnCommand(commands::kUpdateHistory);
  EXPECT_EQ(host_.modal_titles(), (std::vector<std::u16string>{u"History", u"Update"}));
  EXPECT_FALSE(history_greyed);
  EXPECT_FALSE(update_running) << "interactive: nothing runs before \"Update!\"";
  EXPECT_FALSE(history_ended);
  EXPECT_FALSE(main_.ended());
  EXPECT_TRUE(host_.boxes().empty());
}

TEST_F(MainCommandsTest, TheSchedulerIsStartedFromTheInstallationFolder) {
  // A stand-in scheduler that leaves a mark.
  device_.WriteFile(u"\\Program Files\\Kolvar\\KVScheduler",
                    "#!/bin/sh\necho started > \"$KOLVAR_DEVICE_ROOT/scheduler.mark\"\n");
  chmod(device_.Host(u"\\Program Files\\Kolvar\\KVScheduler").c_str(), 0700);
  int boxes = 0;
  context_.box = [&](std::u16string_view, std::u16string_view, uint32_t) { ++boxes; };
  EXPECT_TRUE(StartSuiteProgram(u"\\Program Files\\Kolvar\\KVScheduler", context_));
  for (int wait = 0; wait < 3000 && !device_.Exists(u"\\scheduler.mark"); ++wait) usleep(10000);
  EXPECT_TRUE(device_.Exists(u"\\scheduler.mark"));
  EXPECT_EQ(boxes, 0);
}

}  // namespace
}  // namespace kolvar
