// The program's fonts on Qt; see fonts.h.
#include "ui/qt/fonts.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>

#include "ui/qt/qt_text.h"

namespace kolvar::ui::qt {

std::vector<FontFamily> SystemFontFamilies() {
  std::vector<FontFamily> families;
  for (const QString& name : QFontDatabase::families()) {
    if (QFontDatabase::isPrivateFamily(name)) continue;
    families.push_back(FontFamily{FromQString(name), QFontDatabase::isSmoothlyScalable(name)});
  }
  return families;
}

QFont MakeFont(const FontSpec& spec) {
  QFont font;
  if (!spec.face.empty()) font.setFamily(ToQString(spec.face));
  font.setPixelSize(spec.pixel_height);
  font.setWeight(static_cast<QFont::Weight>(spec.weight));
  return font;
}

ApplicationFonts LoadApplicationFonts(uint32_t platform_kind) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi = screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
  const ApplicationFontSpecs specs = MakeApplicationFonts(ChooseFontFace(SystemFontFamilies()),
                                                          BaseFontHeight(dpi), platform_kind);
  ApplicationFonts fonts;
  fonts.regular[0] = MakeFont(specs.regular[0]);
  fonts.regular[1] = MakeFont(specs.regular[1]);
  fonts.bold = MakeFont(specs.bold);
  return fonts;
}

}  // namespace kolvar::ui::qt
