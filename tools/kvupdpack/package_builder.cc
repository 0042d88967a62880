// The package is assembled in memory and each output file is replaced whole, signatures last, so
// that a server folder never offers a file whose signature belongs to another.
#include "tools/kvupdpack/package_builder.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "common/file_replacement.h"
#include "platform/cabinet.h"
#include "platform/crypto.h"
#include "platform/error.h"
#include "platform/path.h"
#include "platform/text.h"
#include "updater/applier_texts.h"
#include "updater/package_installer.h"
#include "updater/update_package.h"

namespace kolvar::kvupdpack {
namespace {

constexpr uint32_t kText = 1;
constexpr uint32_t kNumber = 2;
// One cabinet serves every kind of device: each key that the update client may choose from names
// it.
constexpr const char* kCabinetKeys[] = {config_keys::kSignedSmartphoneCabinet,
                                        config_keys::kSignedPocketPcCabinet,
                                        config_keys::kPocketPcCabinet};
constexpr char kRulesSetConfig[] = "RULES_SET_CONFIG";

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool DevicePath(const std::string& host, std::u16string* device, std::string* error) {
  if (platform::DevicePathFromHost(host, device)) return true;
  *error = host + ": not a path this tool can reach";
  return false;
}

bool ReadHostFile(const std::string& host, std::vector<uint8_t>* bytes, std::string* error) {
  std::u16string device;
  return DevicePath(host, &device, error) &&
         updater::ReadWholeFile(device, platform::kMaxCabinetSize, bytes, error);
}

bool WriteHostFile(const std::string& host, const void* data, size_t length,
                   std::vector<std::string>* written, std::string* error) {
  std::u16string device;
  if (!DevicePath(host, &device, error)) return false;
  if (!ReplaceFileContents(device, data, length)) {
    *error = host + ": " + std::string(platform::ErrorMeaning(platform::GetLastError()));
    return false;
  }
  written->push_back(host);
  return true;
}

// A publisher names a fresh folder for each release: it is made here, with the folders above it.
bool MakeOutputFolder(const std::string& folder, std::string* error) {
  std::error_code failure;
  std::filesystem::create_directories(folder, failure);
  if (!failure && std::filesystem::is_directory(folder, failure)) return true;
  *error = folder + ": the output folder cannot be made: " +
           (failure ? failure.message() : std::string("not a folder"));
  return false;
}

bool AddText(ConfigStore& store, const char* key, std::u16string_view text) {
  std::u16string value(text);
  value.push_back(u'\0');
  return store.AddValue(key, kText, static_cast<uint32_t>(value.size() * sizeof(char16_t)),
                        value.data());
}

bool AddNumber(ConfigStore& store, const char* key, uint32_t value) {
  return store.AddValue(key, kNumber, sizeof value, &value);
}

bool FillInformation(const PackageSpec& spec, const std::vector<updater::ManifestEntry>& shipped,
                     const std::string& rules_name, ConfigStore& store, std::string* error) {
  using namespace updater;  // the rule sections' names
  bool ok = store.AddSection(config_keys::kUpdateInformation) &&
            AddText(store, config_keys::kUpdateId, spec.update_id) &&
            AddText(store, config_keys::kReleaseDate, spec.release_date);
  for (const char* key : kCabinetKeys)
    ok = ok && AddText(store, key, platform::Utf8ToUtf16Lossy(kCabinetName));
  ok = ok && store.AddSection(kRulesInformation) &&
       AddNumber(store, kRunDll, rules_name.empty() ? 0 : 1) &&
       AddText(store, kExtracted, kExtractedFolder) && AddNumber(store, kDoUpdateFiles, 1);
  if (ok && !rules_name.empty()) {
    ok = AddText(store, kDll,
                 std::u16string(kExtractedFolder) + u"\\" + platform::Utf8ToUtf16Lossy(rules_name));
  }
  ok = ok && store.AddSection(kRulesFilesToUpdate);
  for (size_t i = 0; ok && i < spec.files.size(); ++i) {
    ok = AddText(store, shipped[i].name.c_str(), spec.files[i].destination);
  }
  if (ok && !spec.settings.empty()) {
    ok = store.AddSection(kRulesSetConfig);
    for (const Setting& setting : spec.settings) {
      ok = ok && (setting.number ? AddNumber(store, setting.name.c_str(), setting.value)
                                 : AddText(store, setting.name.c_str(),
                                           platform::Utf8ToUtf16Lossy(setting.text)));
    }
  }
  ok = ok && store.AddSection(kUpdateHistory);
  for (size_t i = 0; ok && i < spec.history.size(); ++i) {
    char key[16];
    std::snprintf(key, sizeof key, kHistoryKeyFormat, static_cast<int>(i));
    std::string line = spec.history[i] + "\n";
    if (line.size() > 63) {
      *error = "a history line is longer than 62 bytes: " + spec.history[i];
      return false;
    }
    ok = store.AddValue(key, kText, static_cast<uint32_t>(line.size()), line.data());
  }
  if (!ok) *error = "the update information cannot be built (a name longer than 31 bytes?)";
  return ok;
}

}  // namespace

bool BuildPackage(const PackageSpec& spec, std::vector<std::string>* written, std::string* error) {
  std::vector<platform::CabinetFile> cabinet_files;
  std::vector<updater::ManifestEntry> manifest;
  std::vector<updater::ManifestEntry> shipped;
  for (const PackageFile& file : spec.files) {
    platform::CabinetFile entry{BaseName(file.host_path), {}};
    if (!updater::IsPlainFileName(entry.name)) {
      *error = file.host_path + ": the file name must be a plain name of at most 31 bytes";
      return false;
    }
    if (!updater::IsMacroFolder(file.destination)) {
      *error = platform::Utf16ToUtf8(file.destination) +
               ": a destination begins with #program#, #windows#, #temp# or #personal#";
      return false;
    }
    if (!ReadHostFile(file.host_path, &entry.bytes, error)) return false;
    manifest.push_back({entry.name, kExtractedFolder});
    shipped.push_back({entry.name, file.destination});
    cabinet_files.push_back(std::move(entry));
  }
  std::string rules_name;
  if (!spec.rules_library.empty()) {
    platform::CabinetFile entry{BaseName(spec.rules_library), {}};
    rules_name = entry.name;
    if (!updater::IsPlainFileName(rules_name) ||
        !ReadHostFile(spec.rules_library, &entry.bytes, error)) {
      if (error->empty()) *error = spec.rules_library + ": not a plain file name";
      return false;
    }
    manifest.push_back({entry.name, kExtractedFolder});
    cabinet_files.push_back(std::move(entry));
  }
  const std::string manifest_text = updater::ManifestText(manifest);
  std::vector<updater::ManifestEntry> check;
  if (!updater::ParseManifest(manifest_text, &check, error)) return false;  // e.g. a name twice
  cabinet_files.push_back(
      {updater::kManifestName, std::vector<uint8_t>(manifest_text.begin(), manifest_text.end())});

  std::vector<uint8_t> cabinet;
  if (!platform::WriteCabinet(cabinet_files, &cabinet, error)) return false;

  // Only a package that could be assembled makes its folder.
  if (!MakeOutputFolder(spec.out_dir, error)) return false;
  ConfigurationFile information(ConfigStore::kUpdateInformationName,
                                KeyMaterialUse::kUpdateInformation);
  if (!FillInformation(spec, shipped, rules_name, information.store(), error)) return false;
  const std::string info_host =
      spec.out_dir + "/" + platform::Utf16ToUtf8(config_keys::kUpdateInformationFileName);
  std::u16string info_device;
  if (!DevicePath(info_host, &info_device, error)) return false;
  if (!information.store().Save(info_device)) {
    *error = info_host + ": the update information file cannot be written";
    return false;
  }
  written->push_back(info_host);
  std::vector<uint8_t> info_bytes;
  if (!updater::ReadWholeFile(info_device, platform::kMaxCabinetSize, &info_bytes, error)) {
    return false;
  }

  std::vector<uint8_t> cabinet_signature;
  std::vector<uint8_t> info_signature;
  if (!platform::SignDetached(cabinet, spec.private_key_pem, &cabinet_signature, error) ||
      !platform::SignDetached(info_bytes, spec.private_key_pem, &info_signature, error)) {
    return false;
  }
  const std::string suffix = platform::Utf16ToUtf8(config_keys::kSignatureSuffix);
  const std::string cabinet_host = spec.out_dir + "/" + kCabinetName;
  return WriteHostFile(cabinet_host, cabinet.data(), cabinet.size(), written, error) &&
         WriteHostFile(cabinet_host + suffix, cabinet_signature.data(), cabinet_signature.size(),
                       written, error) &&
         WriteHostFile(info_host + suffix, info_signature.data(), info_signature.size(), written,
                       error);
}

}  // namespace kolvar::kvupdpack
