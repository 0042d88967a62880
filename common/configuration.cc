// Opening the suite's configuration and update information files, their defaults, and the path
// macros of update rules.
#include "common/configuration.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/config_keys.h"
#include "common/folders.h"
#include "common/message_text.h"
#include "common/status.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/platform_kind.h"
#include "platform/text.h"

namespace kolvar {
namespace {

namespace keys = config_keys;

// A text literal with its terminating NUL, as the defaults store texts; empty text has size 0.
bool AddText(ConfigStore* store, const char* key, std::u16string_view text) {
  const uint32_t size = text.empty() ? 0 : static_cast<uint32_t>((text.size() + 1) * 2);
  const std::u16string copy(text);
  return store->AddValue(key, kConfigTypeText, size, copy.c_str());
}

bool AddInteger(ConfigStore* store, const char* key, uint32_t value) {
  return store->AddValue(key, kConfigTypeInteger, sizeof value, &value);
}

uint32_t PlatformValue() {
  std::u16string type = platform::PlatformTypeText();
  for (char16_t& c : type) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return type.find(u"POCKET") != std::u16string::npos ? 2 : 1;
}

std::u16string RunningFolder() {
  FolderQuery query;
  std::u16string folder;
  if (!query.RunningProgramFolder(&folder)) folder.clear();
  return folder;
}

// Makes BASIC/InstallDir name the folder of the running program (text without NUL) and saves.
void FollowMovedProgram(ConfigurationFile* configuration) {
  const std::u16string folder = RunningFolder();
  if (folder.empty()) return;
  ConfigStore& store = configuration->store();
  std::u16string stored;
  if (ReadTextValue(store, keys::kBasic, keys::kInstallDir, &stored) && stored == folder) return;
  const uint32_t size = static_cast<uint32_t>(folder.size() * 2);
  if (!store.SetValue(keys::kInstallDir, kConfigTypeText, size, folder.data(), keys::kBasic)) {
    // A file that lacks the key (or its section) gets it.
    if (!store.HasSection(keys::kBasic) && !store.AddSection(keys::kBasic)) return;
    if (!store.SelectSection(keys::kBasic)) return;
    if (!store.AddValue(keys::kInstallDir, kConfigTypeText, size, folder.data())) return;
  }
  configuration->Save();
}

// A fresh store of the defaults, saved to the configuration's path when it has one.
bool CreateDefaults(ConfigurationFile* configuration) {
  ConfigStore& store = configuration->store();
  store.Clear();
  return CreateDefaultConfiguration(&store, RunningFolder()) &&
         (configuration->path().empty() || configuration->Save());
}

// The load failed on the file's contents, not on reaching it.
bool IsDamage(Status status) {
  return status == kStatusFileTooShort || status == kStatusBadMagic ||
         status == kStatusEncryptedWithoutCipher || status == kStatusDecryptionFailed;
}

std::u16string Shown(std::u16string_view device_path) {
  return platform::Utf8ToUtf16Lossy(platform::ShownPath(device_path));
}

// Puts the damaged file aside and writes the defaults in its place, all under the store's lock:
// another program that found the same damage meanwhile finds the new file when its turn comes,
// and leaves it alone.
void ReplaceDamagedConfiguration(ConfigurationFile* configuration) {
  ConfigStore& store = configuration->store();
  const std::u16string& path = configuration->path();
  const std::u16string kept = path + kDamagedFileSuffix;
  store.WithLock([&] {
    store.Clear();
    if (store.Load(path, false)) {
      FollowMovedProgram(configuration);
      return;
    }
    uint32_t system_error = 0;
    const Status status = store.GetStatus(&system_error);
    if (!IsDamage(status)) return;
    const std::u16string cause = FailureText(status, system_error);
    if (!platform::ReplaceFile(path, kept)) {
      const std::u16string refusal = SystemErrorText(platform::GetLastError());
      store.Clear();
      CreateDefaultConfiguration(&store, RunningFolder());
      configuration->set_damage_notice(
          FormatText(kDamagedConfigurationKeptMessage, {Shown(path), cause, refusal}));
      return;
    }
    CreateDefaults(configuration);
    configuration->set_damage_notice(
        FormatText(kDamagedConfigurationMessage, {Shown(path), cause, Shown(kept)}));
  });
}

}  // namespace

ConfigurationFile::ConfigurationFile(std::u16string_view store_name, KeyMaterialUse key)
    : cipher_(kEnhancedProvider, kProviderTypeRsaFull), store_(store_name) {
  const KeyMaterial material = GetKeyMaterial(key);
  if (cipher_.SetKeyMaterial(material.data(), static_cast<uint32_t>(material.size()))) {
    cipher_.DeriveKey();
  }
  store_.AttachCipher(&cipher_);
}

void ConfigurationFile::ReloadWhenSavedElsewhere() {
  if (!path_.empty() && store_.IsModifiedElsewhere()) store_.Load(path_, /*clear_first=*/true);
}

bool ReadTextValue(ConfigStore& store, const char* section, const char* key, std::u16string* text) {
  uint32_t size = 0;
  if (!store.GetValue(key, &size, nullptr, section)) return false;
  std::vector<char16_t> buffer(size / 2 + 1, u'\0');
  uint32_t capacity = static_cast<uint32_t>((buffer.size() - 1) * 2);
  if (!store.GetValue(key, &capacity, buffer.data(), section)) return false;
  text->assign(buffer.data(), size / 2);
  while (!text->empty() && text->back() == u'\0') text->pop_back();
  return true;
}

bool ReadIntegerValue(ConfigStore& store, const char* section, const char* key, uint32_t* value) {
  uint32_t read = 0;
  uint32_t size = sizeof(read);
  if (!store.GetValue(key, &size, &read, section) || size != sizeof(read)) return false;
  *value = read;
  return true;
}

std::u16string InstallDirValue(ConfigStore& store) {
  std::u16string folder;
  if (!ReadTextValue(store, keys::kBasic, keys::kInstallDir, &folder)) folder.clear();
  return folder;
}

bool CurrentBackgroundScanning(ConfigurationFile& configuration, bool* readable) {
  configuration.ReloadWhenSavedElsewhere();
  uint32_t value = 0;
  *readable = ReadIntegerValue(configuration.store(), keys::kConfig, keys::kEnableBckScan, &value);
  return *readable && value != 0;
}

bool CreateDefaultConfiguration(ConfigStore* store, std::u16string_view install_dir) {
  bool ok =
      store->AddSection(keys::kBasic) && AddText(store, keys::kVersion, keys::kDefaultVersion);
  ok = ok && store->AddValue(keys::kInstallDir, kConfigTypeText,
                             static_cast<uint32_t>(install_dir.size() * 2), install_dir.data());
  ok = ok && AddInteger(store, keys::kPlatform, PlatformValue());

  ok = ok && store->AddSection(keys::kUpdates) && AddText(store, keys::kProxyPwd, u"") &&
       AddText(store, keys::kProxyUser, u"") && AddText(store, keys::kProxyServer, u"") &&
       AddInteger(store, keys::kProxyPort, 80) &&
       AddInteger(store, keys::kLoginPasswordRequired, 0) &&
       AddInteger(store, keys::kProxyRequired, 0) && AddText(store, keys::kUpdateId, u"") &&
       AddText(store, keys::kUpdateTime, u"") && AddText(store, keys::kReleaseDate, u"") &&
       AddInteger(store, keys::kUpdateFileSize, 0) &&
       AddInteger(store, keys::kFlagUpdateAvailable, 0) && AddText(store, keys::kUpdateExec, u"") &&
       AddInteger(store, keys::kLastUpdateFileSize, 0) &&
       AddText(store, keys::kLastUpdateId, u"") && AddText(store, keys::kLastUpdateTime, u"") &&
       AddText(store, keys::kLastReleaseDate, u"") &&
       AddText(store, keys::kUpdateUrl, keys::kDefaultUpdateUrl) &&
       AddText(store, keys::kUpdateUrlFile, keys::kUpdateInformationFileName) &&
       AddText(store, keys::kUpdateVersion, keys::kDefaultUpdateVersion);

  ok = ok && store->AddSection(keys::kConfig) &&
       AddText(store, keys::kShorcutPath, keys::kDefaultShortcutPath) &&
       AddInteger(store, keys::kEnableBckScan, 0) && AddInteger(store, keys::kAutoStartup, 0) &&
       AddInteger(store, keys::kSplashScreen, 1) &&
       AddInteger(store, keys::kEnableFolderSelection, 0);
  return ok;
}

bool OpenConfiguration(bool keep_as_is, std::unique_ptr<ConfigurationFile>* configuration) {
  auto opened = std::make_unique<ConfigurationFile>(ConfigStore::kConfigurationName,
                                                    KeyMaterialUse::kConfiguration);
  FolderQuery query;
  std::u16string windows;
  if (query.WindowsFolder(&windows)) {
    opened->set_path(platform::JoinPath(windows, keys::kConfigurationFileName));
  }
  ConfigStore& store = opened->store();
  bool result = true;
  if (!opened->path().empty() && query.FileExists(opened->path())) {
    if (store.Load(opened->path(), false)) {
      if (!keep_as_is) FollowMovedProgram(opened.get());
    } else if (!keep_as_is && IsDamage(store.GetStatus())) {
      ReplaceDamagedConfiguration(opened.get());
    }
    // A file that cannot be opened stays as it is; the program goes on with what was read.
  } else if (!keep_as_is) {
    CreateDefaults(opened.get());
  } else {
    result = false;
  }
  *configuration = std::move(opened);
  return result;
}

bool OpenUpdateInformation(std::u16string_view path,
                           std::unique_ptr<ConfigurationFile>* information) {
  auto opened = std::make_unique<ConfigurationFile>(ConfigStore::kUpdateInformationName,
                                                    KeyMaterialUse::kUpdateInformation);
  opened->set_path(path);
  const bool loaded = opened->store().Load(path, false);
  *information = std::move(opened);
  return loaded;
}

bool ExpandPathMacro(ConfigStore* configuration, std::u16string* path) {
  if (path == nullptr) return false;
  struct Macro {
    std::u16string_view text;
    int base;
  };
  static constexpr Macro kMacros[] = {
      {u"#personal#", 0}, {u"#program#", 1}, {u"#windows#", 2}, {u"#temp#", 3}};
  const Macro* found = nullptr;
  for (const Macro& macro : kMacros) {
    if (path->starts_with(macro.text)) {
      found = &macro;
      break;
    }
  }
  if (found == nullptr) return false;

  FolderQuery query;
  std::u16string base;
  bool have_base = false;
  switch (found->base) {
    case 0:
      have_base = query.DocumentsFolder(&base);
      break;
    case 1:
      have_base = configuration != nullptr &&
                  ReadTextValue(*configuration, keys::kBasic, keys::kInstallDir, &base);
      break;
    case 2:
      have_base = query.WindowsFolder(&base);
      break;
    case 3:
      have_base = query.TempFolder(&base);
      break;
  }
  if (!have_base) return false;
  if (!base.empty() && base.back() == u'\\') base.pop_back();
  const std::u16string_view rest = std::u16string_view(*path).substr(found->text.size());
  std::u16string result = base + std::u16string(rest);
  if (result.size() >= platform::kMaxPath) return false;
  *path = std::move(result);
  return true;
}

}  // namespace kolvar
