// KVTasks.dat, the task list: whole records one after the other, no header. Records are never
// added, moved or removed by the programs; the editor and the task manager each read a record,
// change it in memory and write it back whole at its own position. There is no lock: whichever
// writes last wins, and since a record goes to the disk in one positioned write followed by a data
// flush, a writer killed at any moment leaves the old record or the new one, never a mix.
#ifndef KOLVAR_SCHEDULING_TASK_DATABASE_H_
#define KOLVAR_SCHEDULING_TASK_DATABASE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scheduling/task_record.h"

namespace kolvar {

inline constexpr char16_t kTaskDatabaseName[] = u"KVTasks.dat";

// The task list of an install folder: the folder, a "\" unless it ends in one, "KVTasks.dat".
std::u16string TaskDatabasePath(std::u16string_view install_folder);

enum class TaskLookup {
  kFound,
  kNotFound,    // no whole record carries the identifier
  kUnreadable,  // the file cannot be opened or read; the platform's last error tells why
};

// The first record with the identifier, reading from the start. A piece shorter than a record at
// the end of a damaged file is no record.
TaskLookup FindTask(std::u16string_view path, uint32_t id, TaskRecord* record);

// Every whole record in file order. False with the last error set when the file cannot be opened
// or read.
bool ReadAllTasks(std::u16string_view path, std::vector<TaskRecord>* records);

enum class TaskUpdate {
  kWritten,
  kNotFound,  // no whole record carries the identifier; the file is untouched
  kFailed,    // opening, reading or writing failed; the platform's last error tells why
};

// Writes `record` over the first whole record with its identifier and flushes it to the disk.
// Nothing is ever written past the last whole record of the file.
TaskUpdate UpdateTask(std::u16string_view path, const TaskRecord& record);

}  // namespace kolvar

#endif  // KOLVAR_SCHEDULING_TASK_DATABASE_H_
