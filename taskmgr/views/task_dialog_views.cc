// The task manager's views; see task_dialog_views.h.
#include "taskmgr/views/task_dialog_views.h"

#include <QFont>
#include <QResizeEvent>

#include "ui/qt/qt_text.h"

namespace kolvar::views {
namespace {

using ui::qt::ToQString;

constexpr int kInset = 5;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 25;
constexpr int kButtonTops[3] = {90, 118, 146};

// The dialog font (the base height) or the one a point larger, at a weight.
QFont DialogFont(const ui::qt::ApplicationFonts& fonts, bool larger, int weight) {
  QFont font = fonts.regular[larger ? 0 : 1];
  font.setWeight(static_cast<QFont::Weight>(weight));
  return font;
}

}  // namespace

TaskExecutionView::TaskExecutionView(TaskExecutionDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame) {
  setObjectName("TaskExecutionView");
  SetBackground(ui::qt::kDialogGrey);
  const ui::qt::ApplicationFonts& fonts = frame.fonts();
  group_ = new QGroupBox(ToQString(dialog.group_title()), this);
  group_->setFont(DialogFont(fonts, true, 700));
  message_ = new QLabel(ToQString(dialog.message()), this);
  message_->setObjectName("Message");
  message_->setFont(DialogFont(fonts, false, 400));
  message_->setWordWrap(true);
  message_->setTextFormat(Qt::PlainText);
  message_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  for (const TaskExecutionDialog::Button& entry : dialog.buttons()) {
    auto* button = new QPushButton(ToQString(entry.text), this);
    button->setObjectName(ToQString(entry.text));
    button->setFont(DialogFont(fonts, true, 400));
    BindButton(button, entry.command);
    buttons_.push_back(button);
  }
}

void TaskExecutionView::resizeEvent(QResizeEvent* event) {
  DialogView::resizeEvent(event);
  const int width = event->size().width();
  group_->setGeometry(kInset, kInset, width - 2 * kInset, event->size().height() - 2 * kInset);
  message_->setGeometry(10, 25, width - 20, 50);
  for (size_t i = 0; i < buttons_.size() && i < 3; ++i) {
    buttons_[i]->setGeometry((width - kButtonWidth) / 2, kButtonTops[i], kButtonWidth,
                             kButtonHeight);
    buttons_[i]->raise();
  }
  message_->raise();
}

PostponeView::PostponeView(PostponeDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), postpone_(dialog) {
  setObjectName("PostponeView");
  SetBackground(ui::qt::kDialogGrey);
  const ui::qt::ApplicationFonts& fonts = frame.fonts();
  group_ = new QGroupBox(ToQString(dialog.title()), this);
  group_->setFont(DialogFont(fonts, true, 700));
  notice_ = new QLabel(ToQString(dialog.notice()), this);
  notice_->setFont(DialogFont(fonts, true, 400));
  prompt_ = new QLabel(ToQString(dialog.prompt()), this);
  prompt_->setFont(DialogFont(fonts, true, 400));
  intervals_ = new QComboBox(this);
  intervals_->setObjectName("Intervals");
  intervals_->setFont(DialogFont(fonts, true, 400));
  for (const std::u16string& interval : dialog.intervals()) {
    intervals_->addItem(ToQString(interval));
  }
  BindControl(intervals_, kCommandConfirm);
  QObject::connect(intervals_, &QComboBox::currentIndexChanged, this,
                   [this](int index) { postpone_.Select(index); });
}

void PostponeView::Refresh() {
  if (intervals_->currentIndex() != postpone_.selected()) {
    intervals_->setCurrentIndex(postpone_.selected());
  }
  DialogView::Refresh();
}

void PostponeView::resizeEvent(QResizeEvent* event) {
  DialogView::resizeEvent(event);
  const int width = event->size().width();
  group_->setGeometry(kInset, kInset, width - 2 * kInset, 150);
  notice_->setGeometry(15, 30, width - 30, 22);
  prompt_->setGeometry(15, 62, width - 30, 22);
  intervals_->setGeometry(15, 90, width - 30, 28);
  notice_->raise();
  prompt_->raise();
  intervals_->raise();
}

void RegisterTaskManagerViews(ui::qt::DialogFrame& frame) {
  frame.RegisterView<TaskExecutionDialog, TaskExecutionView>();
  frame.RegisterView<PostponeDialog, PostponeView>();
}

}  // namespace kolvar::views
