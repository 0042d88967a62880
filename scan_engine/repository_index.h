// The repository index KVRepository.dat: its record, and reading and writing the file. The index
// lists the protected copies of the quarantine folder, one record each, in the order they were
// listed. Every change reads the index, changes it and replaces the file whole (FileReplacement)
// under the suite-wide lock "_@KVREPOSITORY@_", so that two programs writing at the same moment
// lose no record and a writer killed at any moment leaves the old index or the new one.
#ifndef KOLVAR_SCAN_ENGINE_REPOSITORY_INDEX_H_
#define KOLVAR_SCAN_ENGINE_REPOSITORY_INDEX_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/kernel_objects.h"
#include "scan_engine/repository_report.h"

namespace kolvar {

inline constexpr char16_t kRepositoryIndexName[] = u"KVRepository.dat";
// The writers' lock, "_@KVREPOSITORY@_" across the programs.
inline constexpr char16_t kRepositoryIndexLockName[] = u"KVREPOSITORY";

// How long a change of the index waits for the lock before it gives up. A program that holds the
// lock only reads and replaces the index; one that keeps it this long is stuck, and waiting on
// would hang every later change with it.
inline constexpr uint32_t kRepositoryLockWaitMs = 30000;

// Characters of the date field, the terminator included (32 bytes).
inline constexpr size_t kRepositoryDateChars = 16;
// The character after the date's terminator holds the copy number (see RepositoryRecord).
inline constexpr size_t kRepositoryCopyIndex = 11;

// An index record. The date field holds "dd/mm/yyyy" and its terminator; the character after the
// terminator is the copy number: 0 for the first copy of a home path, n for the copy that took
// the name "...~n" because the plain name was taken (readers of the date never see it).
// Layout: docs/formats.md#repository-index
struct RepositoryRecord {
  uint32_t virus_id;
  char16_t folder[260];                 // former folder, at most 259 characters
  char16_t file_name[260];              // at most 259 characters
  char16_t date[kRepositoryDateChars];  // "dd/mm/yyyy" of the UTC date of quarantine, copy number

  uint16_t copy() const { return static_cast<uint16_t>(date[kRepositoryCopyIndex]); }
};
static_assert(sizeof(RepositoryRecord) == 1076);
static_assert(offsetof(RepositoryRecord, virus_id) == 0);
static_assert(offsetof(RepositoryRecord, folder) == 4);
static_assert(offsetof(RepositoryRecord, file_name) == 524);
static_assert(offsetof(RepositoryRecord, date) == 1044);

// "%02d/%02d/%04d" of day, month and year.
std::u16string RepositoryDate(const platform::SystemTime& time);
// A zero-filled record (copy 0); false when the folder or the name does not fit its field.
bool MakeRepositoryRecord(uint32_t virus_id, std::u16string_view folder,
                          std::u16string_view file_name, std::u16string_view date,
                          RepositoryRecord* record);
// Whether two records name the same entry: the same folder, file name and copy number.
bool SameRepositoryEntry(const RepositoryRecord& a, const RepositoryRecord& b);

// Holds the suite-wide repository lock for its lifetime; a thread that holds it may take it again.
// Without a namespace folder there is no lock, and writing goes on: the replacement keeps the file
// whole in any case.
class RepositoryIndexLock {
 public:
  explicit RepositoryIndexLock(uint32_t wait_ms = kRepositoryLockWaitMs);
  ~RepositoryIndexLock();
  RepositoryIndexLock(const RepositoryIndexLock&) = delete;
  RepositoryIndexLock& operator=(const RepositoryIndexLock&) = delete;

  // False when another program held the lock for the whole wait (the last error is then
  // kErrorTimeout): nothing may be changed.
  bool taken() const { return !busy_; }

 private:
  platform::Mutex mutex_;
  bool held_ = false;
  bool busy_ = false;
};

// Tells that the lock could not be taken (kIndexBusy of `index_path`) and leaves kErrorTimeout as
// the last error; false, for the caller to return.
bool ReportIndexBusy(std::u16string_view index_path, const RepositoryNotice& notice);

// Reads the index: whole records from the start until a short read. A missing index is empty.
// False with the last error set when it exists but cannot be read.
bool ReadRepositoryIndex(std::u16string_view index_path, std::vector<RepositoryRecord>* records);

// Adds the records whose folder, file name and copy are not listed yet, in order. The index is
// replaced whole under the suite-wide repository lock, so that neither a kill nor the other
// program writing at the same moment loses a record. Reports kIndexNotWritten when it cannot be
// read or written, kIndexBusy when the lock cannot be taken.
bool AppendRepositoryRecords(std::u16string_view index_path,
                             const std::vector<RepositoryRecord>& records,
                             const RepositoryNotice& notice);

// Replaces the index with `records`; no record left deletes it.
bool RewriteRepositoryIndex(std::u16string_view index_path,
                            const std::vector<RepositoryRecord>& records,
                            const RepositoryNotice& notice);
// Removes the record of one folder, file name and copy from the index as it stands now, keeping
// what others appended since it was read.
bool RemoveRepositoryRecord(std::u16string_view index_path, const RepositoryRecord& record,
                            const RepositoryNotice& notice);

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_REPOSITORY_INDEX_H_
