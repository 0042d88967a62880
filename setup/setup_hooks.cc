// The steps of the setup library's entry points; see setup_hooks.h.
#include "setup/setup_hooks.h"

#include <memory>

#include "antivirus/install_paths.h"
#include "antivirus/user_settings.h"
#include "common/configuration.h"
#include "common/message_text.h"
#include "common/registry_key.h"
#include "ipc/ipc_names.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/notification.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/startup_shortcut.h"
#include "scan_engine/scan_channel.h"
#include "scan_engine/scan_engine.h"
#include "scheduling/task_notifications.h"
#include "setup/boot_start.h"
#include "setup/folder_cleanup.h"
#include "setup/kvmsetup.h"
#include "setup/program_stopper.h"
#include "setup/registry_cleanup.h"
#include "setup/setup_texts.h"

namespace kolvar::setup {
namespace {

int Show(std::u16string_view text, uint32_t style) {
  return platform::MessageBox(kSetupProgramName, kSetupCaption, text, style);
}

void ShowNotices(const StopOutcome& outcome) {
  for (const std::u16string& notice : outcome.notices) {
    Show(notice, platform::kMbOk | platform::kMbIconWarning);
  }
}

// Looking up the program failed for another reason than its not running.
bool LookupFailed(const StopOutcome& outcome) {
  return !outcome.found && outcome.status != kStatusProgramNotRunning;
}

std::u16string WithoutTrailingSeparator(std::u16string folder) {
  while (folder.size() > 1 && folder.back() == u'\\') folder.pop_back();
  return folder;
}

// The background programs' output file in the Windows folder, which the front ends use too.
std::u16string DaemonOutput() {
  std::u16string windows;
  if (!platform::GetSpecialFolder(platform::SpecialFolder::kWindows, &windows)) return {};
  return platform::JoinPath(windows, kDaemonOutputFileName);
}

// The notification service's start-at-login entry, when it starts the dispatcher of `folder`.
// True when it did.
bool RemoveDispatcherEntry(std::u16string_view folder) {
  std::u16string startup;
  if (!platform::GetSpecialFolder(platform::SpecialFolder::kStartup, &startup)) return false;
  const std::u16string entry = platform::JoinPath(startup, kDispatcherEntryFileName);
  platform::File file;
  if (!file.Open(entry, platform::FileAccess::kRead, platform::CreateDisposition::kOpenExisting)) {
    return false;
  }
  std::string text(4096, '\0');
  uint32_t read = 0;
  file.Read(text.data(), static_cast<uint32_t>(text.size()), &read);
  file.Close();
  text.resize(read);
  const std::string dispatcher =
      platform::HostPath(platform::JoinPath(folder, platform::kNotificationDaemonName));
  // The entry names the program quoted; a path with characters that its format escapes is rare
  // enough to be left to the user.
  if (text.find("\"" + dispatcher + "\"") == std::string::npos) return false;
  platform::DeleteFile(entry);
  return true;
}

// The output file of a dispatcher started on demand, in the temporary folder.
void RemoveDispatcherOutput() {
  std::u16string temp;
  if (platform::GetSpecialFolder(platform::SpecialFolder::kTemp, &temp)) {
    platform::DeleteFile(platform::JoinPath(temp, platform::kNotificationDaemonLogName));
  }
}

}  // namespace

bool SetupHooks::StopResidentPrograms(std::u16string_view folder) {
  programs_folder_ = folder;
  const StopOutcome scanner = StopProgram(folder, kScannerProgram, kScannerEventName, kStopWaitMs);
  ShowNotices(scanner);
  if (LookupFailed(scanner)) return false;
  const StopOutcome service =
      StopProgram(folder, kIpcServiceProgram, kIpcServiceEventName, kStopWaitMs);
  ShowNotices(service);
  return !LookupFailed(service);
}

int32_t SetupHooks::InstallInit(std::u16string_view install_dir) {
  return StopResidentPrograms(install_dir) ? kSetupContinue : kSetupCancel;
}

int32_t SetupHooks::InstallExit(std::u16string_view install_dir) {
  platform::StartOptions options;
  options.detached = true;
  options.output_file = DaemonOutput();
  platform::Process::Start(platform::JoinPath(install_dir, kIpcServiceProgram), u"", options,
                           &service_);
  Show(kInstallationSuccessful, platform::kMbOk | platform::kMbIconInformation);
  return kSetupContinue;
}

std::u16string SetupHooks::AcceptedFolder(std::u16string_view configured,
                                          std::u16string_view installer) {
  if (configured.empty()) return std::u16string();
  const std::u16string folder = WithoutTrailingSeparator(std::u16string(configured));
  const char16_t* reason = nullptr;
  if (IsProtectedFolder(folder)) {
    reason = kFolderProtected;
  } else if (!installer.empty() && NormalFolder(folder) != NormalFolder(installer)) {
    reason = kFolderNotInstallers;
  } else if (!HoldsSuitePrograms(folder)) {
    reason = kFolderNotInstallation;
  }
  if (reason == nullptr) return folder;
  Show(FormatText(kFolderNotEmptied, {folder, reason}), platform::kMbOk | platform::kMbIconWarning);
  return std::u16string();
}

int32_t SetupHooks::UninstallInit(std::u16string_view install_dir) {
  std::unique_ptr<ConfigurationFile> configuration;
  const bool configured = OpenConfiguration(/*keep_as_is=*/true, &configuration);
  const std::u16string configured_folder =
      configured ? InstallDirValue(configuration->store()) : std::u16string();
  const std::u16string folder = AcceptedFolder(configured_folder, install_dir);

  if (!folder.empty()) {
    const uint32_t quarantined = CountFiles(platform::JoinPath(folder, kQuarantineFolderName));
    if (quarantined > 0 &&
        Show(FormatText(kQuarantineRemoved, {DecimalText(quarantined)}),
             platform::kMbOkCancel | platform::kMbIconWarning) != platform::kIdOk) {
      return kSetupCancel;
    }
  }

  const std::u16string programs = !install_dir.empty()
                                      ? std::u16string(install_dir)
                                      : WithoutTrailingSeparator(configured_folder);
  if (!programs.empty()) {
    if (!StopResidentPrograms(programs)) return kSetupCancel;
    StopProgram(programs, kSchedulerProgramName, u"", 0);
    // The dispatcher of the notification service runs from the installation too; its
    // registrations of the task manager go below, and nothing else of the suite registers.
    dispatcher_stopped_ = StopProgram(programs, platform::kNotificationDaemonName, u"", 0).found;
  }

  if (configured) {
    if (!configured_folder.empty()) {
      ClearTaskNotifications(TaskManagerPath(configured_folder), kAllTasks);
    }
    if (!folder.empty()) {
      EmptyFolder(platform::JoinPath(folder, kUpdatesFolderName));
      EmptyFolder(platform::JoinPath(folder, kQuarantineFolderName));
    }
    const std::u16string path = configuration->path();
    configuration.reset();
    platform::SetFileAttributes(path, platform::kAttributeNormal);
    platform::DeleteFile(path);
  }
  folder_to_empty_ = folder;
  return kSetupContinue;
}

int32_t SetupHooks::UninstallExit() {
  RegistryKey company(kRegistryPathRoot, kRegistryRootCurrentUser);
  if (company.OpenKey(kCompanyKeyPath, /*relative=*/false, /*create=*/false)) {
    company.DeleteSubkey(kIpcServiceKeyName);
  }
  // The company key has nothing else of the suite; it goes when it is left empty.
  RemoveEmptyKeys(platform::RegistryRoot::kCurrentUser, kCompanyKeyPath, /*kept_levels=*/1);
  RemoveBootStart();
  std::u16string shortcut;
  if (platform::StartupShortcutPath(kStartupShortcutName, &shortcut)) {
    platform::DeleteFile(shortcut);
  }
  const bool dispatcher_entry =
      !programs_folder_.empty() && RemoveDispatcherEntry(programs_folder_);
  if (dispatcher_stopped_ || dispatcher_entry) RemoveDispatcherOutput();
  const std::u16string daemon_output = DaemonOutput();
  if (!daemon_output.empty()) platform::DeleteFile(daemon_output);
  if (!folder_to_empty_.empty()) EmptyFolder(folder_to_empty_);
  folder_to_empty_.clear();
  programs_folder_.clear();
  dispatcher_stopped_ = false;
  return kSetupContinue;
}

}  // namespace kolvar::setup
