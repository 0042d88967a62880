// The main program's words for the facts that the engine reports: a repository operation's
// problem becomes the message box of its resource string, and the scan client's "background
// scanning goes on" becomes string 40098 under the program's caption. The windowed program and
// the terminal front end both tell the user through these, so each fact is worded once.
#ifndef KOLVAR_ANTIVIRUS_ENGINE_NOTICES_H_
#define KOLVAR_ANTIVIRUS_ENGINE_NOTICES_H_

#include <cstdint>
#include <string>
#include <utility>

#include "antivirus/resource_strings.h"
#include "common/message_text.h"
#include "common/object_names.h"
#include "platform/message_box.h"
#include "scan_engine/repository_index.h"
#include "scan_engine/repository_report.h"
#include "scan_engine/scan_client.h"

namespace kolvar {

// The text of a repository report as the main program shows it.
inline std::u16string MainProgramText(const RepositoryReport& report) {
  const std::u16string error = RepositoryFailureText(report);
  switch (report.problem) {
    case RepositoryProblem::kDeleteFailed:
      return FormatText(strings::kFileNotDeleted, {report.path, error});
    case RepositoryProblem::kMoveFailed:
      return FormatText(strings::kFileNotMoved, {report.path, error});
    case RepositoryProblem::kRestoreFailed:
      return FormatText(strings::kFileNotRestored, {report.path, error});
    case RepositoryProblem::kRestoreOccupied:
      return FormatText(strings::kRestoreOccupied, {report.path});
    case RepositoryProblem::kRestoreMissing:
      return FormatText(strings::kRestoreMissing, {report.path, report.protected_copy});
    case RepositoryProblem::kRestoreDamaged:
      return FormatText(strings::kRestoreDamaged, {report.path, report.protected_copy});
    case RepositoryProblem::kRestoreUnchecked:
      return FormatText(strings::kRestoreUnchecked, {report.path});
    case RepositoryProblem::kIndexBusy:
      return FormatText(strings::kIndexBusy,
                        {report.path, LockName(kRepositoryIndexLockName),
                         DecimalText(kRepositoryLockWaitMs / 1000)});
    case RepositoryProblem::kIndexNotWritten:
      break;
  }
  return strings::kErrorCreatingFile;
}

// The icon of its box: none for the index, information for the unchecked restore, else error.
inline uint32_t MainProgramStyle(const RepositoryReport& report) {
  switch (report.problem) {
    case RepositoryProblem::kIndexNotWritten:
      return platform::kMbOk;
    case RepositoryProblem::kRestoreUnchecked:
      return platform::kMbIconInformation;
    default:
      return platform::kMbIconError;
  }
}

// Tells each repository report through `notice` in the main program's words; an empty notice
// tells nothing.
inline RepositoryNotice MainProgramRepositoryNotice(UserNotice notice) {
  if (!notice) return nullptr;
  return [notice = std::move(notice)](const RepositoryReport& report) {
    notice(MainProgramText(report), MainProgramStyle(report));
  };
}

// A scan client observer that words the client's facts as the main program does; the main
// program's observers derive from it.
class MainProgramScanObserver : public ScanClientObserver {
 public:
  void OnBackgroundScanningGoesOn() override {
    ShowMessage(strings::kProgramCaption, strings::kBackgroundScanningGoesOn,
                platform::kMbOk | platform::kMbIconInformation);
  }
};

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_ENGINE_NOTICES_H_
