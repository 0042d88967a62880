// A program of the suite's kind for the configuration tests. Its one command-line argument names a
// role (words separated by spaces; paths are device paths without spaces):
//
//   open                          OpenConfiguration(false) as every program does at start-up;
//                                 ends with 0, or 1 when it fails
//   save FILE SECTION KEY NUMBER  loads FILE (configuration key) when it exists, sets the integer
//                                 value, saves; ends with 0 when its own IsModifiedElsewhere stays
//                                 false afterwards, 2 when it turned true, 1 when a step fails
//   saveloop FILE                 saves a store of about 1 MB to FILE again and again, counting
//                                 the saves in CONFIG/Saves, until it is killed
#include <sstream>
#include <string>
#include <vector>

#include "common/config_store.h"
#include "common/configuration.h"
#include "platform/file.h"

namespace {

using kolvar::ConfigStore;
using kolvar::ConfigurationFile;
using kolvar::KeyMaterialUse;

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

int Save(const std::vector<std::string>& words) {
  if (words.size() != 5) return 1;
  const std::u16string path = Wide(words[1]);
  ConfigurationFile file(ConfigStore::kConfigurationName, KeyMaterialUse::kConfiguration);
  ConfigStore& store = file.store();
  if (kolvar::platform::FileExists(path) && !store.Load(path, false)) return 1;
  const char* section = words[2].c_str();
  const char* key = words[3].c_str();
  const uint32_t value = static_cast<uint32_t>(std::stoul(words[4]));
  if (!store.HasSection(section) && !store.AddSection(section)) return 1;
  if (!store.SetValue(key, 2, 4, &value, section)) {
    if (!store.SelectSection(section) || !store.AddValue(key, 2, 4, &value)) return 1;
  }
  if (!store.Save(path)) return 1;
  return store.IsModifiedElsewhere() ? 2 : 0;
}

int SaveLoop(const std::vector<std::string>& words) {
  if (words.size() != 2) return 1;
  const std::u16string path = Wide(words[1]);
  ConfigurationFile file(ConfigStore::kConfigurationName, KeyMaterialUse::kConfiguration);
  ConfigStore& store = file.store();
  const std::string bulk(1 << 20, 'b');
  uint32_t saves = 0;
  if (!store.AddSection("BULK") || !store.AddValue("Data", 3, bulk.size(), bulk.data()) ||
      !store.AddSection("CONFIG") || !store.AddValue("Saves", 2, 4, &saves)) {
    return 1;
  }
  for (;;) {
    ++saves;
    if (!store.SetValue("Saves", 2, 4, &saves, "CONFIG") || !store.Save(path)) return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    std::istringstream in(argv[i]);
    for (std::string word; in >> word;) words.push_back(word);
  }
  if (words.empty()) return 1;
  if (words[0] == "open") {
    std::unique_ptr<ConfigurationFile> configuration;
    return kolvar::OpenConfiguration(false, &configuration) ? 0 : 1;
  }
  if (words[0] == "save") return Save(words);
  if (words[0] == "saveloop") return SaveLoop(words);
  return 1;
}
