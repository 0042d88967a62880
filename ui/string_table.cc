// Load-string semantics of the string table; see string_table.h.
#include "ui/string_table.h"

namespace kolvar::ui {

const StringResource* StringTable::Find(uint32_t id) const {
  for (const StringResource& resource : resources_) {
    if (resource.id == id) return &resource;
  }
  return nullptr;
}

std::u16string StringTable::Load(uint32_t id) const {
  const StringResource* resource = Find(id);
  if (resource == nullptr || resource->text.size() >= kLoadStringRefusedLength) return u"";
  return std::u16string(resource->text.substr(0, kLoadStringMaxLength));
}

}  // namespace kolvar::ui
