// kvmavcfg.dat and kvmupdi.dat from outside. The input is a file in the store's format with a
// plain body; it is loaded as it stands and, with its body encrypted, under each of the two keys
// (the configuration's and the update information's), so that the parser behind the decryption
// is reached too. Whatever a load keeps must enumerate, read and survive a save and a fresh load
// unchanged.
#include <memory>
#include <string>
#include <vector>

#include "common/config_store.h"
#include "common/configuration.h"
#include "fuzz/config_file_support.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace kolvar;

constexpr char16_t kInput[] = u"\\Windows\\kvmavcfg.dat";
constexpr char16_t kSaved[] = u"\\Windows\\kvmavcfg-saved.dat";

// Every section, key, type and value, in enumeration order.
std::string Dump(ConfigStore& store) {
  std::string out;
  if (!store.FirstSection()) return out;
  do {
    const std::string section = store.CurrentSectionName();
    out += "[" + section + "]";
    fuzz::Check(store.SelectSection(section.c_str()), "an enumerated section cannot be selected");
    if (!store.FirstKey()) continue;
    do {
      const std::string key = store.CurrentKeyName();
      uint32_t type = 0, size = 0;
      fuzz::Check(store.GetValueInfo(key.c_str(), &type, &size), "an enumerated key is missing");
      std::vector<uint8_t> value(size);
      uint32_t got = size;
      fuzz::Check(store.GetValue(key.c_str(), &got, value.data()) && got == size,
                  "a key's value cannot be read whole");
      out += key + ":" + std::to_string(type) + ":" +
             std::string(reinterpret_cast<const char*>(value.data()), value.size()) + ";";
    } while (store.NextKey());
  } while (store.NextSection());
  return out;
}

// The store of one of the two files, kept for the whole run (its named objects are made once).
struct File {
  explicit File(KeyMaterialUse use)
      : file(use == KeyMaterialUse::kConfiguration ? ConfigStore::kConfigurationName
                                                   : ConfigStore::kUpdateInformationName,
             use) {}
  ConfigurationFile file;
};

void LoadAndCheck(ConfigStore& store, std::span<const uint8_t> bytes) {
  fuzz::WriteDeviceFile(kInput, bytes);
  store.Clear();
  store.Load(kInput, /*clear_first=*/true);
  const std::string loaded = Dump(store);
  if (store.SectionCount() == 0) return;
  fuzz::Check(store.Save(kSaved), "a loaded store cannot be saved");
  store.Clear();
  fuzz::Check(store.Load(kSaved, /*clear_first=*/true), "a saved store cannot be loaded");
  fuzz::Check(Dump(store) == loaded, "a saved store loads back different");
}

File* g_configuration;
File* g_update_information;
ConfigStore* g_plain;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpDevice();
  g_configuration = new File(KeyMaterialUse::kConfiguration);
  g_update_information = new File(KeyMaterialUse::kUpdateInformation);
  g_plain = new ConfigStore(u"_@KVFUZZPLAIN@_");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  LoadAndCheck(*g_plain, input);
  LoadAndCheck(g_configuration->file.store(), input);
  for (File* file : {g_configuration, g_update_information}) {
    const std::vector<uint8_t> encrypted = fuzz::EncryptedConfigFile(file->file.cipher(), input);
    if (!encrypted.empty()) LoadAndCheck(file->file.store(), encrypted);
  }
  return 0;
}
