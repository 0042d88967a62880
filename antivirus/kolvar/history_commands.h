// The history dialog and the virus list as terminal commands: `kolvar history` prints the lines
// of the update history, `kolvar viruses [--json]` every record of the virus detail database
// (id, name, description, recommendation) in file order, and what is wrong with a damaged file.
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_HISTORY_COMMANDS_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_HISTORY_COMMANDS_H_

#include "antivirus/install_paths.h"
#include "antivirus/kolvar/repository_commands.h"
#include "common/message_text.h"

namespace kolvar {

CommandResult HistoryCommand(const InstallPaths& paths, const UserNotice& notice);
CommandResult VirusesCommand(const InstallPaths& paths, bool json, const UserNotice& notice);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_HISTORY_COMMANDS_H_
