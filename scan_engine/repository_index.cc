// The repository index: its records, its lock and its replacement; see repository_index.h.
#include "scan_engine/repository_index.h"

#include <cstdio>
#include <cstring>

#include "common/file_replacement.h"
#include "common/object_names.h"
#include "platform/error.h"
#include "platform/kernel_objects.h"
#include "scan_engine/scan_records.h"

namespace kolvar {
namespace {

bool WriteIndexFile(std::u16string_view index_path, const std::vector<RepositoryRecord>& records) {
  FileReplacement replacement(index_path);
  for (const RepositoryRecord& record : records) {
    if (!replacement.WriteRecord(record)) return false;
  }
  return replacement.Commit();
}

// Writes `records`, or deletes the index when none is left.
bool StoreIndex(std::u16string_view index_path, const std::vector<RepositoryRecord>& records,
                const RepositoryNotice& notice) {
  if (records.empty()) {
    if (platform::DeleteFile(index_path) ||
        platform::GetLastError() == platform::kErrorFileNotFound) {
      return true;
    }
    ReportRepositoryProblem(notice, RepositoryProblem::kDeleteFailed, index_path,
                            platform::GetLastError());
    return false;
  }
  if (WriteIndexFile(index_path, records)) return true;
  ReportRepositoryProblem(notice, RepositoryProblem::kIndexNotWritten, index_path,
                          platform::GetLastError());
  return false;
}

// Reads the index under the lock for a change; false (told) when it cannot be read.
bool ReadForChange(std::u16string_view index_path, const RepositoryNotice& notice,
                   std::vector<RepositoryRecord>* index) {
  if (ReadRepositoryIndex(index_path, index)) return true;
  ReportRepositoryProblem(notice, RepositoryProblem::kIndexNotWritten, index_path,
                          platform::GetLastError());
  return false;
}

}  // namespace

RepositoryIndexLock::RepositoryIndexLock(uint32_t wait_ms) {
  if (!mutex_.Create(LockName(kRepositoryIndexLockName))) return;
  switch (mutex_.Wait(wait_ms)) {
    case platform::WaitResult::kSignaled:
    case platform::WaitResult::kAbandoned:  // its holder died; the index is whole all the same
      held_ = true;
      break;
    case platform::WaitResult::kTimeout:
      busy_ = true;
      platform::SetLastError(platform::kErrorTimeout);
      break;
    default:  // a lock that cannot be used: as without a namespace folder
      break;
  }
}

RepositoryIndexLock::~RepositoryIndexLock() {
  if (held_) mutex_.Release();
}

bool ReportIndexBusy(std::u16string_view index_path, const RepositoryNotice& notice) {
  ReportRepositoryProblem(notice, RepositoryProblem::kIndexBusy, index_path,
                          platform::kErrorTimeout);
  platform::SetLastError(platform::kErrorTimeout);
  return false;
}

std::u16string RepositoryDate(const platform::SystemTime& time) {
  char text[32];
  std::snprintf(text, sizeof(text), "%02u/%02u/%04u", static_cast<unsigned>(time.day),
                static_cast<unsigned>(time.month), static_cast<unsigned>(time.year));
  return std::u16string(text, text + std::strlen(text));
}

bool MakeRepositoryRecord(uint32_t virus_id, std::u16string_view folder,
                          std::u16string_view file_name, std::u16string_view date,
                          RepositoryRecord* record) {
  *record = ZeroRecord<RepositoryRecord>();
  record->virus_id = virus_id;
  const bool fits = SetWideField(record->folder, folder) &
                    SetWideField(record->file_name, file_name) &
                    (date.size() < kRepositoryCopyIndex) & SetWideField(record->date, date);
  return fits;
}

bool SameRepositoryEntry(const RepositoryRecord& a, const RepositoryRecord& b) {
  return WideField(a.folder) == WideField(b.folder) &&
         WideField(a.file_name) == WideField(b.file_name) && a.copy() == b.copy();
}

bool ReadRepositoryIndex(std::u16string_view index_path, std::vector<RepositoryRecord>* records) {
  records->clear();
  platform::File file;
  if (!file.Open(index_path, platform::FileAccess::kRead,
                 platform::CreateDisposition::kOpenExisting)) {
    return platform::GetLastError() == platform::kErrorFileNotFound;
  }
  for (;;) {
    RepositoryRecord record;
    uint32_t got = 0;
    if (!file.Read(&record, sizeof(record), &got)) return false;
    if (got < sizeof(record)) return true;  // the end, or a short last record that is dropped
    // A damaged field still ends within its record.
    record.folder[259] = u'\0';
    record.file_name[259] = u'\0';
    record.date[kRepositoryCopyIndex - 1] = u'\0';
    records->push_back(record);
  }
}

bool AppendRepositoryRecords(std::u16string_view index_path,
                             const std::vector<RepositoryRecord>& records,
                             const RepositoryNotice& notice) {
  if (records.empty()) return true;
  RepositoryIndexLock lock;
  if (!lock.taken()) return ReportIndexBusy(index_path, notice);
  std::vector<RepositoryRecord> index;
  if (!ReadForChange(index_path, notice, &index)) return false;
  const size_t listed = index.size();
  for (const RepositoryRecord& record : records) {
    bool present = false;
    for (const RepositoryRecord& existing : index) {
      present = present || SameRepositoryEntry(existing, record);
    }
    if (!present) index.push_back(record);
  }
  if (index.size() == listed) return true;
  if (WriteIndexFile(index_path, index)) return true;
  ReportRepositoryProblem(notice, RepositoryProblem::kIndexNotWritten, index_path,
                          platform::GetLastError());
  return false;
}

bool RewriteRepositoryIndex(std::u16string_view index_path,
                            const std::vector<RepositoryRecord>& records,
                            const RepositoryNotice& notice) {
  RepositoryIndexLock lock;
  if (!lock.taken()) return ReportIndexBusy(index_path, notice);
  return StoreIndex(index_path, records, notice);
}

bool RemoveRepositoryRecord(std::u16string_view index_path, const RepositoryRecord& record,
                            const RepositoryNotice& notice) {
  RepositoryIndexLock lock;
  if (!lock.taken()) return ReportIndexBusy(index_path, notice);
  std::vector<RepositoryRecord> index;
  if (!ReadForChange(index_path, notice, &index)) return false;
  std::vector<RepositoryRecord> kept;
  for (const RepositoryRecord& existing : index) {
    if (!SameRepositoryEntry(existing, record)) kept.push_back(existing);
  }
  if (kept.size() == index.size()) return true;
  return StoreIndex(index_path, kept, notice);
}

}  // namespace kolvar
