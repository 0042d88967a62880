// The installed task list; see default_tasks.h.
#include "scheduling/default_tasks.h"

#include "scheduling/schedule_parameters.h"

namespace kolvar {
namespace {

// The main program, which runs both tasks ("DOSCAN" or "DOUPDATE"), by its file name in the
// install folder.
constexpr char16_t kMainProgramFile[] = u"KVAntivirus";

TaskRecord DefaultTask(uint32_t id, std::u16string_view name, char16_t kind, uint32_t type,
                       const ScheduleParameters& parameters) {
  TaskRecord record = EmptyTaskRecord();
  record.id = id;
  SetFieldText(record.name, kTaskTextChars, name);
  SetFieldText(record.program, kTaskTextChars, kMainProgramFile);
  record.kind = kind;
  record.enabled = 0;
  record.ask_before_running = 1;
  record.retry_on_failure = 1;
  record.schedule_type = type;
  SerialiseScheduleParameters(parameters, &record);
  return record;
}

}  // namespace

std::vector<TaskRecord> DefaultTaskRecords() {
  ScheduleParameters weekly = ZeroScheduleParameters();
  weekly.weekly = {12, 0, 1, {1, 0, 0, 0, 0, 0, 0}};
  ScheduleParameters daily = ZeroScheduleParameters();
  daily.daily = {10, 0, 1};
  return {
      DefaultTask(kDefaultScanTaskId, u"Weekly scan", kTaskKindScan, kScheduleWeekly, weekly),
      DefaultTask(kDefaultUpdateTaskId, u"Daily update", kTaskKindUpdate, kScheduleDaily, daily)};
}

std::string DefaultTaskFileBytes() {
  const std::vector<TaskRecord> records = DefaultTaskRecords();
  return std::string(reinterpret_cast<const char*>(records.data()),
                     records.size() * sizeof(TaskRecord));
}

}  // namespace kolvar
