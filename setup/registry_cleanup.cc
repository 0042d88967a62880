// Removing emptied keys; see registry_cleanup.h.
#include "setup/registry_cleanup.h"

#include <string>
#include <vector>

namespace kolvar::setup {
namespace {

bool IsEmptyKey(platform::RegistryRoot root, std::u16string_view path) {
  platform::RegistryHandle key;
  if (!platform::OpenRegistryKey(root, path, &key)) return false;
  std::u16string subkey;
  platform::RegistryValue value;
  return !platform::EnumRegistryKey(key, 0, &subkey) &&
         !platform::EnumRegistryValue(key, 0, &value);
}

}  // namespace

void RemoveEmptyKeys(platform::RegistryRoot root, std::u16string_view path, size_t kept_levels) {
  std::vector<size_t> ends;  // where each level of the path ends
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == u'\\') ends.push_back(i);
  }
  while (ends.size() > kept_levels) {
    const std::u16string_view level = path.substr(0, ends.back());
    if (!IsEmptyKey(root, level)) return;
    if (!platform::DeleteRegistryKey(root, level)) return;
    ends.pop_back();
  }
}

}  // namespace kolvar::setup
