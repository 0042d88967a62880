// The main program's four user settings, in section "CONFIG" of the configuration: the splash
// screen, starting the program with the device, background scanning and choosing a folder for a
// manual scan; and what confirming them does: the four keys written in their order, the startup
// shortcut created or removed, the configuration saved. The configuration dialog and "kolvar
// config" both confirm through ApplyUserSettings, so the two have the same effects.
#ifndef KOLVAR_ANTIVIRUS_USER_SETTINGS_H_
#define KOLVAR_ANTIVIRUS_USER_SETTINGS_H_

#include <string>
#include <string_view>

#include "antivirus/install_paths.h"

namespace kolvar {

class ConfigStore;
class ConfigurationFile;

// The startup shortcut's name ("KVAntivirus.lnk" on the device, "KVAntivirus.desktop" on a desktop)
// and the main program's file name that it starts.
inline constexpr char16_t kStartupShortcutName[] = u"KVAntivirus";
inline constexpr char16_t kMainProgramFileName[] = u"KVAntivirus";

struct UserSettings {
  bool splash_screen = true;
  bool auto_startup = false;
  bool background_scanning = false;
  bool folder_selection = false;
};

// The four keys (any non-zero value is on); a key that cannot be read keeps its default.
UserSettings LoadUserSettings(ConfigStore& store);

// Confirms `settings`: reloads the configuration when another program saved it meanwhile (so its
// changes are kept), writes "SplashScreen", "AutoStartup", "EnableBckScan" and
// "EnableFolderSelection" as 0 or 1, creates or removes the startup shortcut to the main program
// of the installation folder ("InstallDir", else `paths`), and saves. The shortcut's failure is
// silent, as the device's is; false when the configuration could not be saved.
bool ApplyUserSettings(ConfigurationFile& configuration, const UserSettings& settings,
                       const InstallPaths& paths);

// Creates (on) or removes (off) the startup shortcut that starts `program`; removing a missing
// one is no error. False (last error set) on failure.
bool SetStartWithDevice(bool on, std::u16string_view program);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_USER_SETTINGS_H_
