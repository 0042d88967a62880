// What a repository operation reports when it cannot do what was asked: the fact, the paths and
// the error code. The engine has no words of its own for it; each program that runs the operation
// turns the report into its own message (the main program with its resource strings, the
// background scanner with its texts), so the windowed program, the terminal front end and the
// scanner word the same fact each in their way.
#ifndef KOLVAR_SCAN_ENGINE_REPOSITORY_REPORT_H_
#define KOLVAR_SCAN_ENGINE_REPOSITORY_REPORT_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/status.h"

namespace kolvar {

enum class RepositoryProblem {
  kDeleteFailed,      // `path` could not be deleted (`error`)
  kMoveFailed,        // the file `path` could not be moved to the repository (`error`)
  kRestoreFailed,     // the file `path` could not be restored (`error`); it stays protected
  kRestoreOccupied,   // not restored: an entry of that name exists at `path`
  kRestoreMissing,    // not restored: the entry's protected copy `protected_copy` is missing
  kRestoreDamaged,    // not restored: `protected_copy` decrypts to other contents than its note
  kRestoreUnchecked,  // restored, but `protected_copy` carried no note to check it by (no error)
  kIndexNotWritten,   // the index could not be read or written
  kIndexBusy,         // the index `path` is locked by another program: nothing was changed
};

struct RepositoryReport {
  RepositoryProblem problem = RepositoryProblem::kIndexNotWritten;
  std::u16string path;            // the file at home, or the file that could not be deleted
  std::u16string protected_copy;  // kRestoreMissing, kRestoreDamaged
  uint32_t error = 0;             // the system's error
  Status status = kStatusOk;      // a protected file's status, when there is no system error
};

// The cause of a failed operation as its message shows it: "error 5: access denied", or the
// protected file's status in words when no system error is known.
inline std::u16string RepositoryFailureText(const RepositoryReport& report) {
  return FailureText(report.status, report.error);
}

// Receives the reports of repository operations; may be empty (nothing is told).
using RepositoryNotice = std::function<void(const RepositoryReport& report)>;

// Hands the report of `problem` to `notice` when there is one.
inline void ReportRepositoryProblem(const RepositoryNotice& notice, RepositoryProblem problem,
                                    std::u16string_view path, uint32_t error = 0,
                                    std::u16string_view protected_copy = {},
                                    Status status = kStatusOk) {
  if (!notice) return;
  RepositoryReport report;
  report.problem = problem;
  report.path.assign(path);
  report.protected_copy.assign(protected_copy);
  report.error = error;
  report.status = status;
  notice(report);
}

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_REPOSITORY_REPORT_H_
