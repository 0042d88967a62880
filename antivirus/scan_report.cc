// The scan report's entries and its actions; see scan_report.h.
#include "antivirus/scan_report.h"

#include "antivirus/engine_notices.h"
#include "antivirus/resource_strings.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "scan_engine/repository.h"
#include "scan_engine/virus_details.h"

namespace kolvar {
namespace {

void FillDetails(const InstallPaths& paths, ReportEntry* entry) {
  VirusDetailRecord detail;
  LookUpVirusDetail(paths.virus_details, entry->virus_id, &detail);
  entry->virus_name = detail.Name();
  entry->description = detail.Description();
  entry->recommendation = detail.Recommendation();
}

bool IsMove(uint8_t action) { return action == kActionMove || action == kActionMoveAll; }

// Splits a whole path at its last "\" into folder and name ("\" stays the folder of the root).
void SplitPath(std::u16string_view path, std::u16string* folder, std::u16string* name) {
  const size_t separator = path.rfind(u'\\');
  if (separator == std::u16string_view::npos) {
    folder->clear();
    name->assign(path);
    return;
  }
  folder->assign(path.substr(0, separator == 0 ? 1 : separator));
  name->assign(path.substr(separator + 1));
}

}  // namespace

std::u16string ReportEntry::Path() const { return platform::JoinPath(folder, file_name); }

std::u16string ReportEntry::MarkedPath() const {
  if (whole_path) return Path();
  std::u16string shown_folder = folder;
  std::u16string shown_name = file_name;
  if ((cut & kCutFolder) != 0) shown_folder += kCutMark;
  if ((cut & kCutFileName) != 0) shown_name += kCutMark;
  return platform::JoinPath(shown_folder, shown_name);
}

std::vector<ReportEntry> EntriesFromResults(const std::vector<InfectionRecord>& records,
                                            const InstallPaths& paths) {
  std::vector<ReportEntry> entries;
  for (const InfectionRecord& record : records) {
    ReportEntry entry;
    entry.source = ReportSource::kScanResult;
    entry.folder.assign(WideField(record.folder));
    entry.file_name.assign(WideField(record.file_name));
    std::u16string whole;
    entry.whole_path = InfectionRecordPath(record, &whole);
    // A field without its terminator (a damaged file) is as good as cut.
    if (!entry.whole_path) entry.cut = record.cut != 0 ? record.cut : kCutFolder | kCutFileName;
    entry.virus_id = record.virus_id;
    entry.action = record.action;
    FillDetails(paths, &entry);
    entries.push_back(std::move(entry));
  }
  return entries;
}

ReportEntry EntryFromDetection(const DetectionRecord& detection, const InstallPaths& paths) {
  ReportEntry entry;
  entry.source = ReportSource::kBackgroundDetection;
  SplitPath(WideField(detection.path), &entry.folder, &entry.file_name);
  entry.whole_path = WideFieldTerminated(detection.path);
  entry.virus_id = detection.virus_id;
  FillDetails(paths, &entry);
  return entry;
}

void CarryOutActions(std::vector<ReportEntry>& entries, const InstallPaths& paths,
                     const UserNotice& notice) {
  Repository repository(paths.quarantine_folder, paths.repository_index);
  const RepositoryNotice repository_notice = MainProgramRepositoryNotice(notice);
  for (ReportEntry& entry : entries) {
    if (entry.source != ReportSource::kScanResult) continue;
    if (entry.action == kActionNone) {
      entry.outcome = ActionOutcome::kNotActedOn;
      continue;
    }
    if (entry.action == kActionIgnoreAll) {
      entry.outcome = ActionOutcome::kIgnored;
      continue;
    }
    if (!entry.whole_path) {
      if (notice) {
        notice(FormatText(kPathCutMessage, {entry.Path()}),
               platform::kMbOk | platform::kMbIconError);
      }
      entry.outcome = ActionOutcome::kNotActedOn;
      continue;
    }
    if (entry.action == kActionDelete) {
      entry.outcome = DeleteInfectedFile(entry.Path(), repository_notice) ? ActionOutcome::kDeleted
                                                                          : ActionOutcome::kFailed;
      continue;
    }
    if (!IsMove(entry.action)) {
      entry.outcome = ActionOutcome::kNotActedOn;
      continue;
    }
    RepositoryRecord record;
    if (repository.Quarantine(entry.folder, entry.file_name, entry.virus_id, repository_notice,
                              &record)) {
      entry.outcome = ActionOutcome::kQuarantined;
      entry.quarantined_as = repository.ProtectedPathOf(record);
    } else {
      entry.outcome = ActionOutcome::kFailed;
    }
  }
}

void JudgeBackgroundOutcomes(std::vector<ReportEntry>& entries, const InstallPaths& paths) {
  const Repository repository(paths.quarantine_folder, paths.repository_index);
  for (ReportEntry& entry : entries) {
    if (entry.source != ReportSource::kBackgroundDetection) continue;
    const bool still_there = platform::FileExists(entry.Path());
    switch (entry.action) {
      case kActionDelete:
        entry.outcome = still_there ? ActionOutcome::kLeftToScanner : ActionOutcome::kDeleted;
        break;
      case kActionMove:
      case kActionMoveAll: {
        RepositoryRecord record;
        if (!still_there && repository.FindNewestEntry(entry.folder, entry.file_name, &record) &&
            platform::FileExists(repository.ProtectedPathOf(record))) {
          entry.outcome = ActionOutcome::kQuarantined;
          entry.quarantined_as = repository.ProtectedPathOf(record);
        } else {
          entry.outcome = ActionOutcome::kLeftToScanner;
        }
        break;
      }
      case kActionIgnoreAll:
        entry.outcome = ActionOutcome::kIgnored;
        break;
      default:
        entry.outcome = ActionOutcome::kNotActedOn;
        break;
    }
  }
}

std::u16string ActionColumnText(uint8_t action) {
  switch (action) {
    case kActionDelete:
      return strings::kActionDeleteFile;
    case kActionMove:
    case kActionMoveAll:
      return strings::kActionMoveToRepository;
    case kActionIgnoreAll:
      return strings::kActionIgnoreFile;
    default:
      return u"";
  }
}

std::string OutcomeText(const ReportEntry& entry) {
  switch (entry.outcome) {
    case ActionOutcome::kPending:
      return "pending";
    case ActionOutcome::kDeleted:
      return "deleted";
    case ActionOutcome::kQuarantined:
      return "moved to repository";
    case ActionOutcome::kIgnored:
      return "ignored";
    case ActionOutcome::kFailed:
      return IsMove(entry.action) ? "not moved (error)" : "not deleted (error)";
    case ActionOutcome::kNotActedOn:
      return entry.whole_path ? "no action" : "no action (path too long)";
    case ActionOutcome::kLeftToScanner:
      return "left to the scanner";
  }
  return "";
}

const char* ActionKeyword(uint8_t action) {
  switch (action) {
    case kActionDelete:
      return "delete";
    case kActionMove:
    case kActionMoveAll:
      return "quarantine";
    case kActionIgnoreAll:
      return "ignore";
    default:
      return "none";
  }
}

const char* OutcomeKeyword(ActionOutcome outcome) {
  switch (outcome) {
    case ActionOutcome::kPending:
      return "pending";
    case ActionOutcome::kDeleted:
      return "deleted";
    case ActionOutcome::kQuarantined:
      return "quarantined";
    case ActionOutcome::kIgnored:
      return "ignored";
    case ActionOutcome::kFailed:
      return "failed";
    case ActionOutcome::kNotActedOn:
      return "not_acted_on";
    case ActionOutcome::kLeftToScanner:
      return "left_to_scanner";
  }
  return "pending";
}

}  // namespace kolvar
