// `kolvar config` over a device image: the four settings printed, one setting set with the
// dialog's effects (the start-up shortcut, the save as another program reads it, the rule between
// background scanning and the folder selection), and what it refuses.
#include "antivirus/kolvar/settings_commands.h"

#include <gtest/gtest.h>

#include <memory>

#include "antivirus/user_settings.h"
#include "common/configuration.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

class SettingsCommandTest : public ::testing::Test {
 protected:
  SettingsCommandTest() : paths_(InstallPathsOf(u"\\Program Files\\Kolvar")) {
    EXPECT_TRUE(OpenConfiguration(false, &configuration_));
  }

  CommandResult Run(std::optional<std::string> key, std::optional<std::string> value) {
    return ConfigCommand(*configuration_, paths_, key, value,
                         [this](std::u16string_view text, uint32_t) { told_.emplace_back(text); });
  }

  UserSettings Stored() {
    std::unique_ptr<ConfigurationFile> reader;
    EXPECT_TRUE(OpenConfiguration(true, &reader));
    return LoadUserSettings(reader->store());
  }

  testing::TestDevice device_;
  InstallPaths paths_;
  std::unique_ptr<ConfigurationFile> configuration_;
  std::vector<std::u16string> told_;
};

TEST_F(SettingsCommandTest, PrintsAndSetsWithTheDialogsEffects) {
  EXPECT_EQ(Run({}, {}).output,
            "SplashScreen 1\nAutoStartup 0\nEnableBckScan 0\nEnableFolderSelection 0\n");
  EXPECT_EQ(Run("enablefolderselection", "on").output,
            "SplashScreen 1\nAutoStartup 0\nEnableBckScan 0\nEnableFolderSelection 1\n");
  EXPECT_TRUE(Stored().folder_selection);

  const CommandResult autostart = Run("AutoStartup", "1");
  EXPECT_EQ(autostart.exit_status, kExitClean);
  EXPECT_TRUE(device_.Exists(u"\\Windows\\StartUp\\KVAntivirus.lnk"));
  EXPECT_TRUE(Stored().auto_startup);

  const CommandResult background = Run("EnableBckScan", "1");
  EXPECT_NE(background.output.find("EnableFolderSelection 0\n"), std::string::npos)
      << background.output;
  EXPECT_NE(background.output.find("will take effect the next time you start a scan"),
            std::string::npos);
  EXPECT_TRUE(Stored().background_scanning);
  EXPECT_FALSE(Stored().folder_selection);
  EXPECT_EQ(Run("EnableBckScan", {}).output, "EnableBckScan 1\n");

  Run("AutoStartup", "off");
  EXPECT_FALSE(device_.Exists(u"\\Windows\\StartUp\\KVAntivirus.lnk"));
  EXPECT_TRUE(told_.empty());
}

TEST_F(SettingsCommandTest, RefusesUnknownSettingsValuesAndTheExcludedPair) {
  Run("EnableBckScan", "1");
  const struct {
    const char* key;
    const char* value;
    const char16_t* told_part;
  } cases[] = {
      {"Colour", nullptr, u"There is no setting 'Colour'"},
      {"SplashScreen", "maybe", u"takes 1 or 0"},
      {"EnableFolderSelection", "1", u"while EnableBckScan is on"},
  };
  for (const auto& c : cases) {
    told_.clear();
    const CommandResult result =
        Run(c.key, c.value != nullptr ? std::optional<std::string>(c.value) : std::nullopt);
    EXPECT_EQ(result.exit_status, kExitError) << c.key;
    ASSERT_EQ(told_.size(), 1u) << c.key;
    EXPECT_NE(told_[0].find(c.told_part), std::u16string::npos) << c.key;
  }
  EXPECT_TRUE(Stored().splash_screen);
  EXPECT_FALSE(Stored().folder_selection);
}

}  // namespace
}  // namespace kolvar
