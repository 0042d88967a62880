// A program's string table: every user-visible text of the program with its resource number, and
// the load-string rule by which dialogs read them. One table per program; the program's front ends
// (windowed or terminal) share it.
//
// A program defines its table once, as an array of StringResource, and loads texts through it:
//
//   constexpr ui::StringResource kStrings[] = {{40083, u"Kolvar AV"}, ...};
//   const ui::StringTable table(kStrings);
//   std::u16string caption = table.Load(40083);
#ifndef KOLVAR_UI_STRING_TABLE_H_
#define KOLVAR_UI_STRING_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kolvar::ui {

struct StringResource {
  uint32_t id;
  std::u16string_view text;
};

// A text of this many characters or more loads as the empty string.
inline constexpr size_t kLoadStringRefusedLength = 511;
// The load buffer holds 256 characters: a loaded text keeps at most 255 of them.
inline constexpr size_t kLoadStringMaxLength = 255;

class StringTable {
 public:
  // `resources` must outlive the table (programs pass a static array).
  explicit StringTable(std::span<const StringResource> resources) : resources_(resources) {}

  // The text of `id`: the empty string when the table has no such string or when it holds 511
  // characters or more; otherwise its first 255 characters.
  std::u16string Load(uint32_t id) const;
  bool Contains(uint32_t id) const { return Find(id) != nullptr; }
  std::span<const StringResource> resources() const { return resources_; }

 private:
  const StringResource* Find(uint32_t id) const;

  std::span<const StringResource> resources_;
};

}  // namespace kolvar::ui

#endif  // KOLVAR_UI_STRING_TABLE_H_
