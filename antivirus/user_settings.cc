// The main program's user settings; see user_settings.h.
#include "antivirus/user_settings.h"

#include <cstdint>

#include "antivirus/resource_strings.h"
#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "common/file_replacement.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/startup_shortcut.h"

namespace kolvar {
namespace {

bool Flag(ConfigStore& store, const char* key, bool fallback) {
  uint32_t value = 0;
  if (!ReadIntegerValue(store, config_keys::kConfig, key, &value)) return fallback;
  return value != 0;
}

// Sets a 4-byte integer of section "CONFIG", adding the key (and the section) when missing.
bool WriteFlag(ConfigStore& store, const char* key, bool on) {
  const uint32_t value = on ? 1 : 0;
  if (store.SetValue(key, kConfigTypeInteger, sizeof value, &value, config_keys::kConfig)) {
    return true;
  }
  if (!store.SelectSection(config_keys::kConfig) &&
      !(store.AddSection(config_keys::kConfig) && store.SelectSection(config_keys::kConfig))) {
    return false;
  }
  return store.AddValue(key, kConfigTypeInteger, sizeof value, &value);
}

}  // namespace

UserSettings LoadUserSettings(ConfigStore& store) {
  UserSettings settings;
  settings.splash_screen = Flag(store, config_keys::kSplashScreen, settings.splash_screen);
  settings.auto_startup = Flag(store, config_keys::kAutoStartup, settings.auto_startup);
  settings.background_scanning =
      Flag(store, config_keys::kEnableBckScan, settings.background_scanning);
  settings.folder_selection =
      Flag(store, config_keys::kEnableFolderSelection, settings.folder_selection);
  return settings;
}

bool SetStartWithDevice(bool on, std::u16string_view program) {
  if (!on) {
    std::u16string path;
    if (!platform::StartupShortcutPath(kStartupShortcutName, &path)) return false;
    if (platform::DeleteFile(path)) return true;
    const uint32_t error = platform::GetLastError();
    return error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound;
  }
  platform::StartupShortcut shortcut;
  if (!platform::MakeStartupShortcut(kStartupShortcutName, program, strings::kProgramCaption,
                                     &shortcut)) {
    return false;
  }
  return ReplaceFileContents(shortcut.path, shortcut.contents.data(), shortcut.contents.size());
}

bool ApplyUserSettings(ConfigurationFile& configuration, const UserSettings& settings,
                       const InstallPaths& paths) {
  configuration.ReloadWhenSavedElsewhere();
  ConfigStore& store = configuration.store();
  WriteFlag(store, config_keys::kSplashScreen, settings.splash_screen);
  WriteFlag(store, config_keys::kAutoStartup, settings.auto_startup);
  WriteFlag(store, config_keys::kEnableBckScan, settings.background_scanning);
  WriteFlag(store, config_keys::kEnableFolderSelection, settings.folder_selection);
  std::u16string folder = InstallDirValue(store);
  if (folder.empty()) folder = paths.install_folder;
  SetStartWithDevice(settings.auto_startup, platform::JoinPath(folder, kMainProgramFileName));
  return configuration.Save();
}

}  // namespace kolvar
