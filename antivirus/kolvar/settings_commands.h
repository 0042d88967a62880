// The configuration dialog's settings as a terminal command: `kolvar config` prints the four
// settings, `kolvar config KEY` one of them, and `kolvar config KEY VALUE` sets one with the
// dialog's effects (ApplyUserSettings: the keys, the start-up entry, the save), keeping the
// dialog's rule that background scanning and the folder selection on a manual scan exclude each
// other.
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_SETTINGS_COMMANDS_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_SETTINGS_COMMANDS_H_

#include <optional>
#include <string>

#include "antivirus/install_paths.h"
#include "antivirus/kolvar/repository_commands.h"
#include "common/message_text.h"

namespace kolvar {

class ConfigurationFile;

CommandResult ConfigCommand(ConfigurationFile& configuration, const InstallPaths& paths,
                            const std::optional<std::string>& key,
                            const std::optional<std::string>& value, const UserNotice& notice);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_SETTINGS_COMMANDS_H_
