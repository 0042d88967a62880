// The one place where the commands of the main dialog's menus meet the dialogs that serve them.
// Each later dialog plugs its command in here; a command that nothing serves yet says so in a box
// (the scan dialog's fallback). Served today: "Configuration" (the settings object's dialog,
// "Configuration" 40121), "Update History" (the history dialog, "History" 40127; also after
// "UPDATED"; its "Update Now" runs the update dialog over it), "About" and the "?" button (the
// about dialog, "About" 40115), "Repository Files" (the repository dialog, "Repository" 40117),
// "Kolvar Scheduler" (starts KVScheduler from the installation folder, without waiting), "Processes
// Manager" (the process manager, "Proc Manager"), "System Information" (its pages, "System Info"),
// "Registry Viewer" (the registry viewer, "Reg Viewer"), "Online Update" (the update dialog,
// "Update" 40125; started at once by "DOUPDATE").
#ifndef KOLVAR_ANTIVIRUS_MAIN_COMMANDS_H_
#define KOLVAR_ANTIVIRUS_MAIN_COMMANDS_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "antivirus/install_paths.h"
#include "antivirus/scan_dialog.h"

namespace kolvar {

class ConfigDialog;
class ConfigurationFile;

struct MainCommandContext {
  InstallPaths paths;
  // The program's configuration (for "InstallDir"); may be null.
  ConfigurationFile* configuration = nullptr;
  // The settings object, which is also the configuration dialog; may be null.
  ConfigDialog* settings = nullptr;
  // Shows a message box of the program.
  std::function<void(std::u16string_view caption, std::u16string_view text, uint32_t style)> box;
};

void PlugMainCommands(ScanDialog& main, const MainCommandContext& context);

// Runs the update dialog over `owner` (the main dialog, or the history's "Update Now");
// `automatic` (the scheduled "DOUPDATE") starts the update at once. After a complete download the
// updater is started and the main dialog ended (whether the updater started or not); true then, so
// that an owner over the main dialog closes too.
bool RunUpdateDialog(ScanDialog& main, ui::Dialog& owner, const MainCommandContext& context,
                     bool automatic);
inline bool RunUpdateDialog(ScanDialog& main, const MainCommandContext& context, bool automatic) {
  return RunUpdateDialog(main, main, context, automatic);
}

// Starts a program of the suite with its command line (none by default), without waiting. False,
// after the box "Error trying to execute: %s. Please reinstall!" captioned "Kolvar AV", when it
// cannot be started.
bool StartSuiteProgram(const std::u16string& program, const MainCommandContext& context,
                       std::u16string_view command_line = u"");

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_MAIN_COMMANDS_H_
