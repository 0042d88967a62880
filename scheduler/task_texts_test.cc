// The editor's texts of a task, character for character, including the quirks people have seen
// on the device for years: no space before "every", the full stop before the trailing space.
#include "scheduler/task_texts.h"

#include <gtest/gtest.h>

namespace kolvar {
namespace {

struct DescriptionCase {
  const char* what;
  uint32_t type;
  const char16_t* parameters;
  const char16_t* expected;
};

TEST(TaskTextsTest, Descriptions) {
  const DescriptionCase cases[] = {
      {"daily", kScheduleDaily, u"9|5|3", u"Execute at 09:05 every 3 day(s)"},
      {"weekly Mon and Thu every 2 weeks", kScheduleWeekly, u"8|5|2|1|0|0|1|0|0|0|",
       u"Execute at 08:05 on Mon, Thu, every 2 week(s)"},
      {"weekly Sunday only", kScheduleWeekly, u"23|59|1|0|0|0|0|0|0|1|",
       u"Execute at 23:59 on Sun, every 1 week(s)"},
      {"monthly day 20 of January and February", kScheduleMonthly,
       u"9|0|1|20|0|0|0|1|1|0|0|0|0|0|0|0|0|0|0", u"Execute at 09:00 on day 20 of Jan, Feb. "},
      {"monthly last Friday of every month", kScheduleMonthly,
       u"9|0|0|1|1|4|5|1|1|1|1|1|1|1|1|1|1|1|1",
       u"Execute at 09:00 on Last Friday of Jan, Feb, Mar, Apr, May, Jun, Jul, Aug, Sep, Oct, "
       u"Nov, Dec. "},
      {"day mode takes precedence", kScheduleMonthly, u"9|0|1|7|1|0|0|0|0|0|0|0|0|0|0|0|0|0|1",
       u"Execute at 09:00 on day 7 of Dec. "},
      {"once", kScheduleOnce, u"7|3|1|2|2027", u"Execute at 07:03 of 01/02/2027"},
      {"at start-up", kScheduleAtStartup, u"", u"Execute when system startup"},
      {"on connection", kScheduleOnConnection, u"0", u"Execute this task when connected"},
      {"on connection once a day", kScheduleOnConnection, u"1",
       u"Execute this task when connected once a day."},
      {"when idle", kScheduleWhenIdle, u"10", u"Execute when idle for 10 minutes"},
  };
  for (const DescriptionCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScheduleParameters p = ZeroScheduleParameters();
    ParseScheduleParameters(c.type, c.parameters, &p);
    EXPECT_EQ(TaskDescription(c.type, p), c.expected);
  }
}

TEST(TaskTextsTest, StartsAndStatus) {
  TaskRecord record = EmptyTaskRecord();
  record.kind = kTaskKindScan;
  EXPECT_EQ(LastStartText(record), u"not executed yet");
  EXPECT_EQ(NextStartText(record), u"not available");
  EXPECT_EQ(StatusText(record), u"Disabled");
  record.enabled = 1;
  EXPECT_EQ(StatusText(record), u"Pending");
  record.last_run = {2026, 3, 5, 7, 9};
  record.next_run = {2027, 12, 31, 23, 0};
  EXPECT_EQ(LastStartText(record), u"05/03/2026 07:09");
  EXPECT_EQ(NextStartText(record), u"31/12/2027 23:00");
  record.next_run = {};
  const struct {
    uint32_t type;
    const char16_t* next;
  } by_type[] = {{kScheduleAtStartup, u"on startup system"},
                 {kScheduleOnConnection, u"on connected"},
                 {kScheduleWhenIdle, u"on system idle"},
                 {kScheduleOnce, u"not available"}};
  for (const auto& c : by_type) {
    record.schedule_type = c.type;
    EXPECT_EQ(NextStartText(record), c.next);
  }
  // A failed task that retries shows the event it waits for in the list.
  record.schedule_type = kScheduleDaily;
  record.next_run = {2027, 1, 1, 9, 0};
  record.retry_on_failure = 1;
  SetFieldText(record.status, kTaskStatusChars, kTaskStatusFailure);
  EXPECT_EQ(StatusText(record), u"Failure");
  EXPECT_EQ(ListNextStartText(record), u"on startup system");
  record.kind = kTaskKindUpdate;
  EXPECT_EQ(ListNextStartText(record), u"on connected");
  record.retry_on_failure = 0;
  EXPECT_EQ(ListNextStartText(record), u"01/01/2027 09:00");
}

}  // namespace
}  // namespace kolvar
