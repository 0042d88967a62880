// The program's three fonts on Qt: the face chosen over the families of Qt's font database (a
// smoothly scalable outline family counts as TrueType), the base height from the primary screen's
// logical vertical resolution, the heights as pixel sizes.
#ifndef KOLVAR_UI_QT_FONTS_H_
#define KOLVAR_UI_QT_FONTS_H_

#include <QFont>
#include <cstdint>
#include <vector>

#include "ui/fonts.h"

namespace kolvar::ui::qt {

struct ApplicationFonts {
  QFont regular[2];  // 0: base height + 1, 1: base height
  QFont bold;
};

// The families the system has, for ChooseFontFace. Needs the application object.
std::vector<FontFamily> SystemFontFamilies();
QFont MakeFont(const FontSpec& spec);
// Face, base height and the three fonts, for the given platform kind (1 Smartphone, 2 Pocket PC).
ApplicationFonts LoadApplicationFonts(uint32_t platform_kind);

}  // namespace kolvar::ui::qt

#endif  // KOLVAR_UI_QT_FONTS_H_
