// Installing a package cabinet. Every check runs before the first write, so a refused cabinet
// leaves the device as it was; each file is then replaced whole (written beside, renamed over), so
// a kill during the install leaves every destination either old or new.
#include "updater/package_installer.h"

#include <map>

#include "common/configuration.h"
#include "common/file_replacement.h"
#include "common/registry_key.h"
#include "platform/cabinet.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/text.h"
#include "updater/update_package.h"

namespace kolvar::updater {
namespace {

constexpr uint32_t kRegistryText = 1;  // REG_SZ

struct Placement {
  std::u16string folder;  // expanded
  std::u16string path;    // folder\name
  const platform::CabinetFile* file = nullptr;
};

std::string Shown(std::u16string_view path) { return platform::ShownPath(path); }

// The folder that a macro folder's macro alone expands to.
bool MacroBase(ConfigStore* configuration, std::u16string_view folder, std::u16string* base) {
  const size_t end = folder.find(u'#', 1);
  *base = std::u16string(folder.substr(0, end + 1));
  return ExpandPathMacro(configuration, base);
}

// Every part of `folder` below `base` must be missing or a real folder (not a link, which could
// lead anywhere on the host); the destination must be missing or a regular file.
bool CheckPlacement(const std::u16string& base, const Placement& placement, std::string* error) {
  std::u16string at = base;
  std::u16string_view rest = std::u16string_view(placement.folder).substr(base.size());
  while (!rest.empty()) {
    rest.remove_prefix(1);  // the "\"
    const size_t cut = rest.find(u'\\');
    at += u"\\";
    at += rest.substr(0, cut);
    rest = cut == std::u16string_view::npos ? std::u16string_view() : rest.substr(cut);
    platform::FileInfo info;
    if (!platform::GetFileInfo(at, &info)) continue;  // missing: created later
    if (info.kind != platform::EntryKind::kDirectory) {
      *error = Shown(at) + " is not a plain folder (a link or a file)";
      return false;
    }
  }
  platform::FileInfo info;
  if (platform::GetFileInfo(placement.path, &info) && info.kind != platform::EntryKind::kRegular) {
    *error = Shown(placement.path) + " exists and is not a plain file";
    return false;
  }
  return true;
}

bool Plan(const std::vector<platform::CabinetFile>& files, ConfigStore* configuration,
          std::vector<Placement>* plan, std::string* error) {
  const platform::CabinetFile* manifest = nullptr;
  std::map<std::string, const platform::CabinetFile*> by_name;
  for (const platform::CabinetFile& file : files) {
    if (file.name == kManifestName) {
      manifest = &file;
    } else if (!IsPlainFileName(file.name)) {
      *error = "the cabinet holds a file whose name is not a plain file name: " +
               platform::ShownHostText(file.name);
      return false;
    } else if (!by_name.emplace(file.name, &file).second) {
      *error = "the cabinet holds " + file.name + " twice";
      return false;
    }
  }
  if (manifest == nullptr) {
    *error = std::string("the cabinet has no ") + kManifestName;
    return false;
  }
  std::vector<ManifestEntry> entries;
  if (!ParseManifest(std::string_view(reinterpret_cast<const char*>(manifest->bytes.data()),
                                      manifest->bytes.size()),
                     &entries, error)) {
    return false;
  }
  if (entries.size() != by_name.size()) {
    *error = "the manifest and the cabinet do not list the same files";
    return false;
  }
  for (const ManifestEntry& entry : entries) {
    auto found = by_name.find(entry.name);
    if (found == by_name.end()) {
      *error = "the manifest lists " + entry.name + ", which the cabinet does not hold";
      return false;
    }
    Placement placement;
    std::u16string base;
    placement.folder = entry.destination_folder;
    if (!MacroBase(configuration, entry.destination_folder, &base) ||
        !ExpandPathMacro(configuration, &placement.folder)) {
      *error = "the folder of " + entry.name + " cannot be found on this device";
      return false;
    }
    std::u16string name;
    platform::Utf8ToUtf16(entry.name, &name);
    placement.path = platform::JoinPath(placement.folder, name);
    placement.file = found->second;
    if (!platform::IsValidDevicePath(placement.path)) {
      *error = "the destination of " + entry.name + " is too long";
      return false;
    }
    if (!CheckPlacement(base, placement, error)) return false;
    plan->push_back(std::move(placement));
  }
  return true;
}

bool MakeFolders(const std::u16string& folder) {
  if (platform::DirectoryExists(folder)) return true;
  const size_t cut = folder.rfind(u'\\');
  if (cut != std::u16string::npos && cut > 0 && !MakeFolders(folder.substr(0, cut))) return false;
  return platform::CreateDirectory(folder) || platform::GetLastError() == 183;
}

bool WriteText(const std::u16string& path, const std::string& text) {
  return ReplaceFileContents(path, text.data(), text.size());
}

bool SetText(RegistryKey& key, std::u16string_view name, std::u16string_view text) {
  std::u16string value(text);
  value.push_back(u'\0');
  return key.SetValue(name, kRegistryText, value.data(),
                      static_cast<uint32_t>(value.size() * sizeof(char16_t)));
}

// The package's registration: the manifest and the installed list kept in the Windows folder's
// AppMgr folder (CmdFile, IsvFile), and unless "/nouninstall" an uninstall list in the package's
// own folder there (Uninstall).
bool Register(const std::string& manifest, const std::vector<std::u16string>& installed,
              const InstallOptions& options, std::string* error) {
  std::u16string windows;
  if (!platform::GetSpecialFolder(platform::SpecialFolder::kWindows, &windows)) {
    *error = "the Windows folder cannot be found";
    return false;
  }
  const std::u16string files = platform::JoinPath(windows, kPackageFilesFolder);
  const std::u16string own = platform::JoinPath(files, kPackageName);
  std::string list;
  for (const std::u16string& path : installed) list += platform::Utf16ToUtf8(path) + "\n";
  const std::u16string cmd_file = platform::JoinPath(files, kPackageManifestCopy);
  const std::u16string isv_file = platform::JoinPath(files, kPackageInstalledList);
  const std::u16string uninstall = platform::JoinPath(own, kUninstallListName);
  if (!MakeFolders(files) || !WriteText(cmd_file, manifest) || !WriteText(isv_file, list) ||
      (options.keep_uninstall && (!MakeFolders(own) || !WriteText(uninstall, list)))) {
    *error = "the package's files cannot be written below " + Shown(files);
    return false;
  }
  RegistryKey apps(kRegistryPathRoot, kRegistryRootLocalMachine);
  bool registered = apps.OpenKey(platform::JoinPath(kAppsParent, kPackageName), false, true) &&
                    SetText(apps, kCmdFileValue, cmd_file) &&
                    SetText(apps, kIsvFileValue, isv_file);
  if (registered && options.keep_uninstall) {
    RegistryKey app_install(kRegistryPathRoot, kRegistryRootLocalMachine);
    registered =
        app_install.OpenKey(platform::JoinPath(kAppInstallParent, kPackageName), false, true) &&
        SetText(app_install, kUninstallValue, uninstall);
  }
  if (!registered) *error = "the package cannot be registered";
  return registered;
}

}  // namespace

bool ReadWholeFile(std::u16string_view path, size_t limit, std::vector<uint8_t>* bytes,
                   std::string* error) {
  platform::File file;
  uint64_t size = 0;
  if (!file.Open(path, platform::FileAccess::kRead, platform::CreateDisposition::kOpenExisting) ||
      !file.GetSize(&size)) {
    *error = Shown(path) + ": " + std::string(platform::ErrorMeaning(platform::GetLastError()));
    return false;
  }
  if (size > limit) {
    *error = Shown(path) + ": the file is too large";
    return false;
  }
  std::vector<uint8_t> out(static_cast<size_t>(size));
  uint32_t read = 0;
  if (!file.Read(out.data(), static_cast<uint32_t>(out.size()), &read) || read != out.size()) {
    *error = Shown(path) + ": the file cannot be read";
    return false;
  }
  *bytes = std::move(out);
  return true;
}

bool InstallPackage(std::u16string_view cabinet, const InstallOptions& options,
                    ConfigStore* configuration, std::vector<std::u16string>* installed,
                    std::string* error) {
  installed->clear();
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(cabinet, platform::kMaxCabinetSize, &bytes, error)) return false;
  std::vector<platform::CabinetFile> files;
  if (!platform::ReadCabinet(bytes, &files, error)) {
    *error = Shown(cabinet) + ": " + *error;
    return false;
  }
  std::vector<Placement> plan;
  if (!Plan(files, configuration, &plan, error)) return false;
  for (const Placement& placement : plan) {
    if (!MakeFolders(placement.folder) ||
        !ReplaceFileContents(placement.path, placement.file->bytes.data(),
                             placement.file->bytes.size())) {
      *error = Shown(placement.path) + " cannot be written: " +
               std::string(platform::ErrorMeaning(platform::GetLastError()));
      return false;
    }
    installed->push_back(placement.path);
  }
  std::string manifest;
  for (const platform::CabinetFile& file : files) {
    if (file.name == kManifestName) manifest.assign(file.bytes.begin(), file.bytes.end());
  }
  return Register(manifest, *installed, options, error);
}

}  // namespace kolvar::updater
