// The choice of the program's fonts; see fonts.h.
#include "ui/fonts.h"

#include <algorithm>

namespace kolvar::ui {
namespace {

char16_t Folded(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool LessIgnoringCase(const std::u16string& a, const std::u16string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char16_t x, char16_t y) { return Folded(x) < Folded(y); });
}

}  // namespace

std::u16string ChooseFontFace(const std::vector<FontFamily>& families) {
  if (families.empty()) return kPreferredFace;
  std::vector<FontFamily> sorted = families;
  std::stable_sort(sorted.begin(), sorted.end(), [](const FontFamily& a, const FontFamily& b) {
    return LessIgnoringCase(a.name, b.name);
  });
  for (const FontFamily& family : sorted) {
    if (family.name == kPreferredFace) return kPreferredFace;
  }
  for (const FontFamily& family : sorted) {
    if (family.true_type) return family.name;
  }
  return u"";
}

int BaseFontHeight(double logical_dpi_y) { return logical_dpi_y <= 96.0 ? 14 : 16; }

ApplicationFontSpecs MakeApplicationFonts(const std::u16string& face, int base_height,
                                          uint32_t platform_kind) {
  ApplicationFontSpecs specs;
  specs.regular[0] = FontSpec{face, base_height + 1, 400};
  specs.regular[1] = FontSpec{face, base_height, 400};
  specs.bold = FontSpec{face, base_height, platform_kind == 2 ? 700 : 600};
  return specs;
}

}  // namespace kolvar::ui
