// The settings command; see settings_commands.h.
#include "antivirus/kolvar/settings_commands.h"

#include <strings.h>

#include "antivirus/string_table.h"
#include "antivirus/user_settings.h"
#include "common/config_keys.h"
#include "common/configuration.h"
#include "platform/message_box.h"
#include "platform/text.h"

namespace kolvar {
namespace {

struct Setting {
  const char* key;
  bool UserSettings::*field;
};

constexpr Setting kSettings[] = {
    {config_keys::kSplashScreen, &UserSettings::splash_screen},
    {config_keys::kAutoStartup, &UserSettings::auto_startup},
    {config_keys::kEnableBckScan, &UserSettings::background_scanning},
    {config_keys::kEnableFolderSelection, &UserSettings::folder_selection},
};

const Setting* FindSetting(const std::string& key) {
  for (const Setting& setting : kSettings) {
    if (strcasecmp(setting.key, key.c_str()) == 0) return &setting;
  }
  return nullptr;
}

bool ParseFlag(const std::string& text, bool* on) {
  for (const char* yes : {"1", "on", "yes", "true"}) {
    if (strcasecmp(text.c_str(), yes) == 0) return *on = true, true;
  }
  for (const char* no : {"0", "off", "no", "false"}) {
    if (strcasecmp(text.c_str(), no) == 0) return *on = false, true;
  }
  return false;
}

std::string Line(const Setting& setting, const UserSettings& settings) {
  return std::string(setting.key) + " " + (settings.*setting.field ? "1" : "0") + "\n";
}

CommandResult Refused(const UserNotice& notice, const std::string& text) {
  if (notice) notice(platform::Utf8ToUtf16Lossy(text), platform::kMbOk | platform::kMbIconError);
  return {kExitError, {}};
}

}  // namespace

CommandResult ConfigCommand(ConfigurationFile& configuration, const InstallPaths& paths,
                            const std::optional<std::string>& key,
                            const std::optional<std::string>& value, const UserNotice& notice) {
  configuration.ReloadWhenSavedElsewhere();
  UserSettings settings = LoadUserSettings(configuration.store());
  CommandResult result;
  if (!key) {
    for (const Setting& setting : kSettings) result.output += Line(setting, settings);
    return result;
  }
  const Setting* setting = FindSetting(*key);
  if (setting == nullptr) {
    return Refused(notice, "There is no setting '" + *key +
                               "'; the settings are SplashScreen, AutoStartup, EnableBckScan and "
                               "EnableFolderSelection.");
  }
  if (!value) {
    result.output = Line(*setting, settings);
    return result;
  }
  bool on = false;
  if (!ParseFlag(*value, &on)) {
    return Refused(notice,
                   std::string(setting->key) + " takes 1 or 0 (on or off), not '" + *value + "'.");
  }
  if (setting->field == &UserSettings::folder_selection && on && settings.background_scanning) {
    return Refused(notice,
                   "EnableFolderSelection cannot be set while EnableBckScan is on (a background "
                   "scan covers the whole device).");
  }
  const bool background_before = settings.background_scanning;
  settings.*setting->field = on;
  if (settings.background_scanning) settings.folder_selection = false;
  if (!ApplyUserSettings(configuration, settings, paths)) {
    return Refused(notice, "The configuration '" + platform::Utf16ToUtf8(configuration.path()) +
                               "' could not be saved.");
  }
  for (const Setting& shown : kSettings) result.output += Line(shown, settings);
  if (settings.background_scanning != background_before) {
    result.output += platform::Utf16ToUtf8(LoadString(string_ids::kTakesEffectNextScan)) + "\n";
  }
  return result;
}

}  // namespace kolvar
