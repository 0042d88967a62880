// The scan report of the front end: one entry per infected file (from the scanner's result file
// at the end of a scan, or from a detection that background scanning asked about), the virus's
// name from KVVirusDBDet.dat, the action chosen for it, and what became of the action.
//
// The actions are carried out as the report dialog carries them out: files to delete are deleted,
// files to move are moved into the quarantine folder under their repository names and protected
// there, each recorded in KVRepository.dat before it leaves its place. A file whose record was
// cut in the result file is acted on only when its whole path was found again (cut_paths.h).
#ifndef KOLVAR_ANTIVIRUS_SCAN_REPORT_H_
#define KOLVAR_ANTIVIRUS_SCAN_REPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "antivirus/install_paths.h"
#include "common/message_text.h"
#include "scan_engine/infection_list.h"
#include "scan_engine/scan_records.h"

namespace kolvar {

// Where a shown path lost characters.
inline constexpr char16_t kCutMark[] = u"…";

enum class ReportSource {
  kScanResult,           // the result file of a single pass; the front end acts
  kBackgroundDetection,  // asked about by background scanning; the scanner acts
};

enum class ActionOutcome {
  kPending,  // not carried out (yet)
  kDeleted,
  kQuarantined,  // only the protected copy remains, listed in the index
  kIgnored,
  kFailed,         // the delete or the move failed (the user was told)
  kNotActedOn,     // no action was chosen, or the path was cut
  kLeftToScanner,  // a background detection: the scanner carries the action out
};

struct ReportEntry {
  ReportSource source = ReportSource::kScanResult;
  std::u16string folder;     // whole when `whole_path`, else as the record holds it
  std::u16string file_name;  //
  bool whole_path = true;
  uint8_t cut = 0;  // kCutFolder | kCutFileName: the record's fields that lost characters
  // The record was cut and its whole path was found by walking the scanned tree (cut_paths.h).
  bool path_resolved = false;
  uint32_t cut_matches = 0;  // files that fit a cut record (0 or several: no whole path)
  uint32_t virus_id = 0;
  std::u16string virus_name;
  std::u16string description;
  std::u16string recommendation;
  uint8_t action = kActionNone;  // kAction* of scan_records.h
  ActionOutcome outcome = ActionOutcome::kPending;
  std::u16string quarantined_as;  // the protected copy after a move

  std::u16string Path() const;
  // The path to show: the whole path, or the cut one with "…" where characters are missing.
  std::u16string MarkedPath() const;
};

// Entries of the result file's records, with their virus details.
std::vector<ReportEntry> EntriesFromResults(const std::vector<InfectionRecord>& records,
                                            const InstallPaths& paths);
// The entry of a detection that background scanning reported.
ReportEntry EntryFromDetection(const DetectionRecord& detection, const InstallPaths& paths);

// Carries out the chosen actions of the scan-result entries in order and records the moved files
// in the repository index. Failures are told through `notice` (the report's boxes, caption
// "Kolvar AV"); every entry is still attempted.
void CarryOutActions(std::vector<ReportEntry>& entries, const InstallPaths& paths,
                     const UserNotice& notice);

// After the scanner has acted on background detections: what became of each, judged by whether
// the file is still where it was.
void JudgeBackgroundOutcomes(std::vector<ReportEntry>& entries, const InstallPaths& paths);

// "Delete File", "Move to Repository", "Ignore File" or empty, as the report's action column.
std::u16string ActionColumnText(uint8_t action);
// What happened, for the report: "deleted", "moved to repository", ...
std::string OutcomeText(const ReportEntry& entry);
// The machine name of an action: "none", "delete", "quarantine", "ignore".
const char* ActionKeyword(uint8_t action);
// The machine name of an outcome: "pending", "deleted", "quarantined", ...
const char* OutcomeKeyword(ActionOutcome outcome);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_SCAN_REPORT_H_
