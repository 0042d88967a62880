// The applier's progress view; see applier_view.h.
#include "updater/views/applier_view.h"

#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>

#include "ui/qt/qt_text.h"

namespace kolvar::updater {
namespace {

constexpr int kDots = kLastPicture - kFirstPicture + 1;
const QColor kDark(0, 84, 166);
const QColor kIdle(205, 210, 218);

}  // namespace

AnimationPicture::AnimationPicture(QWidget* parent) : QWidget(parent) {
  setObjectName("AnimationPicture");
}

void AnimationPicture::SetPicture(int picture) {
  if (picture == picture_) return;
  picture_ = picture;
  update();
}

void AnimationPicture::paintEvent(QPaintEvent* event) {
  (void)event;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPointF centre(width() / 2.0, height() / 2.0);
  const double ring = std::min(width(), height()) / 2.0 - 10;
  // The ring: the current picture's dot leads, the two before it trail off.
  const int current = picture_ - kFirstPicture;
  for (int dot = 0; dot < kDots; ++dot) {
    const double angle = -M_PI / 2 + dot * 2 * M_PI / kDots;
    const QPointF at(centre.x() + ring * std::cos(angle), centre.y() + ring * std::sin(angle));
    const int behind = (current - dot + kDots) % kDots;
    QColor colour = kIdle;
    if (behind < 3) {
      colour = kDark;
      colour.setAlpha(255 - behind * 80);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(at, 7.0, 7.0);
  }
  // The package in the middle, with an arrow going into it.
  const double side = ring * 0.9;
  const QRectF box(centre.x() - side / 2, centre.y() - side / 6, side, side * 0.6);
  painter.setPen(QPen(kDark, 2.5));
  painter.setBrush(QColor(236, 242, 250));
  painter.drawRoundedRect(box, 3, 3);
  painter.drawLine(QPointF(box.left(), box.top() + box.height() / 3),
                   QPointF(box.right(), box.top() + box.height() / 3));
  QPainterPath arrow;
  const double x = centre.x();
  const double top = centre.y() - side * 0.62;
  const double tip = box.top() + box.height() / 3 - 3;
  arrow.moveTo(x - 5, top);
  arrow.lineTo(x + 5, top);
  arrow.lineTo(x + 5, tip - 12);
  arrow.lineTo(x + 12, tip - 12);
  arrow.lineTo(x, tip);
  arrow.lineTo(x - 12, tip - 12);
  arrow.lineTo(x - 5, tip - 12);
  arrow.closeSubpath();
  painter.setPen(Qt::NoPen);
  painter.setBrush(kDark);
  painter.drawPath(arrow);
}

ApplierView::ApplierView(ApplierDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), applier_(dialog) {
  setObjectName("ApplierView");
  SetBackground(Qt::white);
  picture_ = new AnimationPicture(this);
  status_ = new QLabel(this);
  status_->setObjectName("StatusText");
  // The status font: the program's face at the base height, regular weight.
  status_->setFont(frame.fonts().regular[1]);
  QPalette palette = status_->palette();
  palette.setColor(QPalette::WindowText, Qt::black);
  status_->setPalette(palette);
  progress_ = new QProgressBar(this);
  progress_->setObjectName("ProgressBar");
  progress_->setRange(0, 100);
  progress_->setTextVisible(false);
}

void ApplierView::resizeEvent(QResizeEvent* event) {
  DialogView::resizeEvent(event);
  const int width = event->size().width();
  picture_->setGeometry(width / 2 - kPictureWidth / 2, 10, kPictureWidth, kPictureHeight);
  // 17 pixels high as on the device, more when the font needs it.
  const int status_height = std::max(17, status_->fontMetrics().height());
  status_->setGeometry(10, 135, width - 20, status_height);
  progress_->setGeometry(10, 135 + status_height + 2, width - 20, 20);
}

void ApplierView::Refresh() {
  picture_->SetPicture(applier_.picture());
  status_->setText(ui::qt::ToQString(applier_.status()));
  progress_->setValue(applier_.position());
  DialogView::Refresh();
}

void RegisterApplierView(ui::qt::DialogFrame& frame) {
  frame.RegisterView<ApplierDialog, ApplierView>();
}

}  // namespace kolvar::updater
