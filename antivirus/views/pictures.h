// The program's pictures by the numbers its dialogs give them (bitmaps and icons), as resource
// paths ":/pictures/<name>.svg". A picture that the program does not carry draws as nothing.
#ifndef KOLVAR_ANTIVIRUS_VIEWS_PICTURES_H_
#define KOLVAR_ANTIVIRUS_VIEWS_PICTURES_H_

#include <QPixmap>
#include <QSize>
#include <QString>
#include <cstdint>

class QWidget;

namespace kolvar::views {

// The splash bitmap.
QString SplashPicture();
// The animation frame 0 to 9; a negative frame is the picture shown before the first scan.
QString AnimationPicture(int frame);
// A button icon of the scan dialog (138 ... 152, 229 ... 236).
QString ButtonPicture(uint32_t icon);
// The icons of the report's action column: 259 none, 260 ignore, 261 move, 262 delete.
QString ActionPicture(uint32_t icon);
// The registry viewer's icon of a value row (tools::kValueIcon...); the process manager's icon
// of a process.
QString RegistryValuePicture(int icon);
QString ProcessPicture();
// The virus-detected dialog's icon.
QString VirusPicture();
// The program's icon (window and desktop entry).
QString ApplicationPicture();

// The picture drawn at `size` for `widget`; an empty pixmap when the program lacks it.
QPixmap LoadPicture(const QString& path, QSize size, const QWidget* widget);

}  // namespace kolvar::views

#endif  // KOLVAR_ANTIVIRUS_VIEWS_PICTURES_H_
