// The device tools on the terminal: `kolvar ps` (the process manager's list: id, name, threads
// and program path of every process) and `kolvar sysinfo PAGE` (the rows of a system information
// page as the dialog shows them), as text tables or as one JSON document.
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_TOOL_COMMANDS_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_TOOL_COMMANDS_H_

#include <string>

#include "antivirus/kolvar/repository_commands.h"

namespace kolvar {

CommandResult ProcessListCommand(bool json);
// `page` is one of general, memory, screen, fonts, battery.
CommandResult SystemInformationCommand(const std::string& page, bool json);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_TOOL_COMMANDS_H_
