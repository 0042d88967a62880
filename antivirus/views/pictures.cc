// The program's pictures; see pictures.h.
#include "antivirus/views/pictures.h"

#include <QFile>

#include "ui/qt/pictures.h"

namespace kolvar::views {
namespace {

QString Path(const QString& name) { return QStringLiteral(":/pictures/%1.svg").arg(name); }

struct ButtonName {
  uint32_t icon;
  const char* name;
};

// Each button in its states; the "focused" and the background-scanning variants fall back to
// the plain picture of their state when the program has none of their own.
constexpr ButtonName kButtons[] = {
    {138, "button_start"},
    {139, "button_start_disabled"},
    {140, "button_start_focused"},
    {229, "button_start_focused_background"},
    {141, "button_pause"},
    {142, "button_pause_disabled"},
    {143, "button_pause_focused"},
    {232, "button_pause_focused_background"},
    {144, "button_stop"},
    {145, "button_stop_disabled"},
    {146, "button_stop_focused"},
    {230, "button_stop_focused_background"},
    {147, "button_report"},
    {148, "button_report_disabled"},
    {149, "button_report_focused"},
    {234, "button_report_focused_background"},
    {236, "button_report_background"},
    {235, "button_report_disabled_background"},
    {150, "button_about"},
    {151, "button_about_disabled"},
    {152, "button_about_focused"},
    {233, "button_about_focused_background"},
};

QString Existing(QString name) {
  // "button_start_focused_background" -> "button_start_focused" -> "button_start".
  for (;;) {
    if (QFile::exists(Path(name))) return Path(name);
    const qsizetype cut = name.lastIndexOf('_');
    if (cut <= 0 || name.count('_') <= 1) return Path(name);
    name.truncate(cut);
  }
}

}  // namespace

QString SplashPicture() { return Path("splash"); }

QString AnimationPicture(int frame) {
  if (frame < 0) return Path("scan_idle");
  return Path(QStringLiteral("scan_%1").arg(frame + 1));
}

QString ButtonPicture(uint32_t icon) {
  for (const ButtonName& button : kButtons) {
    if (button.icon == icon) return Existing(QString::fromLatin1(button.name));
  }
  return QString();
}

QString ActionPicture(uint32_t icon) {
  switch (icon) {
    case 260:
      return Path("action_ignore");
    case 261:
      return Path("action_move");
    case 262:
      return Path("action_delete");
    default:
      return Path("action_none");
  }
}

QString RegistryValuePicture(int icon) {
  static const char* const kNames[] = {"registry_text", "registry_string", "registry_binary",
                                       "registry_number"};
  if (icon < 0 || icon >= 4) return Path(kNames[0]);
  return Path(kNames[icon]);
}

QString ProcessPicture() { return Path("process"); }

QString VirusPicture() { return Path("virus"); }

QString ApplicationPicture() { return Path("kolvar"); }

QPixmap LoadPicture(const QString& path, QSize size, const QWidget* widget) {
  if (path.isEmpty() || !QFile::exists(path)) return QPixmap();
  return ui::qt::Picture(path, size, widget);
}

}  // namespace kolvar::views
