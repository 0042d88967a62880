// The configuration dialog over a device image: its boxes from the store, the rule between
// background scanning and the folder selection, "Confirm" (the keys in the store as another
// program reads them, the startup shortcut, the box about the next scan) and "Cancel"; and the
// startup shortcut of the host profile, a desktop entry that desktop-file-validate accepts.
#include "antivirus/config_dialog.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "antivirus/command_ids.h"
#include "antivirus/string_table.h"
#include "common/config_keys.h"
#include "common/configuration.h"
#include "platform/path.h"
#include "platform/startup_shortcut.h"
#include "platform/text.h"
#include "tests/testing/test_device.h"
#include "ui/testing/recording_host.h"

namespace kolvar {
namespace {

namespace fs = std::filesystem;
using namespace config_controls;

constexpr char16_t kShortcut[] = u"\\Windows\\StartUp\\KVAntivirus.lnk";

class ConfigDialogTest : public ::testing::Test {
 protected:
  ConfigDialogTest() : paths_(InstallPathsOf(u"\\Program Files\\Kolvar")) {
    EXPECT_TRUE(OpenConfiguration(false, &configuration_));
  }

  // The four keys as another program reads them from the file.
  UserSettings Stored() {
    std::unique_ptr<ConfigurationFile> reader;
    EXPECT_TRUE(OpenConfiguration(true, &reader));
    return LoadUserSettings(reader->store());
  }

  void Store(const char* key, uint32_t value) {
    EXPECT_TRUE(
        configuration_->store().SetValue(key, kConfigTypeInteger, 4, &value, config_keys::kConfig));
    EXPECT_TRUE(configuration_->Save());
  }

  testing::TestDevice device_;
  InstallPaths paths_;
  std::unique_ptr<ConfigurationFile> configuration_;
  ui::testing::RecordingHost host_;
};

TEST_F(ConfigDialogTest, BoxesShowTheStoredSettingsAndAnyNonZeroIsOn) {
  Store(config_keys::kSplashScreen, 0);
  Store(config_keys::kEnableFolderSelection, 7);
  ConfigDialog dialog(configuration_.get(), paths_);
  dialog.Load();
  host_.Show(dialog);
  EXPECT_EQ(dialog.title(), u"Configuration");
  EXPECT_FALSE(dialog.IsTicked(kSplashScreen));
  EXPECT_FALSE(dialog.IsTicked(kAutoStartup));
  EXPECT_FALSE(dialog.IsTicked(kBackgroundScanning));
  EXPECT_TRUE(dialog.IsTicked(kFolderSelection));
  EXPECT_EQ(dialog.soft_keys().left.text, u"Confirm");
  EXPECT_EQ(dialog.soft_keys().right.text, u"Cancel");
  EXPECT_EQ(dialog.focus(), kSplashScreen);
}

TEST_F(ConfigDialogTest, UnreadableKeysKeepTheirDefaults) {
  ASSERT_TRUE(
      configuration_->store().DeleteValue(config_keys::kSplashScreen, config_keys::kConfig));
  Store(config_keys::kAutoStartup, 1);
  ConfigDialog dialog(configuration_.get(), paths_);
  dialog.Load();
  EXPECT_TRUE(dialog.splash_screen());
  EXPECT_TRUE(dialog.settings().auto_startup);
  ConfigDialog unconfigured(nullptr, paths_);
  unconfigured.Load();
  EXPECT_TRUE(unconfigured.splash_screen());
  EXPECT_FALSE(unconfigured.settings().background_scanning);
}

TEST_F(ConfigDialogTest, BackgroundScanningClearsAndGreysTheFolderSelection) {
  Store(config_keys::kEnableFolderSelection, 1);
  ConfigDialog dialog(configuration_.get(), paths_);
  dialog.Load();
  host_.Show(dialog);
  EXPECT_TRUE(dialog.IsBoxEnabled(kFolderSelection));
  dialog.OnCommand(kBackgroundScanning);
  EXPECT_TRUE(dialog.IsTicked(kBackgroundScanning));
  EXPECT_FALSE(dialog.IsTicked(kFolderSelection));
  EXPECT_FALSE(dialog.IsBoxEnabled(kFolderSelection));
  dialog.OnCommand(kFolderSelection);  // a greyed box does not change
  EXPECT_FALSE(dialog.IsTicked(kFolderSelection));
  dialog.OnCommand(kBackgroundScanning);
  EXPECT_TRUE(dialog.IsBoxEnabled(kFolderSelection));
  EXPECT_FALSE(dialog.IsTicked(kFolderSelection)) << "usable again, still clear";
  // The action key ticks the focused box.
  dialog.FocusChanged(kFolderSelection);
  dialog.OnCommand(ui::kCommandOk);
  EXPECT_TRUE(dialog.IsTicked(kFolderSelection));
}

TEST_F(ConfigDialogTest, ConfirmWritesTheKeysAndTellsOnlyAChangedBackgroundSetting) {
  ConfigDialog dialog(configuration_.get(), paths_);
  dialog.Load();
  const struct {
    bool background;
    bool told;
  } steps[] = {{true, true}, {false, false}, {true, true}};
  for (const auto& step : steps) {
    host_.ClearBoxes();
    host_.Show(dialog);
    if (dialog.IsTicked(kBackgroundScanning) != step.background) {
      dialog.OnCommand(kBackgroundScanning);
    }
    dialog.OnCommand(kSplashScreen);
    dialog.OnCommand(commands::kConfirm);
    EXPECT_TRUE(dialog.ended());
    EXPECT_EQ(Stored().background_scanning, step.background);
    EXPECT_EQ(Stored().splash_screen, dialog.settings().splash_screen);
    ASSERT_EQ(host_.boxes().size(), step.told ? 1u : 0u) << step.background;
    if (step.told) {
      EXPECT_EQ(host_.boxes()[0].caption, u"Configuration");
      EXPECT_EQ(host_.boxes()[0].text,
                u"This configuration will take effect the next time you start a scan.");
      EXPECT_EQ(host_.boxes()[0].style, 0u) << "no icon";
    }
  }
}

TEST_F(ConfigDialogTest, CancelAndBackLeaveStoreShortcutAndSettings) {
  ConfigDialog dialog(configuration_.get(), paths_);
  dialog.Load();
  const UserSettings before = Stored();
  for (bool back : {false, true}) {
    host_.Show(dialog);
    for (uint32_t box : kBoxes) dialog.OnCommand(box);
    if (back) {
      dialog.OnBack();
      EXPECT_EQ(dialog.result(), ui::kResultBack);
    } else {
      dialog.OnCommand(commands::kCancelConfig);
      EXPECT_EQ(dialog.result(), ui::kResultOk);
    }
    EXPECT_TRUE(dialog.ended());
    const UserSettings stored = Stored();
    EXPECT_EQ(stored.splash_screen, before.splash_screen);
    EXPECT_EQ(stored.auto_startup, before.auto_startup);
    EXPECT_EQ(stored.background_scanning, before.background_scanning);
    EXPECT_FALSE(device_.Exists(kShortcut));
    host_.Show(dialog);
    EXPECT_EQ(dialog.IsTicked(kSplashScreen), before.splash_screen) << "the previous values";
    EXPECT_FALSE(dialog.IsTicked(kAutoStartup));
  }
  EXPECT_TRUE(host_.boxes().empty());
}

// On the device the shortcut is the startup folder's "KVAntivirus.lnk", which starts the main
// program of the installation folder; clearing the box removes it, and clearing it again (the
// file already gone) is no error.
TEST_F(ConfigDialogTest, StartWithTheDeviceIsTheStartupFoldersShortcut) {
  ConfigDialog dialog(configuration_.get(), paths_);
  dialog.Load();
  for (int round = 0; round < 3; ++round) {
    host_.Show(dialog);
    dialog.OnCommand(kAutoStartup);
    dialog.OnCommand(commands::kConfirm);
    const bool on = round % 2 == 0;
    EXPECT_EQ(Stored().auto_startup, on);
    EXPECT_EQ(device_.Exists(kShortcut), on) << round;
    if (on) {
      // The installation folder that the configuration records (none for a test program that
      // lies outside the device), else the program's own.
      std::u16string folder = InstallDirValue(configuration_->store());
      if (folder.empty()) folder = paths_.install_folder;
      const std::string target = "\"" + platform::Utf16ToUtf8(folder) + "KVAntivirus\"";
      EXPECT_EQ(device_.ReadFile(kShortcut), std::to_string(target.size()) + "#" + target);
    }
  }
  EXPECT_TRUE(SetStartWithDevice(false, u"\\Program Files\\Kolvar\\KVAntivirus"));
  EXPECT_TRUE(SetStartWithDevice(false, u"\\Program Files\\Kolvar\\KVAntivirus"));
  EXPECT_TRUE(host_.boxes().empty());
}

// In the host profile the shortcut is an XDG autostart entry in ~/.config/autostart that starts
// the program by its host path (quoted and escaped, so a folder with blanks, quotes, '$' or '%'
// still names it), valid as desktop-file-validate checks it; clearing the setting removes it.
TEST(StartupShortcutHostTest, IsAValidAutostartEntryThatGoesWhenCleared) {
  testing::TestDevice device;
  const std::string home = device.root() + "/home/user";
  fs::create_directories(home);
  const char* saved_home = getenv("HOME");
  const std::string old_home = saved_home != nullptr ? saved_home : "";
  const char* saved_config = getenv("XDG_CONFIG_HOME");
  const std::string old_config = saved_config != nullptr ? saved_config : "";
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("KOLVAR_DEVICE_ROOT");

  std::u16string program = platform::Utf8ToUtf16Lossy(home + "/My \"Apps\" $HOME 100%/KVAntivirus");
  for (char16_t& c : program) c = c == u'/' ? u'\\' : c;
  EXPECT_TRUE(SetStartWithDevice(true, program));
  const std::string entry = home + "/.config/autostart/KVAntivirus.desktop";
  EXPECT_TRUE(fs::is_regular_file(entry));
  EXPECT_EQ(platform::DesktopExecValue("/a b/\"q\" $x `y` 5%\\z"),
            "\"/a b/\\\\\"q\\\\\" \\\\$x \\\\`y\\\\` 5%%\\\\\\\\z\"");
  if (system("command -v desktop-file-validate >/dev/null 2>&1") == 0) {
    const std::string command = "desktop-file-validate '" + entry + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string said;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) said += buffer;
    EXPECT_EQ(pclose(pipe), 0) << said;
    EXPECT_EQ(said.find("error"), std::string::npos) << said;
  } else {
    ADD_FAILURE() << "desktop-file-validate is missing (Debian's desktop-file-utils)";
  }
  EXPECT_TRUE(SetStartWithDevice(false, program));
  EXPECT_FALSE(fs::exists(entry));
  EXPECT_TRUE(SetStartWithDevice(false, program));

  setenv("KOLVAR_DEVICE_ROOT", device.root().c_str(), 1);
  if (saved_home != nullptr) setenv("HOME", old_home.c_str(), 1);
  if (saved_config != nullptr) setenv("XDG_CONFIG_HOME", old_config.c_str(), 1);
}

}  // namespace
}  // namespace kolvar
