// Removing registry keys that the suite created once nothing is left in them, so that a removed
// suite leaves no empty keys of its own behind, while a key that holds anything else stays.
#ifndef KOLVAR_SETUP_REGISTRY_CLEANUP_H_
#define KOLVAR_SETUP_REGISTRY_CLEANUP_H_

#include <cstddef>
#include <string_view>

#include "platform/registry_store.h"

namespace kolvar::setup {

// Deletes the key `path` below `root` when it holds no value and no subkey, then its parent on the
// same condition, and so on up to (not including) the first `kept_levels` levels of the path.
void RemoveEmptyKeys(platform::RegistryRoot root, std::u16string_view path, size_t kept_levels);

}  // namespace kolvar::setup

#endif  // KOLVAR_SETUP_REGISTRY_CLEANUP_H_
