// The start of the updater after a download; see updater_start.h.
#include "antivirus/update/updater_start.h"

#include "antivirus/update/update_downloader.h"
#include "platform/file.h"
#include "platform/path.h"

namespace kolvar {

std::u16string UpdaterPath(std::u16string_view install_folder) {
  return platform::JoinPath(install_folder, kUpdaterProgram);
}

bool StartUpdater(std::u16string_view install_folder, const std::u16string& cabinet_path,
                  const std::u16string& history_path, const ProgramStarter& start) {
  const bool started = start && start(UpdaterPath(install_folder), cabinet_path);
  const std::u16string backup = history_path + kHistoryBackupSuffix;
  if (!started && platform::FileExists(backup)) {
    platform::CopyFile(backup, history_path, /*fail_if_exists=*/false);
  }
  platform::DeleteFile(backup);
  return started;
}

}  // namespace kolvar
