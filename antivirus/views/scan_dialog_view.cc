// The scan dialog's view; see scan_dialog_view.h.
#include "antivirus/views/scan_dialog_view.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "antivirus/command_ids.h"
#include "antivirus/string_table.h"
#include "antivirus/views/pictures.h"
#include "ui/qt/qt_text.h"

namespace kolvar::views {
namespace {

using ui::qt::ToQString;

constexpr int kAnimationSize = 64;

QString TemplateString(uint32_t control) {
  return ToQString(LoadString(TemplateText(resources::kScanTemplate, control)));
}

}  // namespace

ScanDialogView::ScanDialogView(ScanDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), scan_(dialog) {
  using namespace scan_controls;
  setObjectName("ScanDialogView");
  SetBackground(Qt::white);
  const ui::qt::ApplicationFonts& fonts = frame.fonts();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->setSpacing(4);

  auto make_label = [&](uint32_t id, const QFont& font, const QString& text) {
    auto* label = new QLabel(text, this);
    label->setObjectName(QStringLiteral("Label%1").arg(id));
    label->setFont(font);
    labels_[id] = label;
    return label;
  };
  layout->addWidget(make_label(kStatus, fonts.bold, TemplateString(kStatus)));
  QLabel* file = make_label(kFile, fonts.regular[0], QString());
  file->setFrameShape(QFrame::Box);
  file->setWordWrap(false);
  file->setMinimumWidth(1);
  file->setTextFormat(Qt::PlainText);
  layout->addWidget(file);

  auto* grid = new QGridLayout();
  grid->setHorizontalSpacing(8);
  const struct {
    uint32_t label;
    uint32_t value;
    const char* initial;
  } rows[] = {{1067, kFilesTested, "0"},
              {1068, kBytesTested, "0"},
              {1069, kElapsed, "00:00:00"},
              {1070, kInfected, "0"}};
  int row = 0;
  for (const auto& entry : rows) {
    grid->addWidget(make_label(entry.label, fonts.bold, TemplateString(entry.label)), row, 0);
    QLabel* value = make_label(entry.value, fonts.regular[0], QString::fromLatin1(entry.initial));
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(value, row, 1);
    ++row;
  }
  QPalette red = labels_[kInfected]->palette();
  red.setColor(QPalette::WindowText, QColor(255, 0, 0));
  labels_[kInfected]->setPalette(red);
  layout->addLayout(grid);

  animation_ = new QLabel(this);
  animation_->setObjectName("Animation");
  animation_->setFixedSize(kAnimationSize, kAnimationSize);
  animation_->setAlignment(Qt::AlignCenter);
  layout->addWidget(animation_, 1, Qt::AlignCenter);

  auto* buttons = new QHBoxLayout();
  buttons->setSpacing(2);
  for (uint32_t id : {commands::kStartButton, commands::kPauseButton, commands::kStopButton,
                      commands::kReportButton, commands::kAboutButton}) {
    auto* button = new IconButton(TemplateString(id), this);
    button->setObjectName(QStringLiteral("Button%1").arg(id));
    buttons_[id] = button;
    BindButton(button, id);
    buttons->addWidget(button);
  }
  layout->addLayout(buttons);
}

QLabel* ScanDialogView::label(uint32_t control) const {
  const auto it = labels_.find(control);
  return it == labels_.end() ? nullptr : it->second;
}

IconButton* ScanDialogView::button(uint32_t id) const {
  const auto it = buttons_.find(id);
  return it == buttons_.end() ? nullptr : it->second;
}

void ScanDialogView::Refresh() {
  using namespace scan_controls;
  labels_[kStatus]->setText(ToQString(scan_.status_text()));
  const QString file = ToQString(scan_.file_text());
  labels_[kFile]->setText(
      labels_[kFile]->fontMetrics().elidedText(file, Qt::ElideMiddle, labels_[kFile]->width() - 4));
  labels_[kFile]->setToolTip(file);
  labels_[kFilesTested]->setText(ToQString(scan_.files_tested_text()));
  labels_[kBytesTested]->setText(ToQString(scan_.bytes_tested_text()));
  labels_[kInfected]->setText(ToQString(scan_.infected_text()));
  labels_[kElapsed]->setText(ToQString(scan_.ElapsedText()));
  // Disabling the button that has the focus makes Qt move the focus on by itself, which the frame
  // reports to the dialog: the dialog's own choice of focus is put back before it is applied.
  const uint32_t wanted = scan_.focus();
  for (auto& [id, button] : buttons_) button->setEnabled(scan_.IsButtonEnabled(id));
  scan_.FocusChanged(wanted);
  DialogView::Refresh();
  for (auto& [id, button] : buttons_) {
    button->SetPicture(ButtonPicture(scan_.ButtonIcon(id, scan_.focus() == id)));
  }
  if (shown_picture_ != scan_.animation_picture()) {
    shown_picture_ = scan_.animation_picture();
    animation_->setPixmap(
        LoadPicture(AnimationPicture(shown_picture_), QSize(kAnimationSize, kAnimationSize), this));
  }
}

}  // namespace kolvar::views
