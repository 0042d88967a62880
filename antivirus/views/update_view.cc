// The update dialog's view; see update_view.h.
#include "antivirus/views/update_view.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "antivirus/string_table.h"
#include "antivirus/update/update_texts.h"
#include "ui/qt/qt_text.h"

namespace kolvar {
namespace {

using namespace update_controls;

// Label control, value control, in the order of the rows.
constexpr std::pair<uint32_t, uint32_t> kLatestRows[] = {
    {kIdLabel, kId}, {kIdDateLabel, kIdDate}, {kTimeLabel, kTime}, {kSizeLabel, kSize}};
constexpr std::pair<uint32_t, uint32_t> kRunRows[] = {
    {kTotalSizeLabel, kTotalSize}, {kTransferredLabel, kTransferred}, {kTimeLeftLabel, kTimeLeft}};

}  // namespace

UpdateView::UpdateView(UpdateDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), update_(dialog) {
  setObjectName("UpdateView");
  SetBackground(ui::qt::kDialogGrey);
  const auto text = [](uint32_t id) {
    return ui::qt::ToQString(LoadString(TemplateText(update_texts::kUpdateTemplate, id)));
  };
  const auto add_rows = [&](QGridLayout* grid, const auto& rows) {
    int row = 0;
    for (const auto& [label_id, value_id] : rows) {
      auto* label = new QLabel(text(label_id), this);
      label->setFont(frame.fonts().regular[0]);
      auto* value = new QLabel(this);
      value->setObjectName(QStringLiteral("Value%1").arg(value_id));
      value->setFont(frame.fonts().bold);
      value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      values_[value_id] = value;
      grid->addWidget(label, row, 0);
      grid->addWidget(value, row, 1);
      ++row;
    }
  };
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(5, 5, 5, 5);
  auto* group = new QGroupBox(text(kLatestGroup), this);
  group->setFont(frame.fonts().regular[0]);
  auto* latest = new QGridLayout(group);
  add_rows(latest, kLatestRows);
  layout->addWidget(group);
  auto* run = new QGridLayout();
  add_rows(run, kRunRows);
  layout->addLayout(run);
  layout->addStretch(1);
  status_ = new QLabel(this);
  status_->setObjectName("StatusLine");
  status_->setFont(frame.fonts().regular[0]);
  status_->setAutoFillBackground(true);
  QPalette palette = status_->palette();
  palette.setColor(QPalette::Window, Qt::black);
  palette.setColor(QPalette::WindowText, Qt::white);
  status_->setPalette(palette);
  status_->setMargin(2);
  layout->addWidget(status_);
}

void UpdateView::Refresh() {
  values_.at(kId)->setText(ui::qt::ToQString(update_.last_id()));
  values_.at(kIdDate)->setText(ui::qt::ToQString(update_.last_date()));
  values_.at(kTime)->setText(ui::qt::ToQString(update_.last_time()));
  values_.at(kSize)->setText(ui::qt::ToQString(update_.last_size()));
  values_.at(kTotalSize)->setText(ui::qt::ToQString(update_.total_size()));
  values_.at(kTransferred)->setText(ui::qt::ToQString(update_.transferred()));
  values_.at(kTimeLeft)->setText(ui::qt::ToQString(update_.time_left()));
  status_->setText(ui::qt::ToQString(update_.status_line()));
  DialogView::Refresh();
}

}  // namespace kolvar
