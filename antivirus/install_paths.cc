// Data paths of the installation folder.
#include "antivirus/install_paths.h"

#include "platform/error.h"
#include "platform/path.h"
#include "scan_engine/repository.h"
#include "scan_engine/signature_database.h"
#include "scan_engine/virus_details.h"

namespace kolvar {

std::u16string InstallPaths::Program(std::u16string_view file_name) const {
  return install_folder + std::u16string(file_name);
}

InstallPaths InstallPathsOf(std::u16string_view install_folder) {
  InstallPaths paths;
  paths.install_folder.assign(install_folder);
  if (paths.install_folder.empty() || paths.install_folder.back() != u'\\') {
    paths.install_folder += u'\\';
  }
  paths.signature_database = paths.install_folder + kSignatureDatabaseName;
  paths.virus_details = paths.install_folder + kVirusDetailDatabaseName;
  paths.repository_index = paths.install_folder + kRepositoryIndexName;
  paths.history = paths.install_folder + kHistoryFileName;
  paths.quarantine_folder = QuarantineFolderOf(paths.install_folder);
  return paths;
}

bool RunningInstallPaths(InstallPaths* paths) {
  std::u16string program;
  if (!platform::RunningProgramPath(&program)) return false;
  const size_t separator = program.rfind(u'\\');
  if (separator == std::u16string::npos) return platform::Fail(platform::kErrorPathNotFound);
  *paths = InstallPathsOf(std::u16string_view(program).substr(0, separator + 1));
  // The longest data path must still fit the device's path buffers.
  if (paths->virus_details.size() >= platform::kMaxPath ||
      paths->repository_index.size() >= platform::kMaxPath) {
    return platform::Fail(platform::kErrorFilenameExcedRange);
  }
  return true;
}

std::u16string DaemonOutputFile() {
  std::u16string windows;
  if (!platform::GetSpecialFolder(platform::SpecialFolder::kWindows, &windows)) return {};
  return platform::JoinPath(windows, kDaemonOutputFileName);
}

}  // namespace kolvar
