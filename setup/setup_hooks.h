// What the four entry points of the setup library do, kept in one object for one load of the
// library: the uninstall's init reads the installation folder from the configuration and its exit
// empties that folder, so the folder passes from the one call to the other here.
#ifndef KOLVAR_SETUP_SETUP_HOOKS_H_
#define KOLVAR_SETUP_SETUP_HOOKS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/process.h"

namespace kolvar::setup {

class SetupHooks {
 public:
  // Stops the scanner, then the service, of `install_dir`. 1 when the running programs cannot be
  // looked up, else 0.
  int32_t InstallInit(std::u16string_view install_dir);
  // Starts the service of `install_dir` and tells the user. 0.
  int32_t InstallExit(std::u16string_view install_dir);
  // Asks before removing quarantined files, stops the suite's programs of `install_dir`, clears
  // the task manager's registrations, empties "_updates_" and "Quarantine" and deletes the
  // configuration file. 1 when cancelled (by the user, or because the running programs cannot be
  // looked up); nothing has been changed then.
  int32_t UninstallInit(std::u16string_view install_dir);
  // Removes the registry entries, the start-up entries and the startup shortcut, and empties the
  // installation folder that UninstallInit accepted. 0.
  int32_t UninstallExit();

 private:
  // Stops the scanner and the service; false when the lookup failed.
  bool StopResidentPrograms(std::u16string_view folder);
  // The configuration's installation folder when it may be emptied, else empty (and the user is
  // told why, unless there is no configuration at all).
  std::u16string AcceptedFolder(std::u16string_view configured, std::u16string_view installer);

  // The service started after installation. The handle stays open for the library's life: closing
  // it while the service runs would hand the service to a reaping thread of this library's code,
  // which must not run while the installer unloads the library or ends.
  platform::Process service_;
  std::u16string programs_folder_;  // where the programs were stopped from
  std::u16string folder_to_empty_;
  bool dispatcher_stopped_ = false;  // the notification dispatcher ran from the installation
};

}  // namespace kolvar::setup

#endif  // KOLVAR_SETUP_SETUP_HOOKS_H_
