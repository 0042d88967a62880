// kvmupdrules: the rules library of the suite's update packages. Action 1 carries the settings an
// update needs into the main configuration: every key of the package's section RULES_SET_CONFIG,
// named "SECTION.Key", is set (or added) in that section of the main configuration with the
// package's type and value; the applier saves the configuration afterwards. All entries are checked
// before the first is applied, so a package with a bad entry changes nothing and stops the update
// with error 13 (invalid data). Action 2 has nothing left to do.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/config_store.h"

namespace {

constexpr char kSetConfig[] = "RULES_SET_CONFIG";
constexpr int32_t kInvalidData = 13;
constexpr uint32_t kMaxValue = 4096;

struct Setting {
  std::string section;
  std::string key;
  uint32_t type = 0;
  std::vector<uint8_t> value;
};

bool ReadSettings(kolvar::ConfigStore* main, kolvar::ConfigStore* package,
                  std::vector<Setting>* settings) {
  if (!package->SelectSection(kSetConfig)) return true;  // nothing to set
  std::vector<std::string> names;
  for (bool more = package->FirstKey(); more; more = package->NextKey()) {
    names.push_back(package->CurrentKeyName());
  }
  for (const std::string& name : names) {
    const size_t dot = name.find('.');
    Setting setting;
    uint32_t size = 0;
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return false;
    setting.section = name.substr(0, dot);
    setting.key = name.substr(dot + 1);
    if (!main->HasSection(setting.section.c_str())) return false;
    if (!package->GetValueInfo(name.c_str(), &setting.type, &size, kSetConfig) ||
        size > kMaxValue || (setting.type != 1 && setting.type != 2) ||
        (setting.type == 2 && size != 4)) {
      return false;
    }
    setting.value.resize(size);
    if (!package->GetValue(name.c_str(), &size, setting.value.data(), kSetConfig)) return false;
    settings->push_back(std::move(setting));
  }
  return true;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t aur_PerformAction(
    int32_t action, kolvar::ConfigStore* main, kolvar::ConfigStore* update_information) {
  if (action != 1) return 0;
  if (main == nullptr || update_information == nullptr) return kInvalidData;
  std::vector<Setting> settings;
  if (!ReadSettings(main, update_information, &settings)) return kInvalidData;
  for (const Setting& setting : settings) {
    const auto size = static_cast<uint32_t>(setting.value.size());
    if (main->SetValue(setting.key.c_str(), setting.type, size, setting.value.data(),
                       setting.section.c_str())) {
      continue;
    }
    if (!main->SelectSection(setting.section.c_str()) ||
        !main->AddValue(setting.key.c_str(), setting.type, size, setting.value.data())) {
      return kInvalidData;
    }
  }
  return 0;
}
