// The schedule pages; see schedule_page.h.
#include "scheduler/schedule_page.h"

#include "platform/message_box.h"
#include "scheduler/scheduler_ids.h"
#include "scheduling/calendar_date.h"

namespace kolvar {
namespace {

namespace ids = scheduler_ids;

// The text of a number, for an edit box.
std::u16string NumberText(int32_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// A number as the edit boxes hold it: one to three decimal digits. False for anything else
// (empty, a sign, a letter).
bool ReadNumber(std::u16string_view text, int32_t* value) {
  if (text.empty() || text.size() > kNumberFieldChars) return false;
  int32_t number = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    number = number * 10 + (c - u'0');
  }
  *value = number;
  return true;
}

bool Any(const bool* flags, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (flags[i]) return true;
  }
  return false;
}

}  // namespace

std::u16string ScheduleTypeName(uint32_t type) {
  static constexpr const char16_t* kNames[kOfferedScheduleTypes] = {
      u"Daily", u"Weekly", u"Monthly", u"Once", u"At system startup", u"Run on Connected"};
  return type < kOfferedScheduleTypes ? kNames[type] : u"";
}

ScheduleParameters DefaultScheduleParameters(const TaskTime& now) {
  ScheduleParameters p = ZeroScheduleParameters();
  p.daily = {now.hour, now.minute, 1};
  p.weekly.hour = now.hour;
  p.weekly.minute = now.minute;
  p.weekly.every_weeks = 1;
  for (int32_t& day : p.weekly.days) day = 1;
  p.monthly.hour = now.hour;
  p.monthly.minute = now.minute;
  p.monthly.day_mode = 1;
  p.monthly.day = now.day;
  p.monthly.weekday_mode = 0;
  p.monthly.ordinal = kOrdinalFirst;
  p.monthly.weekday = 0;
  for (int32_t& month : p.monthly.months) month = 1;
  p.once = {now.hour, now.minute, now.day, now.month, now.year};
  p.once_a_day = 0;
  p.idle_minutes = 10;
  return p;
}

bool SchedulePageDialog::HasPage(uint32_t type) {
  return type == kScheduleDaily || type == kScheduleWeekly || type == kScheduleMonthly ||
         type == kScheduleOnce || type == kScheduleOnConnection;
}

SchedulePageDialog::SchedulePageDialog(uint32_t type, const ScheduleParameters& p,
                                       const TaskTime& now)
    : Dialog(ScheduleTypeName(type)), type_(type), now_(now), result_(p) {
  soft_keys().left = ui::SoftKey::CommandKey(ids::kCommandConfirm, u"Confirm");
  soft_keys().right = ui::SoftKey::CommandKey(ids::kCommandCancelSchedule, u"Cancel");
  switch (type) {
    case kScheduleDaily:
      heading_ = u"Schedule Task Daily:";
      hour_ = p.daily.hour;
      minute_ = p.daily.minute;
      every_ = NumberText(p.daily.every_days);
      break;
    case kScheduleWeekly:
      heading_ = u"Schedule Task Weekly:";
      hour_ = p.weekly.hour;
      minute_ = p.weekly.minute;
      every_ = NumberText(p.weekly.every_weeks);
      for (size_t i = 0; i < days_.size(); ++i) days_[i] = p.weekly.days[i] != 0;
      break;
    case kScheduleMonthly:
      heading_ = u"Schedule Task Monthly:";
      hour_ = p.monthly.hour;
      minute_ = p.monthly.minute;
      // The day-of-month mode wins when both flags are set, as in the next-run computation.
      day_mode_ = p.monthly.day_mode != 0 || p.monthly.weekday_mode == 0;
      month_day_ = NumberText(p.monthly.day);
      ordinal_ = p.monthly.ordinal >= 0 && p.monthly.ordinal < 5 ? p.monthly.ordinal : -1;
      weekday_ = p.monthly.weekday >= 0 && p.monthly.weekday < 7 ? p.monthly.weekday : -1;
      for (size_t i = 0; i < months_.size(); ++i) months_[i] = p.monthly.months[i] != 0;
      break;
    case kScheduleOnce:
      heading_ = u"Schedule Task Once:";
      hour_ = p.once.hour;
      minute_ = p.once.minute;
      run_day_ = p.once.day;
      run_month_ = p.once.month;
      run_year_ = p.once.year;
      break;
    case kScheduleOnConnection:
      heading_ = u"Schedule Task On Connected:";
      once_a_day_ = p.once_a_day != 0;
      break;
    default:
      break;
  }
  // A stored time or date that is none shows as midnight or today: the pickers hold only real
  // ones.
  if (hour_ < 0 || hour_ > 23 || minute_ < 0 || minute_ > 59) hour_ = minute_ = 0;
  if (!IsValidDate(run_year_, run_month_, run_day_)) {
    run_day_ = now.day;
    run_month_ = now.month;
    run_year_ = now.year;
  }
}

void SchedulePageDialog::OnInit() {
  SetFocus(type_ == kScheduleOnConnection ? ids::kOnceADay : ids::kStartTime);
}

void SchedulePageDialog::SetTime(int hour, int minute) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return;
  hour_ = hour;
  minute_ = minute;
}

void SchedulePageDialog::SetEveryText(std::u16string_view text) {
  every_ = text.substr(0, kNumberFieldChars);
}

void SchedulePageDialog::SetMonthDayText(std::u16string_view text) {
  month_day_ = text.substr(0, kNumberFieldChars);
}

void SchedulePageDialog::SetOrdinal(int index) {
  ordinal_ = index >= 0 && index < static_cast<int>(kOrdinalNames.size()) ? index : -1;
}

void SchedulePageDialog::SetWeekday(int index) {
  weekday_ = index >= 0 && index < static_cast<int>(kWeekdayNames.size()) ? index : -1;
}

void SchedulePageDialog::SetRunOn(int day, int month, int year) {
  run_day_ = day;
  run_month_ = month;
  run_year_ = year;
}

bool SchedulePageDialog::IsControlEnabled(uint32_t control) const {
  if (type_ != kScheduleMonthly) return true;
  if (control == ids::kMonthDay) return day_mode_;
  if (control == ids::kOrdinal || control == ids::kWeekday) return !day_mode_;
  return true;
}

bool SchedulePageDialog::Refuse(std::u16string_view text, uint32_t control) {
  MessageBox(kSchedulerTitle, text, platform::kMbOk | platform::kMbIconWarning);
  SetFocus(control);
  Changed();
  return false;
}

bool SchedulePageDialog::Check() {
  int32_t number = 0;
  switch (type_) {
    case kScheduleDaily:
    case kScheduleWeekly:
      if (!ReadNumber(every_, &number) || number <= 0) {
        return Refuse(kIncorrectFields, ids::kEvery);
      }
      if (type_ == kScheduleWeekly && !Any(days_.data(), days_.size())) {
        return Refuse(kNoWeekdaySelected, ids::kFirstWeekday);
      }
      return true;
    case kScheduleMonthly:
      if (day_mode_) {
        if (!ReadNumber(month_day_, &number) || number < 1 || number > 31) {
          return Refuse(kIncorrectFields, ids::kMonthDay);
        }
      } else {
        if (ordinal_ < 0) return Refuse(kIncorrectFields, ids::kOrdinal);
        if (weekday_ < 0) return Refuse(kIncorrectFields, ids::kWeekday);
      }
      if (!Any(months_.data(), months_.size())) {
        return Refuse(kNoMonthSelected, ids::kFirstMonth);
      }
      return true;
    default:
      return true;
  }
}

void SchedulePageDialog::Confirm() {
  if (!Check()) return;
  ScheduleParameters p = DefaultScheduleParameters(now_);
  int32_t number = 0;
  switch (type_) {
    case kScheduleDaily:
      ReadNumber(every_, &number);
      p.daily = {hour_, minute_, number};
      break;
    case kScheduleWeekly:
      ReadNumber(every_, &number);
      p.weekly.hour = hour_;
      p.weekly.minute = minute_;
      p.weekly.every_weeks = number;
      for (size_t i = 0; i < days_.size(); ++i) p.weekly.days[i] = days_[i] ? 1 : 0;
      break;
    case kScheduleMonthly:
      p.monthly.hour = hour_;
      p.monthly.minute = minute_;
      p.monthly.day_mode = day_mode_ ? 1 : 0;
      p.monthly.weekday_mode = day_mode_ ? 0 : 1;
      if (day_mode_) {
        ReadNumber(month_day_, &number);
        p.monthly.day = number;
      } else {
        p.monthly.ordinal = ordinal_;
        p.monthly.weekday = weekday_;
      }
      for (size_t i = 0; i < months_.size(); ++i) p.monthly.months[i] = months_[i] ? 1 : 0;
      break;
    case kScheduleOnce:
      p.once = {hour_, minute_, run_day_, run_month_, run_year_};
      break;
    case kScheduleOnConnection:
      p.once_a_day = once_a_day_ ? 1 : 0;
      break;
    default:
      break;
  }
  result_ = p;
  End(ui::kResultOk);
}

void SchedulePageDialog::OnCommand(uint32_t id) {
  if (id >= ids::kFirstWeekday && id < ids::kFirstWeekday + days_.size()) {
    bool& day = days_[id - ids::kFirstWeekday];
    day = !day;
    Changed();
    return;
  }
  if (id >= ids::kFirstMonth && id < ids::kFirstMonth + months_.size()) {
    bool& month = months_[id - ids::kFirstMonth];
    month = !month;
    Changed();
    return;
  }
  switch (id) {
    case ids::kDayMode:
    case ids::kWeekdayMode:
      day_mode_ = id == ids::kDayMode;
      Changed();
      return;
    case ids::kOnceADay:
      once_a_day_ = !once_a_day_;
      Changed();
      return;
    case ids::kCommandConfirm:
      Confirm();
      return;
    case ids::kCommandCancelSchedule:
      End(ui::kResultCancel);
      return;
    case ui::kCommandOk: {
      // The action key ticks the focused box or option; on any other field it confirms.
      const uint32_t focused = focus();
      const bool toggles =
          (focused >= ids::kFirstWeekday && focused < ids::kFirstWeekday + days_.size()) ||
          (focused >= ids::kFirstMonth && focused < ids::kFirstMonth + months_.size()) ||
          focused == ids::kDayMode || focused == ids::kWeekdayMode || focused == ids::kOnceADay;
      if (toggles) {
        OnCommand(focused);
      } else {
        Confirm();
      }
      return;
    }
    default:
      Dialog::OnCommand(id);
  }
}

void SchedulePageDialog::OnBack() { End(ui::kResultCancel); }

}  // namespace kolvar
