// Conversions between the suite's UTF-16 texts and Qt's strings.
#ifndef KOLVAR_UI_QT_QT_TEXT_H_
#define KOLVAR_UI_QT_QT_TEXT_H_

#include <QString>
#include <string>
#include <string_view>

namespace kolvar::ui::qt {

inline QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::u16string FromQString(const QString& text) { return text.toStdU16String(); }

}  // namespace kolvar::ui::qt

#endif  // KOLVAR_UI_QT_QT_TEXT_H_
