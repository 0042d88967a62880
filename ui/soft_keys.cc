// The soft-key bar's data; see soft_keys.h.
#include "ui/soft_keys.h"

#include <utility>

namespace kolvar::ui {

Menu& Menu::Add(uint32_t id, std::u16string text) {
  items_.push_back(MenuItem{id, std::move(text), false, false});
  return *this;
}

Menu& Menu::AddSeparator() {
  items_.push_back(MenuItem{0, u"", true, false});
  return *this;
}

const MenuItem* Menu::Find(uint32_t id) const {
  for (const MenuItem& item : items_) {
    if (!item.separator && item.id == id) return &item;
  }
  return nullptr;
}

bool Menu::SetGreyed(uint32_t id, bool greyed) {
  for (MenuItem& item : items_) {
    if (!item.separator && item.id == id) {
      item.greyed = greyed;
      return true;
    }
  }
  return false;
}

bool Menu::IsGreyed(uint32_t id) const {
  const MenuItem* item = Find(id);
  return item != nullptr && item->greyed;
}

bool Menu::Contains(uint32_t id) const { return Find(id) != nullptr; }

SoftKey SoftKey::CommandKey(uint32_t command, std::u16string text) {
  SoftKey key;
  key.command = command;
  key.text = std::move(text);
  return key;
}

SoftKey SoftKey::MenuKey(std::u16string text) {
  SoftKey key;
  key.text = std::move(text);
  return key;
}

const MenuItem* SoftKeyBar::FindItem(uint32_t id) const {
  for (const SoftKey* key : {&left, &right}) {
    if (const MenuItem* item = key->menu.Find(id)) return item;
  }
  return nullptr;
}

bool SoftKeyBar::SetGreyed(uint32_t id, bool greyed) {
  const bool in_left = left.menu.SetGreyed(id, greyed);
  const bool in_right = right.menu.SetGreyed(id, greyed);
  return in_left || in_right;
}

}  // namespace kolvar::ui
