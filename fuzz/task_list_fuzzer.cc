// KVTasks.dat from outside: the task list as the task manager, the scheduler editor and kvtasks
// read it. Every whole record is read and nothing else; a record found by its identifier is the
// first that carries it; writing a record back changes that record alone and never the file's
// size. For each record, the parameter text is read for its type, written and read again to the
// same text (which fits the record's field), and the next run, the editor's next run and every
// postponed run are computed at a few moments of the clock: a computed run is a real date and
// time of day, after the moment and within the search's bound.
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/path.h"
#include "scheduling/calendar_date.h"
#include "scheduling/next_run.h"
#include "scheduling/schedule_parameters.h"
#include "scheduling/task_database.h"
#include "scheduling/task_record.h"
#include "tools/kvtasks/task_text.h"

namespace {

using namespace kolvar;

constexpr char16_t kTaskList[] = u"\\Program Files\\Kolvar\\KVTasks.dat";

// Moments of the clock: an ordinary one, the last minute of a leap day, the first of the device
// clock's epoch and the last of a century.
constexpr TaskTime kMoments[] = {
    {2026, 12, 11, 9, 40}, {2024, 2, 29, 23, 59}, {1601, 1, 1, 0, 0}, {2099, 12, 31, 23, 59}};

bool IsRealMoment(const TaskTime& t) {
  return IsValidDate(t.year, t.month, t.day) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 &&
         t.minute <= 59;
}

int32_t DayOf(const TaskTime& t) { return CalendarDate::FromYmd(t.year, t.month, t.day).day_number(); }

bool After(const TaskTime& run, const TaskTime& now) {
  const int32_t run_day = DayOf(run), today = DayOf(now);
  return run_day > today || (run_day == today && run.hour * 100 + run.minute > now.hour * 100 + now.minute);
}

void CheckParameterText(const TaskRecord& record, ScheduleParameters* parameters) {
  *parameters = ZeroScheduleParameters();
  ParseScheduleParameters(record, parameters);
  std::u16string text;
  if (!FormatScheduleParameters(record.schedule_type, *parameters, &text)) return;
  TaskRecord written = record;
  SerialiseScheduleParameters(*parameters, &written);
  fuzz::Check(TaskParameterText(written) == text, "a parameter text does not fit its field");
  ScheduleParameters again = ZeroScheduleParameters();
  ParseScheduleParameters(written, &again);
  std::u16string text_again;
  FormatScheduleParameters(record.schedule_type, again, &text_again);
  fuzz::Check(text_again == text, "a written parameter text reads back different");
}

void CheckRuns(const TaskRecord& record, const ScheduleParameters& parameters) {
  for (const TaskTime& now : kMoments) {
    const TaskTime next = ComputeNextRun(record.schedule_type, record.last_run, parameters, now);
    if (next != kNoTime) {
      fuzz::Check(record.schedule_type <= kScheduleMonthly, "a next run for an event type");
      fuzz::Check(IsRealMoment(next), "a next run that is no real moment");
      fuzz::Check(After(next, now), "a next run that is not ahead");
      // A monthly schedule with neither mode runs at its start itself, searched for nothing.
      const bool searched = record.schedule_type != kScheduleMonthly ||
                            parameters.monthly.day_mode != 0 ||
                            parameters.monthly.weekday_mode != 0;
      fuzz::Check(!searched || DayOf(next) - DayOf(now) <= kSearchDays,
                  "a next run beyond the search");
    }
    const TaskTime edited = EditorNextRun(record, parameters, now);
    if (record.schedule_type == kScheduleOnce && edited != kNoTime) {
      fuzz::Check(IsRealMoment(edited), "a once run that is no real moment");
    }
    for (int interval = 0; interval < kPostponeIntervals; ++interval) {
      const TaskTime postponed = PostponedRun(record.next_run, now, interval);
      // A next run on the last day of year 9999 moves to the first day after it.
      const bool after_last_year = postponed.year == 10000 && postponed.month == 1 &&
                                   postponed.day == 1;
      fuzz::Check(IsRealMoment(postponed) || after_last_year,
                  "a postponed run that is no real moment");
    }
  }
  kvtasks::MomentText(record.last_run);
  kvtasks::MomentText(record.next_run);
  kvtasks::ScheduleTypeName(record.schedule_type);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpDevice();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WriteDeviceFile(kTaskList, {data, size});
  std::vector<TaskRecord> records;
  fuzz::Check(ReadAllTasks(kTaskList, &records), "a task list cannot be read");
  fuzz::Check(records.size() == size / sizeof(TaskRecord), "whole records missed or invented");
  for (size_t i = 0; i < records.size(); ++i) {
    fuzz::Check(std::memcmp(&records[i], data + i * sizeof(TaskRecord), sizeof(TaskRecord)) == 0,
                "a record reads different from its bytes");
  }

  for (size_t i = 0; i < records.size(); ++i) {
    const TaskRecord& record = records[i];
    fuzz::Check(TaskName(record).size() <= kTaskTextChars &&
                    TaskProgram(record).size() <= kTaskTextChars &&
                    TaskStatus(record).size() <= kTaskStatusChars,
                "a text longer than its field");
    ScheduleParameters parameters;
    CheckParameterText(record, &parameters);
    CheckRuns(record, parameters);

    TaskRecord found = EmptyTaskRecord();
    fuzz::Check(FindTask(kTaskList, record.id, &found) == TaskLookup::kFound,
                "a record's identifier is not found");
    size_t first = 0;
    while (records[first].id != record.id) ++first;
    fuzz::Check(std::memcmp(&found, &records[first], sizeof found) == 0,
                "the record found is not the first with its identifier");
  }

  // The task manager's write-back: the first record with the identifier, as the record after a
  // run, changes and nothing else does.
  if (records.empty()) return 0;
  TaskRecord changed = records.back();
  ScheduleParameters parameters;
  CheckParameterText(changed, &parameters);
  SerialiseScheduleParameters(parameters, &changed);
  SetFieldText(changed.status, kTaskStatusChars, kTaskStatusSuccess);
  changed.last_run = kMoments[0];
  fuzz::Check(UpdateTask(kTaskList, changed) == TaskUpdate::kWritten, "a record cannot be written");
  std::error_code error;
  fuzz::Check(std::filesystem::file_size(platform::HostPath(kTaskList), error) == size,
              "a write-back changed the file's size");
  std::vector<TaskRecord> after;
  fuzz::Check(ReadAllTasks(kTaskList, &after) && after.size() == records.size(),
              "a write-back changed the number of records");
  size_t target = 0;
  while (records[target].id != changed.id) ++target;
  for (size_t i = 0; i < after.size(); ++i) {
    const TaskRecord& expected = i == target ? changed : records[i];
    fuzz::Check(std::memcmp(&after[i], &expected, sizeof expected) == 0,
                "a write-back changed another record or missed its own");
  }
  return 0;
}
