// The installer's steps around the setup library's entry points; see suite_installer.h.
#include "tools/kvsetup/suite_installer.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/config_keys.h"
#include "common/registry_key.h"
#include "common/status.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/registry_store.h"
#include "platform/shared_library.h"
#include "platform/text.h"
#include "setup/boot_start.h"
#include "setup/kvmsetup.h"
#include "setup/registry_cleanup.h"
#include "setup/setup_texts.h"
#include "tools/kvsetup/suite_files.h"

namespace kolvar::kvsetup {
namespace {

using config_keys::kDefaultInstallerName;
using config_keys::kInstallerCommand;
using config_keys::kInstallerCommandKey;
using config_keys::kInstallerCommandValue;

std::string Shown(std::u16string_view path) { return platform::ShownPath(path); }

std::string ErrorText(uint32_t error) { return platform::Utf16ToUtf8(SystemErrorText(error)); }

// The entry points of one loaded setup library. It is never unloaded: the programs it starts are
// watched by a thread of its own code (which reaps them when they end), and that code must stay
// mapped for as long as the process lives.
struct SetupLibrary {
  platform::SharedLibrary library;
  InstallInitEntry install_init = nullptr;
  InstallExitEntry install_exit = nullptr;
  UninstallInitEntry uninstall_init = nullptr;
  UninstallExitEntry uninstall_exit = nullptr;

  bool Load(const std::u16string& path) {
    std::string error;
    if (!library.Load(path, &error)) {
      std::fprintf(stderr, "kvsetup: cannot load %s: %s\n", Shown(path).c_str(), error.c_str());
      return false;
    }
    install_init =
        reinterpret_cast<InstallInitEntry>(library.Symbol(setup::kInstallInitSymbol, &error));
    install_exit =
        reinterpret_cast<InstallExitEntry>(library.Symbol(setup::kInstallExitSymbol, &error));
    uninstall_init =
        reinterpret_cast<UninstallInitEntry>(library.Symbol(setup::kUninstallInitSymbol, &error));
    uninstall_exit =
        reinterpret_cast<UninstallExitEntry>(library.Symbol(setup::kUninstallExitSymbol, &error));
    if (install_init && install_exit && uninstall_init && uninstall_exit) return true;
    std::fprintf(stderr, "kvsetup: %s is no setup library of Kolvar AV: %s\n", Shown(path).c_str(),
                 error.c_str());
    return false;
  }
};

// Held for the process's life (see SetupLibrary).
SetupLibrary* loaded_library = nullptr;

// Creates the folder and every missing folder above it.
bool MakeFolders(const std::u16string& folder) {
  if (platform::DirectoryExists(folder)) return true;
  const size_t slash = folder.rfind(u'\\');
  if (slash != std::u16string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash))) {
    return false;
  }
  return platform::CreateDirectory(folder) ||
         platform::GetLastError() == platform::kErrorAlreadyExists;
}

// The package's files, copied into a fresh folder of the device's temporary folder so that the
// device can reach them whatever host folder the package lies in. False (with a message) when a
// required file is missing or a copy fails.
bool StagePackage(const std::string& package, std::u16string* staging) {
  std::u16string temp;
  if (!platform::GetSpecialFolder(platform::SpecialFolder::kTemp, &temp)) {
    std::fprintf(stderr, "kvsetup: no temporary folder: %s\n",
                 ErrorText(platform::GetLastError()).c_str());
    return false;
  }
  *staging = platform::JoinPath(
      temp, u"kvsetup-" + platform::Utf8ToUtf16Lossy(std::to_string(platform::CurrentProcessId())));
  const std::filesystem::path target(platform::HostPath(*staging));
  std::error_code error;
  std::filesystem::remove_all(target, error);
  if (!std::filesystem::create_directory(target, error)) {
    std::fprintf(stderr, "kvsetup: cannot make %s: %s\n", target.c_str(), error.message().c_str());
    return false;
  }
  std::filesystem::permissions(target, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::replace, error);
  for (const SuiteFile& file : SuiteFiles()) {
    const std::string name = platform::Utf16ToUtf8(file.name);
    const std::filesystem::path source = std::filesystem::path(package) / name;
    if (!std::filesystem::is_regular_file(source, error)) {
      if (!file.required) continue;
      std::fprintf(stderr, "kvsetup: %s holds no built Kolvar AV (%s is missing)\n",
                   package.c_str(), name.c_str());
      return false;
    }
    if (!std::filesystem::copy_file(source, target / name, error)) {
      std::fprintf(stderr, "kvsetup: cannot copy %s: %s\n", source.c_str(),
                   error.message().c_str());
      return false;
    }
  }
  return true;
}

void RemoveStaging(const std::u16string& staging) {
  std::error_code error;
  std::filesystem::remove_all(platform::HostPath(staging), error);
}

// Copies a file over its destination, which may be read-only from an earlier installation.
bool PutFile(const std::u16string& from, const std::u16string& to) {
  if (platform::FileExists(to)) platform::SetFileAttributes(to, platform::kAttributeNormal);
  if (platform::CopyFile(from, to, /*fail_if_exists=*/false)) return true;
  std::fprintf(stderr, "kvsetup: cannot install %s: %s\n", Shown(to).c_str(),
               ErrorText(platform::GetLastError()).c_str());
  return false;
}

bool SetText(RegistryKey& key, std::u16string_view name, std::u16string_view text) {
  std::u16string data(text);
  data.push_back(u'\0');
  return key.SetValue(name, platform::kRegSz, data.data(),
                      static_cast<uint32_t>(data.size() * sizeof(char16_t)));
}

bool ReadText(RegistryKey& key, std::u16string_view name, std::u16string* text) {
  char16_t value[kRegistryMaxPath + 1] = {};
  uint32_t size = sizeof value - sizeof(char16_t);
  if (!key.GetValue(name, platform::kRegSz, value, &size)) return false;
  *text = std::u16string(value, platform::BoundedLength(value, size / sizeof(char16_t)));
  return true;
}

// The cabinet installer in the Windows folder and its registration, which the update applier
// uses to install update packages.
bool RegisterCabinetInstaller(const std::u16string& folder) {
  const std::u16string program = platform::JoinPath(folder, kDefaultInstallerName);
  if (!platform::FileExists(program)) return true;  // a package without the applier
  std::u16string windows;
  if (!platform::GetSpecialFolder(platform::SpecialFolder::kWindows, &windows)) return false;
  RegistryKey command(kRegistryPathRoot, kRegistryRootClassesRoot);
  const bool registered = command.OpenKey(kInstallerCommandKey, false, /*create=*/true) &&
                          SetText(command, kInstallerCommandValue, kInstallerCommand);
  if (!registered) std::fprintf(stderr, "kvsetup: cannot register the cabinet installer\n");
  return PutFile(program, platform::JoinPath(windows, kDefaultInstallerName)) && registered;
}

// Takes the cabinet installer out again when it is still the one the suite registered.
void RemoveCabinetInstaller() {
  RegistryKey command(kRegistryPathRoot, kRegistryRootClassesRoot);
  std::u16string text;
  if (!command.OpenKey(kInstallerCommandKey, false, false) ||
      !ReadText(command, kInstallerCommandValue, &text) || text != kInstallerCommand) {
    return;
  }
  command.DeleteValue(kInstallerCommandValue);
  setup::RemoveEmptyKeys(platform::RegistryRoot::kClassesRoot, kInstallerCommandKey, 0);
  std::u16string windows;
  if (platform::GetSpecialFolder(platform::SpecialFolder::kWindows, &windows)) {
    platform::DeleteFile(platform::JoinPath(windows, kDefaultInstallerName));
  }
}

}  // namespace

int InstallSuite(const std::string& package, const std::u16string& folder) {
  std::u16string staging;
  if (!StagePackage(package, &staging)) {
    RemoveStaging(staging);
    return kExitFailed;
  }
  SetupLibrary& setup = *new SetupLibrary;
  loaded_library = &setup;
  if (!setup.Load(platform::JoinPath(staging, setup::kSetupLibraryFileName))) {
    RemoveStaging(staging);
    return kExitFailed;
  }
  const bool previously_installed =
      platform::FileExists(platform::JoinPath(folder, setup::kSetupLibraryFileName));
  if (setup.install_init(nullptr, 1, previously_installed ? 1 : 0, folder.c_str()) !=
      setup::kSetupContinue) {
    std::fprintf(stderr,
                 "kvsetup: installation cancelled: a running program of Kolvar AV in %s could not "
                 "be looked up; nothing was changed\n",
                 Shown(folder).c_str());
    RemoveStaging(staging);
    return kExitCancelled;
  }

  uint16_t failed_folders = 0;
  uint16_t failed_files = 0;
  uint16_t failed_keys = 0;
  if (!MakeFolders(folder)) {
    std::fprintf(stderr, "kvsetup: cannot make %s: %s\n", Shown(folder).c_str(),
                 ErrorText(platform::GetLastError()).c_str());
    RemoveStaging(staging);
    return kExitFailed;
  }
  if (!MakeFolders(platform::JoinPath(folder, setup::kQuarantineFolderName))) ++failed_folders;
  for (const SuiteFile& file : SuiteFiles()) {
    const std::u16string from = platform::JoinPath(staging, file.name);
    const std::u16string to = platform::JoinPath(folder, file.name);
    if (!platform::FileExists(from)) continue;
    if (file.keep_existing && platform::FileExists(to)) continue;
    if (!PutFile(from, to)) ++failed_files;
  }
  RemoveStaging(staging);
  if (!RegisterCabinetInstaller(folder)) ++failed_keys;
  if (!setup::RegisterBootStart(folder)) {
    std::fprintf(stderr, "kvsetup: cannot register the IPC service's start at login\n");
    ++failed_keys;
  }
  setup.install_exit(nullptr, folder.c_str(), failed_folders, failed_files, failed_keys, 0, 0);
  if (failed_folders + failed_files + failed_keys > 0) {
    std::fprintf(stderr, "kvsetup: Kolvar AV installed in %s with failures\n",
                 Shown(folder).c_str());
    return kExitFailed;
  }
  std::printf("kvsetup: Kolvar AV installed in %s\n", Shown(folder).c_str());
  return kExitDone;
}

int UninstallSuite(const std::u16string& folder) {
  const std::u16string library = platform::JoinPath(folder, setup::kSetupLibraryFileName);
  if (!platform::FileExists(library)) {
    std::fprintf(stderr, "kvsetup: no installation of Kolvar AV in %s\n", Shown(folder).c_str());
    return kExitFailed;
  }
  SetupLibrary& setup = *new SetupLibrary;
  loaded_library = &setup;
  if (!setup.Load(library)) return kExitFailed;
  if (setup.uninstall_init(nullptr, folder.c_str()) != setup::kSetupContinue) {
    std::fprintf(stderr, "kvsetup: removal of Kolvar AV from %s cancelled; nothing was changed\n",
                 Shown(folder).c_str());
    return kExitCancelled;
  }
  for (const SuiteFile& file : SuiteFiles()) {
    const std::u16string path = platform::JoinPath(folder, file.name);
    platform::SetFileAttributes(path, platform::kAttributeNormal);
    platform::DeleteFile(path);
  }
  RemoveCabinetInstaller();
  setup.uninstall_exit(nullptr);
  // What the suite made inside its folder goes when it is empty, and the folder with it; what the
  // user keeps there stays.
  platform::RemoveDirectory(platform::JoinPath(folder, setup::kUpdatesFolderName));
  platform::RemoveDirectory(platform::JoinPath(folder, setup::kQuarantineFolderName));
  platform::RemoveDirectory(folder);
  if (platform::DirectoryExists(folder)) {
    std::printf("kvsetup: Kolvar AV removed; %s still holds files, which were left alone\n",
                Shown(folder).c_str());
  } else {
    std::printf("kvsetup: Kolvar AV removed from %s\n", Shown(folder).c_str());
  }
  return kExitDone;
}

}  // namespace kolvar::kvsetup
