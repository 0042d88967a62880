// The Qt view of the applier's progress window: on white, the animation's picture centred at the
// top (172 x 120), the status text in black below it and the progress bar under that, both across
// the width with 10 pixels on either side.
#ifndef KOLVAR_UPDATER_VIEWS_APPLIER_VIEW_H_
#define KOLVAR_UPDATER_VIEWS_APPLIER_VIEW_H_

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include "ui/qt/dialog_frame.h"
#include "ui/qt/dialog_view.h"
#include "updater/applier_dialog.h"

namespace kolvar::updater {

// One picture of the animation (110 to 117), drawn: a package over a ring of eight dots, the
// picture's own dot dark and the two before it fading.
class AnimationPicture : public QWidget {
 public:
  explicit AnimationPicture(QWidget* parent);
  void SetPicture(int picture);
  int picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int picture_ = kLastPicture;
};

class ApplierView : public ui::qt::DialogView {
 public:
  // The picture's size and the layout's margins and rows.
  static constexpr int kPictureWidth = 172;
  static constexpr int kPictureHeight = 120;

  ApplierView(ApplierDialog& dialog, ui::qt::DialogFrame& frame);
  void Refresh() override;

  AnimationPicture* picture() const { return picture_; }
  QLabel* status() const { return status_; }
  QProgressBar* progress() const { return progress_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  ApplierDialog& applier_;
  AnimationPicture* picture_;
  QLabel* status_;
  QProgressBar* progress_;
};

void RegisterApplierView(ui::qt::DialogFrame& frame);

}  // namespace kolvar::updater

#endif  // KOLVAR_UPDATER_VIEWS_APPLIER_VIEW_H_
