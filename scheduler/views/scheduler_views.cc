// The scheduler editor's views; see scheduler_views.h.
#include "scheduler/views/scheduler_views.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "scheduler/scheduler_ids.h"
#include "ui/qt/pictures.h"
#include "ui/qt/qt_text.h"

namespace kolvar::views {
namespace {

namespace ids = scheduler_ids;
using ui::qt::FromQString;
using ui::qt::ToQString;

QLabel* TextLabel(const QString& text, const QFont& font, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setFont(font);
  label->setTextFormat(Qt::PlainText);
  return label;
}

void SetChecked(QAbstractButton* button, bool checked) {
  const QSignalBlocker blocker(button);
  button->setChecked(checked);
}

void SetText(QLineEdit* edit, const std::u16string& text) {
  const QString shown = ToQString(text);
  if (edit->text() == shown) return;
  const QSignalBlocker blocker(edit);
  edit->setText(shown);
}

void SetIndex(QComboBox* box, int index) {
  if (box->currentIndex() == index) return;
  const QSignalBlocker blocker(box);
  box->setCurrentIndex(index);
}

// A number field of at most three digits.
QLineEdit* NumberEdit(const QFont& font, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setFont(font);
  edit->setMaxLength(static_cast<int>(kNumberFieldChars));
  edit->setFixedWidth(48);
  return edit;
}

}  // namespace

void RestoreFocus(ui::qt::DialogView& view) {
  QWidget* widget = view.WidgetOf(view.dialog().focus());
  if (widget != nullptr && widget->isEnabled()) widget->setFocus(Qt::OtherFocusReason);
}

TaskListView::TaskListView(TaskListDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), tasks_(dialog) {
  setObjectName("TaskListView");
  SetBackground(ui::qt::kDialogGrey);
  const QFont& font = frame.fonts().regular[1];
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(5, 5, 5, 5);
  layout->setSpacing(4);
  QLabel* heading = TextLabel(ToQString(dialog.heading()), frame.fonts().bold, this);
  layout->addWidget(heading);
  list_ = new ui::qt::ListView(dialog.list(), ids::kTaskList, *this);
  list_->setObjectName("TaskList");
  list_->setFont(font);
  list_->SetImages({ui::qt::PictureIcon(":/scheduler/task.svg", QSize(16, 16))});
  BindControl(list_, ids::kTaskList);
  layout->addWidget(list_, 1);
  auto* starts = new QGridLayout;
  starts->setHorizontalSpacing(10);
  starts->addWidget(TextLabel("Last Start", frame.fonts().bold, this), 0, 0);
  starts->addWidget(TextLabel("Next Start", frame.fonts().bold, this), 0, 1);
  last_start_ = TextLabel("", font, this);
  last_start_->setObjectName("LastStart");
  next_start_ = TextLabel("", font, this);
  next_start_->setObjectName("NextStart");
  starts->addWidget(last_start_, 1, 0);
  starts->addWidget(next_start_, 1, 1);
  starts->setColumnStretch(0, 1);
  starts->setColumnStretch(1, 1);
  layout->addLayout(starts);
}

void TaskListView::showEvent(QShowEvent* event) {
  DialogView::showEvent(event);
  RestoreFocus(*this);
}

void TaskListView::Refresh() {
  list_->Sync();
  last_start_->setText(ToQString(tasks_.last_start()));
  next_start_->setText(ToQString(tasks_.next_start()));
  DialogView::Refresh();
}

TaskPageView::TaskPageView(TaskPageDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), page_(dialog) {
  setObjectName("TaskPageView");
  SetBackground(ui::qt::kDialogGrey);
  const QFont& font = frame.fonts().regular[1];
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->setSpacing(6);

  activate_ = new QCheckBox(ToQString(dialog.activate_text()), this);
  activate_->setObjectName("Activate");
  activate_->setFont(frame.fonts().bold);
  BindButton(activate_, ids::kActivate);
  layout->addWidget(activate_);
  dont_ask_ = new QCheckBox("Don't ask to execute", this);
  dont_ask_->setObjectName("DontAsk");
  dont_ask_->setFont(font);
  BindButton(dont_ask_, ids::kDontAsk);
  layout->addWidget(dont_ask_);

  name_label_ = TextLabel("Name:", font, this);
  layout->addWidget(name_label_);
  name_ = new QLineEdit(this);
  name_->setObjectName("Name");
  name_->setFont(font);
  name_->setMaxLength(static_cast<int>(kTaskTextChars - 1));
  BindControl(name_, ids::kName);
  QObject::connect(name_, &QLineEdit::textEdited, this,
                   [this](const QString& text) { page_.SetName(FromQString(text)); });
  layout->addWidget(name_);

  type_label_ = TextLabel("Schedule:", font, this);
  layout->addWidget(type_label_);
  auto* type_row = new QHBoxLayout;
  types_ = new QComboBox(this);
  types_->setObjectName("Types");
  types_->setFont(font);
  for (uint32_t type = 0; type < kOfferedScheduleTypes; ++type) {
    types_->addItem(ToQString(ScheduleTypeName(type)));
  }
  BindControl(types_, ids::kTypeList);
  QObject::connect(types_, &QComboBox::currentIndexChanged, this, [this](int index) {
    page_.SelectType(index);
    this->frame().DialogChanged(page_);
  });
  type_row->addWidget(types_, 1);
  edit_ = new QPushButton("Edit", this);
  edit_->setObjectName("Edit");
  edit_->setFont(font);
  BindButton(edit_, ids::kEditSchedule);
  type_row->addWidget(edit_);
  layout->addLayout(type_row);

  description_ = TextLabel("", font, this);
  description_->setObjectName("Description");
  description_->setWordWrap(true);
  description_->setFrameShape(QFrame::StyledPanel);
  description_->setMargin(4);
  description_->setMinimumHeight(48);
  description_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout->addWidget(description_);

  retry_heading_ = TextLabel(ToQString(dialog.retry_heading()), frame.fonts().bold, this);
  layout->addWidget(retry_heading_);
  retry_ = new QCheckBox(ToQString(dialog.retry_text()), this);
  retry_->setObjectName("Retry");
  retry_->setFont(font);
  BindButton(retry_, ids::kRetry);
  layout->addWidget(retry_);
  // Stored only: the device's page keeps the box hidden.
  background_ = new QCheckBox("Execute on background", this);
  background_->setObjectName("Background");
  background_->setVisible(false);
  BindButton(background_, ids::kBackground);
  layout->addStretch(1);
}

void TaskPageView::showEvent(QShowEvent* event) {
  DialogView::showEvent(event);
  RestoreFocus(*this);
}

void TaskPageView::Refresh() {
  SetChecked(activate_, page_.enabled());
  SetChecked(dont_ask_, page_.dont_ask());
  SetChecked(retry_, page_.retry());
  SetChecked(background_, page_.background());
  SetText(name_, page_.name());
  SetIndex(types_, page_.type() < kOfferedScheduleTypes ? static_cast<int>(page_.type()) : -1);
  description_->setText(ToQString(page_.description()));
  name_->setEnabled(page_.IsControlEnabled(ids::kName));
  name_label_->setEnabled(page_.IsControlEnabled(ids::kName));
  types_->setEnabled(page_.IsControlEnabled(ids::kTypeList));
  type_label_->setEnabled(page_.IsControlEnabled(ids::kTypeList));
  edit_->setEnabled(page_.IsControlEnabled(ids::kEditSchedule));
  description_->setEnabled(page_.IsControlEnabled(ids::kDescription));
  retry_heading_->setEnabled(page_.IsControlEnabled(ids::kRetry));
  retry_->setEnabled(page_.IsControlEnabled(ids::kRetry));
  DialogView::Refresh();
}

SchedulePageView::SchedulePageView(SchedulePageDialog& dialog, ui::qt::DialogFrame& frame)
    : DialogView(dialog, frame), page_(dialog) {
  setObjectName("SchedulePageView");
  SetBackground(ui::qt::kDialogGrey);
  const QFont& font = frame.fonts().regular[1];
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->setSpacing(6);
  layout->addWidget(TextLabel(ToQString(dialog.heading()), frame.fonts().bold, this));
  const uint32_t type = dialog.type();

  if (type != kScheduleOnConnection) {
    auto* row = new QHBoxLayout;
    row->addWidget(TextLabel("Start Time:", font, this));
    start_time_ = new QTimeEdit(this);
    start_time_->setObjectName("StartTime");
    start_time_->setFont(font);
    start_time_->setDisplayFormat("HH:mm");
    BindControl(start_time_, ids::kStartTime);
    QObject::connect(start_time_, &QTimeEdit::timeChanged, this, [this](const QTime& time) {
      page_.SetTime(time.hour(), time.minute());
    });
    row->addWidget(start_time_);
    row->addStretch(1);
    layout->addLayout(row);
  }

  if (type == kScheduleDaily || type == kScheduleWeekly) {
    auto* row = new QHBoxLayout;
    row->addWidget(TextLabel("Every:", font, this));
    every_ = NumberEdit(font, this);
    every_->setObjectName("Every");
    BindControl(every_, ids::kEvery);
    QObject::connect(every_, &QLineEdit::textEdited, this,
                     [this](const QString& text) { page_.SetEveryText(FromQString(text)); });
    row->addWidget(every_);
    row->addWidget(TextLabel(type == kScheduleDaily ? "Day(s)" : "week(s)", font, this));
    row->addStretch(1);
    layout->addLayout(row);
  }

  if (type == kScheduleWeekly) {
    auto* grid = new QGridLayout;
    for (size_t i = 0; i < kDayBoxes.size(); ++i) {
      auto* box = new QCheckBox(ToQString(kDayBoxes[i]), this);
      box->setObjectName(ToQString(kDayBoxes[i]));
      box->setFont(font);
      BindButton(box, ids::kFirstWeekday + static_cast<uint32_t>(i));
      grid->addWidget(box, static_cast<int>(i / 4), static_cast<int>(i % 4));
      days_.push_back(box);
    }
    layout->addLayout(grid);
  }

  if (type == kScheduleMonthly) {
    auto* day_row = new QHBoxLayout;
    day_mode_ = new QRadioButton("Day", this);
    day_mode_->setObjectName("DayMode");
    day_mode_->setFont(font);
    BindButton(day_mode_, ids::kDayMode);
    day_row->addWidget(day_mode_);
    month_day_ = NumberEdit(font, this);
    month_day_->setObjectName("MonthDay");
    BindControl(month_day_, ids::kMonthDay);
    QObject::connect(month_day_, &QLineEdit::textEdited, this,
                     [this](const QString& text) { page_.SetMonthDayText(FromQString(text)); });
    day_row->addWidget(month_day_);
    day_row->addStretch(1);
    layout->addLayout(day_row);

    weekday_mode_ = new QRadioButton("Weekday of the Month", this);
    weekday_mode_->setObjectName("WeekdayMode");
    weekday_mode_->setFont(font);
    BindButton(weekday_mode_, ids::kWeekdayMode);
    layout->addWidget(weekday_mode_);
    auto* weekday_row = new QHBoxLayout;
    weekday_row->addSpacing(20);
    ordinal_ = new QComboBox(this);
    ordinal_->setObjectName("Ordinal");
    ordinal_->setFont(font);
    for (const char16_t* name : kOrdinalNames) ordinal_->addItem(ToQString(name));
    BindControl(ordinal_, ids::kOrdinal);
    QObject::connect(ordinal_, &QComboBox::currentIndexChanged, this,
                     [this](int index) { page_.SetOrdinal(index); });
    weekday_row->addWidget(ordinal_);
    weekday_ = new QComboBox(this);
    weekday_->setObjectName("Weekday");
    weekday_->setFont(font);
    for (const char16_t* name : kWeekdayNames) weekday_->addItem(ToQString(name));
    BindControl(weekday_, ids::kWeekday);
    QObject::connect(weekday_, &QComboBox::currentIndexChanged, this,
                     [this](int index) { page_.SetWeekday(index); });
    weekday_row->addWidget(weekday_, 1);
    layout->addLayout(weekday_row);

    auto* grid = new QGridLayout;
    for (size_t i = 0; i < kMonthBoxes.size(); ++i) {
      auto* box = new QCheckBox(ToQString(kMonthBoxes[i]), this);
      box->setObjectName(ToQString(kMonthBoxes[i]));
      box->setFont(font);
      BindButton(box, ids::kFirstMonth + static_cast<uint32_t>(i));
      grid->addWidget(box, static_cast<int>(i / 4), static_cast<int>(i % 4));
      months_.push_back(box);
    }
    layout->addLayout(grid);
  }

  if (type == kScheduleOnce) {
    auto* row = new QHBoxLayout;
    row->addWidget(TextLabel("Run on:", font, this));
    run_on_ = new QDateEdit(this);
    run_on_->setObjectName("RunOn");
    run_on_->setFont(font);
    run_on_->setDisplayFormat("dd/MM/yyyy");
    run_on_->setCalendarPopup(true);
    BindControl(run_on_, ids::kRunOn);
    QObject::connect(run_on_, &QDateEdit::dateChanged, this, [this](const QDate& date) {
      page_.SetRunOn(date.day(), date.month(), date.year());
    });
    row->addWidget(run_on_);
    row->addStretch(1);
    layout->addLayout(row);
  }

  if (type == kScheduleOnConnection) {
    once_a_day_ = new QCheckBox("Only run this task once a day", this);
    once_a_day_->setObjectName("OnceADay");
    once_a_day_->setFont(font);
    BindButton(once_a_day_, ids::kOnceADay);
    layout->addWidget(once_a_day_);
  }
  layout->addStretch(1);
}

void SchedulePageView::Refresh() {
  if (start_time_ != nullptr) {
    const QTime time(page_.hour(), page_.minute());
    if (start_time_->time() != time) {
      const QSignalBlocker blocker(start_time_);
      start_time_->setTime(time);
    }
  }
  if (every_ != nullptr) SetText(every_, page_.every_text());
  for (size_t i = 0; i < days_.size(); ++i) SetChecked(days_[i], page_.day(static_cast<int>(i)));
  if (day_mode_ != nullptr) {
    SetChecked(day_mode_, page_.day_mode());
    SetChecked(weekday_mode_, !page_.day_mode());
    SetText(month_day_, page_.month_day_text());
    SetIndex(ordinal_, page_.ordinal());
    SetIndex(weekday_, page_.weekday());
    month_day_->setEnabled(page_.IsControlEnabled(ids::kMonthDay));
    ordinal_->setEnabled(page_.IsControlEnabled(ids::kOrdinal));
    weekday_->setEnabled(page_.IsControlEnabled(ids::kWeekday));
  }
  for (size_t i = 0; i < months_.size(); ++i) {
    SetChecked(months_[i], page_.month(static_cast<int>(i)));
  }
  if (run_on_ != nullptr) {
    const QDate date(page_.run_year(), page_.run_month(), page_.run_day());
    // A stored date that is no date leaves the picker where it is; the page keeps the stored one.
    if (date.isValid() && run_on_->date() != date) {
      const QSignalBlocker blocker(run_on_);
      run_on_->setDate(date);
    }
  }
  if (once_a_day_ != nullptr) SetChecked(once_a_day_, page_.once_a_day());
  DialogView::Refresh();
}

void RegisterSchedulerViews(ui::qt::DialogFrame& frame) {
  frame.RegisterView<TaskListDialog, TaskListView>();
  frame.RegisterView<TaskPageDialog, TaskPageView>();
  frame.RegisterView<SchedulePageDialog, SchedulePageView>();
}

}  // namespace kolvar::views
