// The repository dialog's work as terminal commands: list the quarantined files recorded in
// KVRepository.dat (numbered from 1, with the virus name from KVVirusDBDet.dat) and the protected
// files that no entry names, restore one to the folder it came from, delete its protected copy
// for good, or list the unnamed protected files again (adopt). After an action the entry leaves
// the index as it stands then, so records that a scan appended meanwhile are kept; an entry
// whose action failed stays listed.
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_REPOSITORY_COMMANDS_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_REPOSITORY_COMMANDS_H_

#include <cstddef>
#include <string>
#include <vector>

#include "antivirus/install_paths.h"
#include "antivirus/repository_entries.h"
#include "common/message_text.h"
#include "scan_engine/repository.h"

namespace kolvar {

// Exit statuses of the front end.
inline constexpr int kExitClean = 0;
inline constexpr int kExitInfected = 1;
inline constexpr int kExitError = 2;

// What a command prints: the text for standard output and the exit status. Failures of single
// files are told through the notice, as the dialog's boxes.
struct CommandResult {
  int exit_status = kExitClean;
  std::string output;
};

CommandResult QuarantineList(const InstallPaths& paths, bool json, const UserNotice& notice);
CommandResult QuarantineRestore(const InstallPaths& paths, size_t number, const UserNotice& notice);
CommandResult QuarantineDelete(const InstallPaths& paths, size_t number, const UserNotice& notice);
CommandResult QuarantineAdopt(const InstallPaths& paths, const UserNotice& notice);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_REPOSITORY_COMMANDS_H_
