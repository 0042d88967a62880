// The soft-key bar of a full-screen dialog as data: two soft keys at the bottom of the window, the
// left one and the right one, each either a plain command ("Close", "Done") or a menu of commands
// ("Options", "Tools") with separators and greyed items. A dialog fills its bar once, greys items
// when a menu is about to open (Dialog::OnMenuOpening), and gets the chosen item's id as a command.
//
//   bar.left = SoftKey::MenuKey(u"Options");
//   bar.left.menu.Add(40041, u"Delete Infected File").AddSeparator().Add(40039, u"Virus Info");
//   bar.right = SoftKey::CommandKey(40040, u"Close");
#ifndef KOLVAR_UI_SOFT_KEYS_H_
#define KOLVAR_UI_SOFT_KEYS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace kolvar::ui {

struct MenuItem {
  uint32_t id = 0;  // the command; 0 for a separator
  std::u16string text;
  bool separator = false;
  bool greyed = false;
};

class Menu {
 public:
  Menu& Add(uint32_t id, std::u16string text);
  Menu& AddSeparator();
  // Greys or enables the item with command `id`. False when the menu has no such item.
  bool SetGreyed(uint32_t id, bool greyed);
  // False for an item that is not there.
  bool IsGreyed(uint32_t id) const;
  bool Contains(uint32_t id) const;
  const MenuItem* Find(uint32_t id) const;

  const std::vector<MenuItem>& items() const { return items_; }
  bool empty() const { return items_.empty(); }

 private:
  std::vector<MenuItem> items_;
};

struct SoftKey {
  std::u16string text;
  // The command of a plain soft key; 0 for a menu key.
  uint32_t command = 0;
  Menu menu;
  // A soft key switched off (it does nothing and shows greyed).
  bool enabled = true;

  static SoftKey CommandKey(uint32_t command, std::u16string text);
  static SoftKey MenuKey(std::u16string text);
  bool opens_menu() const { return command == 0 && !menu.empty(); }
  bool present() const { return !text.empty(); }
};

enum class SoftKeySide { kLeft, kRight };

struct SoftKeyBar {
  SoftKey left;
  SoftKey right;

  SoftKey& key(SoftKeySide side) { return side == SoftKeySide::kLeft ? left : right; }
  const SoftKey& key(SoftKeySide side) const { return side == SoftKeySide::kLeft ? left : right; }
  // The menu item or plain key with command `id`, searched in both keys. Null when there is none.
  const MenuItem* FindItem(uint32_t id) const;
  // Greys or enables the item `id` in whichever menu holds it.
  bool SetGreyed(uint32_t id, bool greyed);
};

}  // namespace kolvar::ui

#endif  // KOLVAR_UI_SOFT_KEYS_H_
