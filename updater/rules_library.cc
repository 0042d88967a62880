// Loading the rules library and calling its one entry.
#include "updater/rules_library.h"

namespace kolvar::updater {

bool RulesLibrary::Load(std::u16string_view device_path, std::string* error) {
  Unload();
  if (!library_.Load(device_path, error)) return false;
  action_ = reinterpret_cast<RulesActionFunction>(library_.Symbol(kRulesEntryName, error));
  if (action_ == nullptr) library_.Unload();
  return action_ != nullptr;
}

int32_t RulesLibrary::PerformAction(int32_t action, ConfigStore* main,
                                    ConfigStore* update_information) {
  return action_ == nullptr ? -1 : action_(action, main, update_information);
}

void RulesLibrary::Unload() {
  action_ = nullptr;
  library_.Unload();
}

}  // namespace kolvar::updater
