// The record of one scheduled task as it lies in KVTasks.dat: 1648 bytes, little-endian integers
// and NUL-terminated UTF-16 text fields, written whole in place by the two programs that change it.
#ifndef KOLVAR_SCHEDULING_TASK_RECORD_H_
#define KOLVAR_SCHEDULING_TASK_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kolvar {

inline constexpr char16_t kTaskKindScan = u'S';
inline constexpr char16_t kTaskKindUpdate = u'U';

// The stored schedule type; the editor's type list offers 0 to 5 in this order.
enum ScheduleType : uint32_t {
  kScheduleDaily = 0,
  kScheduleWeekly = 1,
  kScheduleMonthly = 2,
  kScheduleOnce = 3,
  kScheduleAtStartup = 4,
  kScheduleOnConnection = 5,
  kScheduleWhenIdle = 6,
};

// Status texts of a task; the empty text means never run since it was set up.
inline constexpr char16_t kTaskStatusSuccess[] = u"Success";
inline constexpr char16_t kTaskStatusFailure[] = u"Failure";
inline constexpr char16_t kTaskStatusCancelled[] = u"Cancelled";
inline constexpr char16_t kTaskStatusPostponed[] = u"Postponed";

// A local date and time to the minute. A zero year, month or day means no time is set.
struct TaskTime {
  int32_t year;
  int32_t month;
  int32_t day;
  int32_t hour;
  int32_t minute;

  bool HasDate() const { return year != 0 && month != 0 && day != 0; }
  friend bool operator==(const TaskTime&, const TaskTime&) = default;
};
static_assert(sizeof(TaskTime) == 20);

inline constexpr size_t kTaskTextChars = 260;
inline constexpr size_t kTaskStatusChars = 10;

// Layout: docs/formats.md#task-list
struct TaskRecord {
  uint32_t id;
  char16_t name[kTaskTextChars];
  char16_t program[kTaskTextChars];  // relative to the install folder
  char16_t kind;                     // kTaskKindScan or kTaskKindUpdate
  char16_t reserved;
  uint32_t enabled;
  uint32_t in_background;  // stored only
  uint32_t ask_before_running;
  uint32_t schedule_type;
  uint32_t retry_on_failure;
  char16_t parameters[kTaskTextChars];
  char16_t status[kTaskStatusChars];
  TaskTime last_run;
  TaskTime next_run;
};
static_assert(sizeof(TaskRecord) == 1648);
static_assert(offsetof(TaskRecord, id) == 0);
static_assert(offsetof(TaskRecord, name) == 4);
static_assert(offsetof(TaskRecord, program) == 524);
static_assert(offsetof(TaskRecord, kind) == 1044);
static_assert(offsetof(TaskRecord, reserved) == 1046);
static_assert(offsetof(TaskRecord, enabled) == 1048);
static_assert(offsetof(TaskRecord, in_background) == 1052);
static_assert(offsetof(TaskRecord, ask_before_running) == 1056);
static_assert(offsetof(TaskRecord, schedule_type) == 1060);
static_assert(offsetof(TaskRecord, retry_on_failure) == 1064);
static_assert(offsetof(TaskRecord, parameters) == 1068);
static_assert(offsetof(TaskRecord, status) == 1588);
static_assert(offsetof(TaskRecord, last_run) == 1608);
static_assert(offsetof(TaskRecord, next_run) == 1628);

// A zero-filled record.
TaskRecord EmptyTaskRecord();

// The text of a fixed field up to its first NUL (the whole field when it has none).
std::u16string FieldText(const char16_t* field, size_t capacity);
// Stores `text` NUL-terminated with the rest of the field zero; false (field unchanged) when it
// does not fit with its terminator.
bool SetFieldText(char16_t* field, size_t capacity, std::u16string_view text);

inline std::u16string TaskName(const TaskRecord& r) { return FieldText(r.name, kTaskTextChars); }
inline std::u16string TaskProgram(const TaskRecord& r) {
  return FieldText(r.program, kTaskTextChars);
}
inline std::u16string TaskParameterText(const TaskRecord& r) {
  return FieldText(r.parameters, kTaskTextChars);
}
inline std::u16string TaskStatus(const TaskRecord& r) {
  return FieldText(r.status, kTaskStatusChars);
}

}  // namespace kolvar

#endif  // KOLVAR_SCHEDULING_TASK_RECORD_H_
