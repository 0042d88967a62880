// What follows a complete download: the updater program of the installation folder is started with
// the cabinet's full path as its whole command line, and the update history's backup
// ("KVHistory.upd~") is settled: deleted when the updater started, copied back over the history
// first when it did not.
#ifndef KOLVAR_ANTIVIRUS_UPDATE_UPDATER_START_H_
#define KOLVAR_ANTIVIRUS_UPDATE_UPDATER_START_H_

#include <functional>
#include <string>
#include <string_view>

namespace kolvar {

// The suffix of the history's backup.
inline constexpr char16_t kHistoryBackupSuffix[] = u"~";

// Starts `program` with `command_line`; false when it cannot be started (after telling the user).
using ProgramStarter =
    std::function<bool(const std::u16string& program, const std::u16string& command_line)>;

// The updater's path in the installation folder.
std::u16string UpdaterPath(std::u16string_view install_folder);

// Starts the updater for `cabinet_path` through `start` and settles the backup of `history_path`.
// True when the updater started.
bool StartUpdater(std::u16string_view install_folder, const std::u16string& cabinet_path,
                  const std::u16string& history_path, const ProgramStarter& start);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_UPDATE_UPDATER_START_H_
