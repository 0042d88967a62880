// The worker of the applier. Each step is a function of its own and the run stops at the first
// that fails, after telling the user; what was done before stays done, as on the device. Every
// file the run puts in place is replaced whole, so that the program may be killed at any moment
// and leave each installed file old or new.
#include "updater/update_applier.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/file_replacement.h"
#include "common/registry_key.h"
#include "platform/crypto.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/kernel_objects.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "scan_engine/scan_channel.h"
#include "scan_engine/scan_engine.h"
#include "updater/applier_texts.h"
#include "updater/package_installer.h"
#include "updater/rules_library.h"
#include "updater/update_package.h"

namespace kolvar::updater {
namespace {

constexpr uint32_t kTextType = 1;
constexpr uint32_t kIntegerType = 2;
constexpr size_t kMaxPackageFile = 64u << 20;
constexpr size_t kMaxKeysFile = 1u << 20;
constexpr uint32_t kScannerEndWaitMs = 20000;

void Notice(ApplierRun* run, std::u16string_view text) {
  if (run->notice) run->notice(text, platform::kMbIconError);
}

bool RequireSignedUpdates(ConfigStore& store) {
  uint32_t value = 1;
  return !ReadIntegerValue(store, config_keys::kUpdates, config_keys::kRequireSignedUpdates,
                           &value) ||
         value != 0;
}

// The cabinet must carry the publisher's signature beside it (NAME.sig) by one of the keys
// installed with the suite; the applier may be started by hand, so the download's own check is
// not taken on trust.
bool CheckSignature(ApplierRun* run, const std::u16string& install_dir) {
  ConfigStore& main = run->configuration->store();
  if (!RequireSignedUpdates(main)) {
    if (run->notice) run->notice(kUnsignedWarning, platform::kMbIconWarning);
    return true;
  }
  std::string error;
  std::vector<uint8_t> cabinet;
  std::vector<uint8_t> signature;
  std::vector<uint8_t> keys;
  const bool read =
      ReadWholeFile(run->cabinet, kMaxPackageFile, &cabinet, &error) &&
      ReadWholeFile(run->cabinet + config_keys::kSignatureSuffix, platform::kSignatureLength + 1,
                    &signature, &error) &&
      ReadWholeFile(install_dir + config_keys::kUpdateKeysFileName, kMaxKeysFile, &keys, &error);
  if (read &&
      platform::VerifyDetachedSignature(
          cabinet, signature,
          std::string_view(reinterpret_cast<const char*>(keys.data()), keys.size()), &error)) {
    return true;
  }
  Notice(run, FormatText(kBadSignature, {run->cabinet, platform::Utf8ToUtf16Lossy(error)}));
  return false;
}

void DeleteTree(const std::u16string& folder) {
  platform::DirectoryListing listing;
  platform::FindData entry;
  std::vector<platform::FindData> entries;
  for (bool more = listing.First(platform::JoinPath(folder, u"*"), &entry); more;
       more = listing.Next(&entry)) {
    entries.push_back(entry);
  }
  listing.Close();
  for (const platform::FindData& found : entries) {
    const std::u16string path = platform::JoinPath(folder, found.name);
    if (found.kind == platform::EntryKind::kDirectory) {
      DeleteTree(path);
    } else {
      platform::DeleteFile(path);
    }
  }
  platform::RemoveDirectory(folder);
}

std::u16string RegistryText(RegistryKey& key, std::u16string_view name, bool* found) {
  char16_t value[kRegistryMaxPath + 1] = {};
  uint32_t size = sizeof value - sizeof(char16_t);
  *found = key.GetValue(name, kTextType, value, &size);
  return *found ? std::u16string(value, platform::BoundedLength(value, size / sizeof(char16_t)))
                : std::u16string();
}

// Removes what the installer registered for the package.
void RemoveRegistration() {
  RegistryKey app_install(kRegistryPathRoot, kRegistryRootLocalMachine);
  const std::u16string package_key = platform::JoinPath(kAppInstallParent, kPackageName);
  if (app_install.OpenKey(package_key, false, false)) {
    bool found = false;
    const std::u16string uninstall = RegistryText(app_install, kUninstallValue, &found);
    uint32_t attributes = 0;
    if (found && platform::GetFileAttributes(uninstall, &attributes) &&
        (attributes & (platform::kAttributeReadOnly | platform::kAttributeHidden |
                       platform::kAttributeSystem)) != 0) {
      platform::SetFileAttributes(uninstall, platform::kAttributeArchive);
    }
    const size_t at = uninstall.find(kPackageName);
    if (found && at != std::u16string::npos) {
      DeleteTree(uninstall.substr(0, at + std::u16string_view(kPackageName).size()));
    }
    if (app_install.OpenKey(kAppInstallParent, false, false)) {
      app_install.DeleteSubkey(kPackageName);
    }
  }
  RegistryKey apps(kRegistryPathRoot, kRegistryRootLocalMachine);
  if (apps.OpenKey(platform::JoinPath(kAppsParent, kPackageName), false, false)) {
    for (std::u16string_view value :
         {std::u16string_view(kCmdFileValue), std::u16string_view(kIsvFileValue)}) {
      bool found = false;
      const std::u16string file = RegistryText(apps, value, &found);
      if (found) platform::DeleteFile(file);
    }
    if (apps.OpenKey(kAppsParent, false, false)) apps.DeleteSubkey(kPackageName);
  }
}

bool StartAndWait(const std::u16string& program, const std::u16string& arguments,
                  uint32_t* exit_code) {
  platform::Process process;
  if (!platform::Process::Start(program, arguments, {}, &process)) return false;
  process.Wait();
  if (!process.GetExitCode(exit_code)) *exit_code = 0;
  return true;
}

bool InstallCabinet(ApplierRun* run, const std::u16string& install_dir, bool first) {
  const std::u16string name = InstallerName();
  std::u16string windows;
  platform::GetSpecialFolder(platform::SpecialFolder::kWindows, &windows);
  const std::u16string installer = platform::JoinPath(windows, name);
  if (!platform::FileExists(run->cabinet)) {
    Notice(run, kNoCabinet);
    return false;
  }
  std::u16string arguments = u" ";
  if (first) arguments += std::u16string(kNoUninstallSwitch) + u" ";
  arguments += u"\"" + run->cabinet + u"\"";
  uint32_t exit_code = 0;
  if (!StartAndWait(installer, arguments, &exit_code)) {
    uint32_t error = platform::GetLastError();
    std::u16string shown = installer;
    // The device would search its path for the bare name; ours is the suite's own folder.
    if (error == platform::kErrorFileNotFound) {
      shown = name;
      if (StartAndWait(install_dir + name, arguments, &exit_code)) error = 0;
      if (error != 0) error = platform::GetLastError();
    }
    if (error != 0) {
      Notice(run, FormatText(kInstallerNotStarted, {DecimalText(error), shown}));
      return false;
    }
  }
  // An installer that refused the cabinet has installed nothing: going on would record an update
  // that never happened.
  if (exit_code != 0) {
    Notice(run, FormatText(kInstallerFailed, {DecimalText(exit_code), run->cabinet}));
    return false;
  }
  RemoveRegistration();
  return true;
}

bool LoadRules(ApplierRun* run, const std::u16string& install_dir, RulesLibrary* rules,
               std::u16string* rules_path) {
  ConfigStore& updi = run->information->store();
  uint32_t run_dll = 0;
  if (!ReadIntegerValue(updi, kRulesInformation, kRunDll, &run_dll) || run_dll == 0) return true;
  ReadTextValue(updi, kRulesInformation, kDll, rules_path);
  // The path is loaded as code and deleted at the end of the run, so it may not climb out of the
  // folders an update writes to.
  if (!IsConfinedPath(*rules_path)) {
    rules_path->clear();
    Notice(run, kNoRulesLibrary);
    return false;
  }
  ExpandPathMacro(&run->configuration->store(), rules_path);
  std::string error;
  if (!rules->Load(*rules_path, &error)) {
    if (!InstallCabinet(run, install_dir, false) || !rules->Load(*rules_path, &error)) {
      std::fprintf(stderr, "KVUpdater: %s\n", error.c_str());
      Notice(run, kNoRulesLibrary);
      return false;
    }
  }
  const int32_t result =
      rules->PerformAction(kRulesActionBeforeFiles, &run->configuration->store(), &updi);
  if (result != 0) {
    Notice(run, FormatText(kRulesFailed, {DecimalText(result)}));
    return false;
  }
  return true;
}

// The signature files are held open by a running scanner, which would go on with the old
// database: it is asked to end (its presence event, as setup does) and given time to do so.
void EndBackgroundScanner() {
  platform::Event stop;
  if (!stop.Open(kScannerEventName)) return;
  stop.Set();
  stop.Close();
  for (uint32_t waited = 0; waited < kScannerEndWaitMs && platform::ObjectExists(kScannerEventName);
       waited += 50) {
    platform::Sleep(50);
  }
}

struct FileToUpdate {
  std::u16string name;
  std::u16string source;
  std::u16string destination;
};

bool ListFilesToUpdate(ApplierRun* run, const std::u16string& extracted,
                       std::vector<FileToUpdate>* files) {
  ConfigStore& updi = run->information->store();
  if (!updi.SelectSection(kRulesFilesToUpdate) || updi.KeyCount() <= 0) return false;
  std::vector<std::string> names;
  for (bool more = updi.FirstKey(); more; more = updi.NextKey()) {
    names.push_back(updi.CurrentKeyName());
  }
  for (const std::string& key : names) {
    FileToUpdate file;
    std::u16string folder;
    if (!IsPlainFileName(key) || !platform::Utf8ToUtf16(key, &file.name) ||
        !ReadTextValue(updi, kRulesFilesToUpdate, key.c_str(), &folder) || !IsMacroFolder(folder) ||
        !ExpandPathMacro(&run->configuration->store(), &folder)) {
      return false;
    }
    file.source = platform::JoinPath(extracted, file.name);
    file.destination = platform::JoinPath(folder, file.name);
    if (!platform::FileExists(file.source)) return false;
    files->push_back(std::move(file));
  }
  return true;
}

bool UpdateFiles(ApplierRun* run, std::u16string* extracted) {
  ConfigStore& updi = run->information->store();
  // The folder's files are deleted and the folder removed at the end of the run: a ".." in it
  // would reach folders that no update owns.
  if (!ReadTextValue(updi, kRulesInformation, kExtracted, extracted) ||
      !IsMacroFolder(*extracted) || !ExpandPathMacro(&run->configuration->store(), extracted)) {
    extracted->clear();
    Notice(run, kBadUpdateFile);
    return false;
  }
  uint32_t do_update = 0;
  if (!ReadIntegerValue(updi, kRulesInformation, kDoUpdateFiles, &do_update) || do_update == 0) {
    return true;
  }
  std::vector<FileToUpdate> files;
  if (!ListFilesToUpdate(run, *extracted, &files)) {
    Notice(run, kFilesMissing);
    return false;
  }
  EndBackgroundScanner();
  for (const FileToUpdate& file : files) {
    std::vector<uint8_t> bytes;
    std::string error;
    // A copy that fails is reported: an update that is recorded without its files would never be
    // offered again.
    if (!ReadWholeFile(file.source, kMaxPackageFile, &bytes, &error) ||
        !ReplaceFileContents(file.destination, bytes.data(), bytes.size())) {
      Notice(run, kFilesMissing);
      return false;
    }
  }
  return true;
}

void CopyText(ConfigStore& main, ConfigStore& from, const char* from_key, const char* to_key) {
  char16_t value[256] = {};
  uint32_t size = 512;
  if (!from.GetValue(from_key, &size, value, config_keys::kUpdates)) return;
  size = std::min<uint32_t>(size, 512);
  if (!main.SetValue(to_key, kTextType, size, value, config_keys::kUpdates) &&
      main.SelectSection(config_keys::kUpdates)) {
    main.AddValue(to_key, kTextType, size, value);
  }
}

void SetInteger(ConfigStore& main, const char* key, uint32_t value) {
  if (!main.SetValue(key, kIntegerType, sizeof value, &value, config_keys::kUpdates) &&
      main.SelectSection(config_keys::kUpdates)) {
    main.AddValue(key, kIntegerType, sizeof value, &value);
  }
}

bool RecordUpdate(ApplierRun* run) {
  ConfigStore& main = run->configuration->store();
  CopyText(main, main, config_keys::kUpdateId, config_keys::kLastUpdateId);
  CopyText(main, main, config_keys::kReleaseDate, config_keys::kLastReleaseDate);
  CopyText(main, main, config_keys::kUpdateTime, config_keys::kLastUpdateTime);
  uint32_t size = 0;
  if (ReadIntegerValue(main, config_keys::kUpdates, config_keys::kUpdateFileSize, &size)) {
    SetInteger(main, config_keys::kLastUpdateFileSize, size);
  }
  SetInteger(main, config_keys::kFlagUpdateAvailable, 0);
  return run->configuration->Save();
}

void WriteHistory(ApplierRun* run, const std::u16string& install_dir) {
  ConfigStore& updi = run->information->store();
  std::string history;
  if (updi.SelectSection(kUpdateHistory)) {
    const int32_t count = updi.KeyCount();
    for (int32_t i = 0; i < count; ++i) {
      char key[16];
      std::snprintf(key, sizeof key, kHistoryKeyFormat, static_cast<int>(i));
      char line[64] = {};
      uint32_t size = sizeof line - 1;
      if (!updi.GetValue(key, &size, line, kUpdateHistory)) continue;
      history.append(line, strnlen(line, sizeof line - 1));
    }
  }
  ReplaceFileContents(install_dir + kHistoryFileName, history.data(), history.size());
}

// Both folders come from macro paths of plain names, so their host paths compare as they are.
bool SameFolder(std::u16string_view a, std::u16string_view b) {
  while (a.ends_with(u'\\')) a.remove_suffix(1);
  while (b.ends_with(u'\\')) b.remove_suffix(1);
  return platform::HostPath(a) == platform::HostPath(b);
}

void CleanUp(ApplierRun* run, const std::u16string& install_dir, const std::u16string& extracted,
             const std::u16string& rules_path) {
  ConfigStore& updi = run->information->store();
  if (updi.SelectSection(kRulesFilesToUpdate)) {
    std::vector<std::string> names;
    for (bool more = updi.FirstKey(); more; more = updi.NextKey()) {
      names.push_back(updi.CurrentKeyName());
    }
    for (const std::string& key : names) {
      std::u16string name;
      std::u16string destination;
      // A package that extracts straight into a file's destination has put the file in place:
      // deleting the "extracted" copy would delete the update itself.
      if (ReadTextValue(updi, kRulesFilesToUpdate, key.c_str(), &destination) &&
          ExpandPathMacro(&run->configuration->store(), &destination) &&
          SameFolder(destination, extracted)) {
        continue;
      }
      if (IsPlainFileName(key) && platform::Utf8ToUtf16(key, &name)) {
        platform::DeleteFile(platform::JoinPath(extracted, name));
      }
    }
  }
  if (!rules_path.empty()) platform::DeleteFile(rules_path);
  if (!extracted.empty()) platform::RemoveDirectory(extracted);
  run->information.reset();
  const std::u16string downloads = install_dir + kUpdatesFolderName;
  platform::DirectoryListing listing;
  platform::FindData entry;
  std::vector<std::u16string> files;
  for (bool more = listing.First(platform::JoinPath(downloads, u"*"), &entry); more;
       more = listing.Next(&entry)) {
    if (entry.kind == platform::EntryKind::kRegular) files.push_back(entry.name);
  }
  listing.Close();
  for (const std::u16string& name : files)
    platform::DeleteFile(platform::JoinPath(downloads, name));
}

}  // namespace

std::u16string InstallerName() {
  RegistryKey key(kRegistryPathRoot, kRegistryRootClassesRoot);
  char16_t value[kRegistryMaxPath + 1] = {};
  uint32_t size = sizeof value - sizeof(char16_t);
  if (key.OpenKey(config_keys::kInstallerCommandKey, false, false) &&
      key.GetValue(config_keys::kInstallerCommandValue, kTextType, value, &size)) {
    std::u16string command(value, platform::BoundedLength(value, size / sizeof(char16_t)));
    // A command that begins with a space names no program.
    const size_t space = command.find(u' ');
    if (space != std::u16string::npos && space > 0) return command.substr(0, space);
  }
  return config_keys::kDefaultInstallerName;
}

bool ApplyUpdate(ApplierRun* run) {
  const std::u16string install_dir = InstallDirValue(run->configuration->store());
  run->progress->SetPosition(0);
  run->progress->SetStatus(kInitializing);
  platform::Sleep(run->pause_ms);
  if (!CheckSignature(run, install_dir)) return false;
  if (!InstallCabinet(run, install_dir, true)) return false;
  RulesLibrary rules;
  std::u16string rules_path;
  if (!LoadRules(run, install_dir, &rules, &rules_path)) return false;

  run->progress->SetPosition(25);
  run->progress->SetStatus(kUpdatingFiles);
  std::u16string extracted;
  if (!UpdateFiles(run, &extracted)) {
    Notice(run, kUpdateFailed);
    return false;
  }
  platform::Sleep(run->pause_ms);
  run->progress->SetPosition(90);
  run->progress->SetStatus(kSettingRegistry);
  RecordUpdate(run);
  platform::Sleep(run->pause_ms);
  run->progress->SetPosition(95);
  run->progress->SetStatus(kFinishing);
  platform::Sleep(run->pause_ms);
  run->progress->SetPosition(100);
  if (rules.IsLoaded()) {
    rules.PerformAction(kRulesActionAfterConfiguration, &run->configuration->store(),
                        &run->information->store());
    rules.Unload();
  }
  WriteHistory(run, install_dir);
  CleanUp(run, install_dir, extracted, rules_path);
  platform::Process main;
  platform::Process::Start(install_dir + kMainProgram, kUpdatedWord, {}, &main);
  return true;
}

}  // namespace kolvar::updater
