// The configuration dialog, which is also the main program's settings object: created and loaded
// at start-up (the shell reads the splash setting from it), it keeps the four user settings for
// the whole run, and as the dialog behind "Configuration" shows them as four check boxes. Ticking
// "Enable Background Scanning" clears and disables "Select folder on manual scan". "Confirm"
// applies the boxes (user_settings.h: the keys, the startup shortcut, the save) and, when
// background scanning now differs from what it was at start-up, says that it takes effect with the
// next scan; "Cancel" and Back leave the settings as they were.
#ifndef KOLVAR_ANTIVIRUS_CONFIG_DIALOG_H_
#define KOLVAR_ANTIVIRUS_CONFIG_DIALOG_H_

#include <cstdint>

#include "antivirus/install_paths.h"
#include "antivirus/user_settings.h"
#include "ui/dialog.h"

namespace kolvar {

class ConfigurationFile;

// The check boxes, in order.
namespace config_controls {
inline constexpr uint32_t kSplashScreen = 1030;
inline constexpr uint32_t kAutoStartup = 1034;
inline constexpr uint32_t kBackgroundScanning = 1035;
inline constexpr uint32_t kFolderSelection = 1036;
inline constexpr uint32_t kBoxes[] = {kSplashScreen, kAutoStartup, kBackgroundScanning,
                                      kFolderSelection};
}  // namespace config_controls

class ConfigDialog : public ui::Dialog {
 public:
  // `configuration` may be null (nothing is read or saved then).
  ConfigDialog(ConfigurationFile* configuration, const InstallPaths& paths);

  // Reads the four settings; a key that cannot be read keeps its default. Also remembers
  // background scanning as loaded.
  void Load();
  const UserSettings& settings() const { return settings_; }
  bool splash_screen() const { return settings_.splash_screen; }

  void OnInit() override;
  void OnCommand(uint32_t id) override;

  // What the view shows.
  bool IsTicked(uint32_t box) const;
  bool IsBoxEnabled(uint32_t box) const;

 private:
  bool& Box(uint32_t box);
  void ApplyDependencyRule();
  void Confirm();

  ConfigurationFile* configuration_;
  const InstallPaths paths_;
  UserSettings settings_;
  bool background_as_loaded_ = false;
  UserSettings boxes_;
  bool folder_box_enabled_ = true;
};

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_CONFIG_DIALOG_H_
