// `kolvar update` and `kolvar update --check`: the update dialog's work on a terminal. The same
// downloader, decisions and messages as the dialog, a live progress line on a terminal, and after
// a complete download the updater started and waited for, then what it installed printed.
// `--check` only asks whether an update is offered for this device (nothing is downloaded or
// recorded). Interrupts cancel the download as the dialog's "Cancel" does.
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_UPDATE_COMMAND_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_UPDATE_COMMAND_H_

#include "antivirus/install_paths.h"
#include "antivirus/kolvar/command_line.h"
#include "antivirus/kolvar/console.h"

namespace kolvar {

// Exit status: update: 0 installed or nothing to install, 2 an error or a refusal; check: 0 an
// update is offered, 1 none is, 2 an error or a refusal.
int RunUpdateCommand(const CommandLine& command, const InstallPaths& paths, Console& console);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_UPDATE_COMMAND_H_
