// The fonts of a windowed program, chosen from the fonts the system really has: the face (Tahoma
// when the system has it or lists nothing, else the first TrueType family in case-insensitive
// order, else the system default), the base height from the screen's logical resolution, and the
// program's three fonts built from them. The Qt side enumerates the families (ui/qt/fonts.h).
#ifndef KOLVAR_UI_FONTS_H_
#define KOLVAR_UI_FONTS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace kolvar::ui {

struct FontFamily {
  std::u16string name;
  bool true_type = false;
};

inline constexpr char16_t kPreferredFace[] = u"Tahoma";

// The face every font of the program uses; empty means the system default.
std::u16string ChooseFontFace(const std::vector<FontFamily>& families);
// 14 at up to 96 logical pixels per inch vertically, else 16.
int BaseFontHeight(double logical_dpi_y);

struct FontSpec {
  std::u16string face;
  int pixel_height = 0;
  int weight = 400;
};

// Index 0: base height + 1, index 1: base height, both weight 400; bold: base height, weight 700
// on a Pocket PC (platform kind 2) and 600 on a Smartphone.
struct ApplicationFontSpecs {
  FontSpec regular[2];
  FontSpec bold;
};
ApplicationFontSpecs MakeApplicationFonts(const std::u16string& face, int base_height,
                                          uint32_t platform_kind);

}  // namespace kolvar::ui

#endif  // KOLVAR_UI_FONTS_H_
