// The schedule pages of the scheduler editor, one per schedule type that has details: daily
// (start time, every N days), weekly (start time, every N weeks, the days of the week), monthly
// (start time, a day of the month or an ordinal weekday, the months), once (start time and date)
// and on connection (once a day). "Confirm" checks the page's fields, then resets every parameter
// member to its default and sets the page's own, so only the chosen type's values survive;
// "Cancel" and Back leave the parameters as they were.
#ifndef KOLVAR_SCHEDULER_SCHEDULE_PAGE_H_
#define KOLVAR_SCHEDULER_SCHEDULE_PAGE_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "scheduling/schedule_parameters.h"
#include "scheduling/task_record.h"
#include "ui/dialog.h"

namespace kolvar {

inline constexpr char16_t kIncorrectFields[] =
    u"Incorrect fields exist. Please check and try again.";
inline constexpr char16_t kNoWeekdaySelected[] =
    u"Please select the day(s) of week that task will be executed";
inline constexpr char16_t kNoMonthSelected[] =
    u"Please select the month(s) that task will be executed";

// The type list's entries, types 0 to 5 in order (type 6 is not offered).
inline constexpr int kOfferedScheduleTypes = 6;
std::u16string ScheduleTypeName(uint32_t type);

// The parameters of a page opened at `now`: daily at now's time every 1 day; weekly at that time
// every week on all seven days; monthly at that time on today's day of every month (ordinal
// "First", weekday Sunday for the weekday mode); once at now; 10 idle minutes; not once a day.
ScheduleParameters DefaultScheduleParameters(const TaskTime& now);

// The edit boxes for numbers take at most this many characters.
inline constexpr size_t kNumberFieldChars = 3;

class SchedulePageDialog : public ui::Dialog {
 public:
  // Whether a type has a page ("At system startup" and "when idle" have none).
  static bool HasPage(uint32_t type);

  // `parameters` are the task page's current ones; `now` gives the defaults on "Confirm".
  SchedulePageDialog(uint32_t type, const ScheduleParameters& parameters, const TaskTime& now);

  uint32_t type() const { return type_; }
  // "Schedule Task Daily:" and so on.
  const std::u16string& heading() const { return heading_; }

  // The state the view shows and edits.
  int hour() const { return hour_; }
  int minute() const { return minute_; }
  void SetTime(int hour, int minute);
  // "Every:" N, daily and weekly.
  const std::u16string& every_text() const { return every_; }
  void SetEveryText(std::u16string_view text);
  // Monday first; toggled by the commands kFirstWeekday + i.
  bool day(int index) const { return days_[static_cast<size_t>(index)]; }
  // Monthly: the "Day" option (else "Weekday of the Month"), the day number, the two lists
  // (-1: nothing chosen), the months (January first, toggled by kFirstMonth + i).
  bool day_mode() const { return day_mode_; }
  const std::u16string& month_day_text() const { return month_day_; }
  void SetMonthDayText(std::u16string_view text);
  int ordinal() const { return ordinal_; }
  int weekday() const { return weekday_; }
  void SetOrdinal(int index);
  void SetWeekday(int index);
  bool month(int index) const { return months_[static_cast<size_t>(index)]; }
  // Once: "Run on:".
  int run_day() const { return run_day_; }
  int run_month() const { return run_month_; }
  int run_year() const { return run_year_; }
  void SetRunOn(int day, int month, int year);
  // On connection: "Only run this task once a day".
  bool once_a_day() const { return once_a_day_; }

  // Whether a control can be used (the monthly options switch their fields on and off).
  bool IsControlEnabled(uint32_t control) const;

  // Once confirmed: the parameters with this page's values over the defaults.
  bool confirmed() const { return ended() && result() == ui::kResultOk; }
  const ScheduleParameters& parameters() const { return result_; }

  void OnInit() override;
  void OnCommand(uint32_t id) override;
  void OnBack() override;

 private:
  // Checks the fields; false after the box that names the fault (the focus on the field).
  bool Check();
  bool Refuse(std::u16string_view text, uint32_t control);
  void Confirm();

  const uint32_t type_;
  const TaskTime now_;
  std::u16string heading_;
  int hour_ = 0;
  int minute_ = 0;
  std::u16string every_;
  std::array<bool, 7> days_{};
  bool day_mode_ = true;
  std::u16string month_day_;
  int ordinal_ = 0;
  int weekday_ = 0;
  std::array<bool, 12> months_{};
  int run_day_ = 1;
  int run_month_ = 1;
  int run_year_ = 2000;
  bool once_a_day_ = false;
  ScheduleParameters result_;
};

// The names of the monthly page's lists.
inline constexpr std::array<const char16_t*, 5> kOrdinalNames = {u"First", u"Second", u"Third",
                                                                  u"Fourth", u"Last"};
inline constexpr std::array<const char16_t*, 7> kWeekdayNames = {
    u"Sunday", u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday"};
// The check boxes of the weekly and monthly pages.
inline constexpr std::array<const char16_t*, 7> kDayBoxes = {u"Mon", u"Tue", u"Wed", u"Thu",
                                                              u"Fri", u"Sat", u"Sun"};
inline constexpr std::array<const char16_t*, 12> kMonthBoxes = {
    u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};

}  // namespace kolvar

#endif  // KOLVAR_SCHEDULER_SCHEDULE_PAGE_H_
