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
#include "common/message_text.h"
#include "scan_engine/repository.h"

namespace kolvar {

// Exit statuses of the front end.
inline constexpr int kExitClean = 0;
inline constexpr int kExitInfected = 1;
inline constexpr int kExitError = 2;

struct RepositoryEntry {
  size_t number = 0;  // from 1, in index order
  RepositoryRecord record;
  std::u16string virus_name;  // empty when the id has no detail record
  std::u16string home_path;   // folder and file name: where a restore puts it
  std::u16string protected_path;
  bool protected_copy_present = false;
};

// What a command prints: the text for standard output and the exit status. Failures of single
// files are told through the notice, as the dialog's boxes.
struct CommandResult {
  int exit_status = kExitClean;
  std::string output;
};

// False (last error set) when the index exists but cannot be read.
bool ReadRepositoryEntries(const InstallPaths& paths, std::vector<RepositoryEntry>* entries);

CommandResult QuarantineList(const InstallPaths& paths, bool json, const UserNotice& notice);
CommandResult QuarantineRestore(const InstallPaths& paths, size_t number, const UserNotice& notice);
CommandResult QuarantineDelete(const InstallPaths& paths, size_t number, const UserNotice& notice);
CommandResult QuarantineAdopt(const InstallPaths& paths, const UserNotice& notice);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_REPOSITORY_COMMANDS_H_
