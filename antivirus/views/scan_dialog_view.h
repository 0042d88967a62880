// The view of the scan dialog (the main dialog): status, file, counters, clock, animation and the
// five buttons, on white.
#ifndef KOLVAR_ANTIVIRUS_VIEWS_SCAN_DIALOG_VIEW_H_
#define KOLVAR_ANTIVIRUS_VIEWS_SCAN_DIALOG_VIEW_H_

#include <QLabel>
#include <map>

#include "antivirus/scan_dialog.h"
#include "antivirus/views/icon_button.h"
#include "ui/qt/dialog_frame.h"
#include "ui/qt/dialog_view.h"

namespace kolvar::views {

class ScanDialogView : public ui::qt::DialogView {
 public:
  ScanDialogView(ScanDialog& dialog, ui::qt::DialogFrame& frame);
  void Refresh() override;

  QLabel* label(uint32_t control) const;
  IconButton* button(uint32_t id) const;

 private:
  ScanDialog& scan_;
  std::map<uint32_t, QLabel*> labels_;
  std::map<uint32_t, IconButton*> buttons_;
  QLabel* animation_;
  int shown_picture_ = -1;
};

}  // namespace kolvar::views

#endif  // KOLVAR_ANTIVIRUS_VIEWS_SCAN_DIALOG_VIEW_H_
