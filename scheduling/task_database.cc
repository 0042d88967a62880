// Reading and updating KVTasks.dat; see task_database.h.
#include "scheduling/task_database.h"

#include "platform/file.h"
#include "platform/path.h"

namespace kolvar {
namespace {

enum class Scan { kFound, kEnd, kFailed };

// Reads whole records from the current position until one has the identifier; *index counts the
// records read before it.
Scan ScanFor(platform::File& file, uint32_t id, TaskRecord* record, uint64_t* index) {
  *index = 0;
  for (;;) {
    uint32_t read = 0;
    if (!file.Read(record, sizeof *record, &read)) return Scan::kFailed;
    if (read < sizeof *record) return Scan::kEnd;
    if (record->id == id) return Scan::kFound;
    ++*index;
  }
}

}  // namespace

std::u16string TaskDatabasePath(std::u16string_view install_folder) {
  return platform::JoinPath(install_folder, kTaskDatabaseName);
}

TaskLookup FindTask(std::u16string_view path, uint32_t id, TaskRecord* record) {
  platform::File file;
  if (!file.Open(path, platform::FileAccess::kRead, platform::CreateDisposition::kOpenExisting)) {
    return TaskLookup::kUnreadable;
  }
  TaskRecord found = EmptyTaskRecord();
  uint64_t index = 0;
  switch (ScanFor(file, id, &found, &index)) {
    case Scan::kFound:
      *record = found;
      return TaskLookup::kFound;
    case Scan::kEnd:
      return TaskLookup::kNotFound;
    case Scan::kFailed:
      break;
  }
  return TaskLookup::kUnreadable;
}

bool ReadAllTasks(std::u16string_view path, std::vector<TaskRecord>* records) {
  records->clear();
  platform::File file;
  if (!file.Open(path, platform::FileAccess::kRead, platform::CreateDisposition::kOpenExisting)) {
    return false;
  }
  for (;;) {
    TaskRecord record = EmptyTaskRecord();
    uint32_t read = 0;
    if (!file.Read(&record, sizeof record, &read)) return false;
    if (read < sizeof record) return true;
    records->push_back(record);
  }
}

TaskUpdate UpdateTask(std::u16string_view path, const TaskRecord& record) {
  platform::File file;
  if (!file.Open(path, platform::FileAccess::kReadWrite,
                 platform::CreateDisposition::kOpenExisting)) {
    return TaskUpdate::kFailed;
  }
  TaskRecord found = EmptyTaskRecord();
  uint64_t index = 0;
  switch (ScanFor(file, record.id, &found, &index)) {
    case Scan::kFound:
      break;
    case Scan::kEnd:
      return TaskUpdate::kNotFound;
    case Scan::kFailed:
      return TaskUpdate::kFailed;
  }
  if (!file.WriteAt(index * sizeof record, &record, sizeof record) || !file.FlushData()) {
    return TaskUpdate::kFailed;
  }
  return TaskUpdate::kWritten;
}

}  // namespace kolvar
