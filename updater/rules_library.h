// The rules library that an update package may bring: a shared object with the C entry
// "aur_PerformAction" that the applier calls with action 1 before the files are replaced (a
// non-zero result stops the update) and action 2 after the configuration is saved.
#ifndef KOLVAR_UPDATER_RULES_LIBRARY_H_
#define KOLVAR_UPDATER_RULES_LIBRARY_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/shared_library.h"

namespace kolvar {
class ConfigStore;
}

// The entry's type, for libraries to declare themselves against.
extern "C" {
using RulesActionFunction = int32_t (*)(int32_t action, kolvar::ConfigStore* main,
                                        kolvar::ConfigStore* update_information);
}

namespace kolvar::updater {

inline constexpr char kRulesEntryName[] = "aur_PerformAction";
inline constexpr int32_t kRulesActionBeforeFiles = 1;
inline constexpr int32_t kRulesActionAfterConfiguration = 2;

class RulesLibrary {
 public:
  // Loads the library and finds its entry; a library without the entry counts as not loaded.
  bool Load(std::u16string_view device_path, std::string* error);
  bool IsLoaded() const { return action_ != nullptr; }
  int32_t PerformAction(int32_t action, ConfigStore* main, ConfigStore* update_information);
  void Unload();

 private:
  platform::SharedLibrary library_;
  RulesActionFunction action_ = nullptr;
};

}  // namespace kolvar::updater

#endif  // KOLVAR_UPDATER_RULES_LIBRARY_H_
