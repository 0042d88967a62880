// The window system's part of the program on Qt: boxes, a dialog alone, and the main dialog in the
// frame with the hand-over from a second start (the window comes to the front and the dialogs
// over the main one are cancelled, top first).
#ifndef KOLVAR_ANTIVIRUS_VIEWS_QT_WINDOWS_H_
#define KOLVAR_ANTIVIRUS_VIEWS_QT_WINDOWS_H_

#include "antivirus/antivirus_program.h"
#include "ui/qt/dialog_frame.h"

namespace kolvar::views {

// The program's name in the box log.
inline constexpr char16_t kProgramName[] = u"KVAntivirus";

class QtAntivirusWindows : public AntivirusWindows {
 public:
  explicit QtAntivirusWindows(ui::qt::DialogFrame& frame) : frame_(frame) {}

  int Box(std::u16string_view caption, std::u16string_view text, uint32_t style) override;
  void RunAlone(ui::Dialog& dialog) override;
  void RunMain(ScanDialog& main, const std::function<void()>& shown) override;

 private:
  ui::qt::DialogFrame& frame_;
};

}  // namespace kolvar::views

#endif  // KOLVAR_ANTIVIRUS_VIEWS_QT_WINDOWS_H_
