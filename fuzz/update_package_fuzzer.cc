// An update package cabinet from outside, through the device's cabinet installer. The first byte
// chooses the form of the rest:
//   even: a manifest (kvpackage.txt), then optionally a NUL and the names of the other files of
//         the cabinet, one a line (without it, the names that the manifest's lines begin with);
//         the target packs them into a cabinet with the suite's writer, each file holding its name;
//   odd:  the bytes of a cabinet as they stand.
// A manifest that reads must hold plain names and macro folders and read the same once written
// again. An install writes, below the four folders that the macros name, exactly the files it
// lists and its own registration files, each holding the bytes that the cabinet held for it; a
// refused install writes nothing at all. Every file an input leaves is removed before the next.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/config_store.h"
#include "common/configuration.h"
#include "fuzz/fuzz_support.h"
#include "platform/cabinet.h"
#include "platform/path.h"
#include "platform/text.h"
#include "updater/package_installer.h"
#include "updater/update_package.h"

namespace {

using namespace kolvar;
namespace fs = std::filesystem;

constexpr char16_t kCabinet[] = u"\\Program Files\\Kolvar\\_updates_\\kvupdate.cab";

fs::path g_root;
std::set<fs::path> g_baseline;  // every file and folder of the device before an input
ConfigStore* g_configuration;

std::set<fs::path> DeviceEntries() {
  std::set<fs::path> entries;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(g_root)) {
    entries.insert(entry.path());
  }
  return entries;
}

// What the input left: removed, deepest first.
std::vector<fs::path> NewEntries() {
  std::vector<fs::path> added;
  for (const fs::path& entry : DeviceEntries()) {
    if (!g_baseline.contains(entry)) added.push_back(entry);
  }
  return added;
}

void RemoveNew() {
  std::error_code error;
  for (const fs::path& entry : NewEntries()) fs::remove_all(entry, error);
}

std::string ReadHost(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void CheckManifest(std::string_view text) {
  std::vector<updater::ManifestEntry> entries;
  std::string error;
  if (!updater::ParseManifest(text, &entries, &error)) {
    fuzz::Check(!error.empty(), "a manifest refused without a reason");
    return;
  }
  std::set<std::string> names;
  for (const updater::ManifestEntry& entry : entries) {
    fuzz::Check(updater::IsPlainFileName(entry.name) && entry.name != updater::kManifestName,
                "a manifest names a file that is no plain name");
    fuzz::Check(updater::IsMacroFolder(entry.destination_folder),
                "a manifest names a folder that is no macro folder");
    fuzz::Check(names.insert(entry.name).second, "a manifest names a file twice");
  }
  std::vector<updater::ManifestEntry> again;
  fuzz::Check(updater::ParseManifest(updater::ManifestText(entries), &again, &error) &&
                  again.size() == entries.size(),
              "a written manifest cannot be read");
  for (size_t i = 0; i < again.size(); ++i) {
    fuzz::Check(again[i].name == entries[i].name &&
                    again[i].destination_folder == entries[i].destination_folder,
                "a written manifest reads back different");
  }
}

// The cabinet of the structured form.
std::vector<uint8_t> PackedCabinet(std::string_view rest, std::string* manifest) {
  const size_t cut = rest.find('\0');
  *manifest = std::string(rest.substr(0, cut));
  std::vector<std::string> names;
  std::string_view list;
  if (cut != std::string_view::npos) {
    list = rest.substr(cut + 1);
  } else {
    for (size_t at = 0; at < manifest->size();) {  // the names the manifest's lines begin with
      size_t end = manifest->find('\n', at);
      if (end == std::string::npos) end = manifest->size();
      const std::string line = manifest->substr(at, end - at);
      if (at > 0 && line.find('\t') != std::string::npos) names.push_back(line.substr(0, line.find('\t')));
      at = end + 1;
    }
  }
  while (!list.empty()) {
    const size_t end = list.find('\n');
    names.emplace_back(list.substr(0, end));
    list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
  }
  std::vector<platform::CabinetFile> files;
  files.push_back({updater::kManifestName, {manifest->begin(), manifest->end()}});
  for (const std::string& name : names) {
    if (name.empty() || name.size() > 255 || name.find('\0') != std::string::npos) continue;
    files.push_back({name, {name.begin(), name.end()}});
  }
  std::vector<uint8_t> cabinet;
  std::string error;
  if (!platform::WriteCabinet(files, &cabinet, &error)) return {};
  return cabinet;
}

// The host folders that the macros name, each with its separator.
std::vector<std::string> AllowedFolders() {
  std::vector<std::string> folders;
  for (const char16_t* macro : {u"#personal#", u"#program#", u"#windows#", u"#temp#"}) {
    std::u16string folder = macro;
    if (ExpandPathMacro(g_configuration, &folder)) {
      folders.push_back(platform::HostPath(folder) + "/");
    }
  }
  return folders;
}

void Install(std::span<const uint8_t> cabinet_bytes) {
  fuzz::WriteDeviceFile(kCabinet, cabinet_bytes);
  g_baseline = DeviceEntries();
  std::vector<platform::CabinetFile> files;
  std::string error;
  platform::ReadCabinet(cabinet_bytes, &files, &error);
  std::map<std::string, std::string> contents;
  for (const platform::CabinetFile& file : files) {
    contents.emplace(file.name, std::string(file.bytes.begin(), file.bytes.end()));
  }

  std::vector<std::u16string> installed;
  updater::InstallOptions options;
  const bool ok = updater::InstallPackage(kCabinet, options, g_configuration, &installed, &error);
  const std::vector<fs::path> added = NewEntries();
  if (!ok) {
    // Folders may be made before a file write fails, but a refused package writes no file.
    for (const fs::path& entry : added) {
      fuzz::Check(fs::is_directory(entry) || !installed.empty(),
                  "a refused package wrote a file");
    }
    fuzz::Check(!error.empty(), "a package refused without a reason");
    return;
  }
  std::set<fs::path> written;
  const std::vector<std::string> allowed = AllowedFolders();
  for (const std::u16string& path : installed) {
    const std::string host = platform::HostPath(path);
    bool below = false;
    for (const std::string& folder : allowed) below = below || host.starts_with(folder);
    fuzz::Check(below, "a package wrote outside the folders its macros name");
    fuzz::Check(fs::canonical(host).string() == host,
                "a package wrote through a link or a dotted path");
    const std::string name = fs::path(host).filename().string();
    auto found = contents.find(name);
    fuzz::Check(found != contents.end() && ReadHost(host) == found->second,
                "an installed file does not hold its cabinet's bytes");
    written.insert(host);
  }
  const fs::path registration = g_root / "Windows" / "AppMgr";
  for (const fs::path& entry : added) {
    if (fs::is_directory(entry) || written.contains(entry)) continue;
    const std::string text = entry.string();
    fuzz::Check(text.starts_with(registration.string() + "/"),
                "a package wrote a file that it does not list");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpDevice();
  g_root = fs::canonical(getenv("KOLVAR_DEVICE_ROOT"));
  setenv("KOLVAR_DEVICE_ROOT", g_root.c_str(), 1);
  fs::create_directories(g_root / "Program Files" / "Kolvar" / "_updates_");
  g_configuration = new ConfigStore(u"_@KVFUZZPACKAGE@_");
  CreateDefaultConfiguration(g_configuration, u"\\Program Files\\Kolvar\\");
  // A package of no files, once: the registry and the package's registration files exist before
  // the first input, so that what an input leaves can be told from them.
  std::string manifest;
  const std::vector<uint8_t> empty = PackedCabinet(std::string(updater::kManifestHeader) + "\n",
                                                   &manifest);
  fuzz::WriteDeviceFile(kCabinet, empty);
  std::vector<std::u16string> installed;
  std::string error;
  if (!updater::InstallPackage(kCabinet, {}, g_configuration, &installed, &error)) {
    fuzz::Fail("an empty package cannot be installed");
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  if ((data[0] & 1) == 0) {
    std::string manifest;
    CheckManifest(rest.substr(0, rest.find('\0')));
    const std::vector<uint8_t> cabinet = PackedCabinet(rest, &manifest);
    if (!cabinet.empty()) Install(cabinet);
  } else {
    Install({data + 1, size - 1});
  }
  RemoveNew();
  return 0;
}
