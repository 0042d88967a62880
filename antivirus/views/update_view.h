// The Qt view of the update dialog: the group "Latest Update Information" (ID, date, time, size),
// the run's total size, bytes transferred and time left, labels at the left and values at the
// right, and the status line in white on black across the width.
#ifndef KOLVAR_ANTIVIRUS_VIEWS_UPDATE_VIEW_H_
#define KOLVAR_ANTIVIRUS_VIEWS_UPDATE_VIEW_H_

#include <QLabel>
#include <map>

#include "antivirus/update/update_dialog.h"
#include "ui/qt/dialog_frame.h"
#include "ui/qt/dialog_view.h"

namespace kolvar {

class UpdateView : public ui::qt::DialogView {
 public:
  UpdateView(UpdateDialog& dialog, ui::qt::DialogFrame& frame);
  void Refresh() override;
  QLabel* value(uint32_t control) const { return values_.at(control); }

 private:
  UpdateDialog& update_;
  std::map<uint32_t, QLabel*> values_;
  QLabel* status_;
};

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_VIEWS_UPDATE_VIEW_H_
