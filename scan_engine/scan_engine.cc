// The engine's set-up, its infection list and remembered actions, the result file and the
// quarantine actions that follow a pass. The walk itself is in scan_walker.cc.
#include "scan_engine/scan_engine.h"

#include <memory>
#include <utility>

#include "platform/error.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/system_log.h"
#include "scan_engine/repository.h"

namespace kolvar {

ScanEngine::ScanEngine() : status_record_(ZeroRecord<ScanStatus>()) { matcher_.Build({}); }

ScanEngine::~ScanEngine() {
  if (thread_.joinable()) {
    gate_.RequestStop();
    thread_.join();
  }
}

bool ScanEngine::LoadSignatures(std::u16string_view database_path) {
  const bool loaded = database_.Load(database_path);
  matcher_.Build(database_.records());
  database_path_.assign(database_path);
  return loaded;
}

void ScanEngine::SetQuarantineFolder(std::u16string_view folder) {
  quarantine_folder_.assign(folder);
}

void ScanEngine::SetRepositoryPath(std::u16string_view index_path) {
  repository_path_.assign(index_path);
}

void ScanEngine::SetResultFilePath(std::u16string_view path) { result_file_path_.assign(path); }

void ScanEngine::SetDetectionHook(DetectionHook hook) { detection_hook_ = std::move(hook); }

void ScanEngine::SetStatusSink(StatusSink sink) { status_sink_ = std::move(sink); }

void ScanEngine::SetUserNotice(UserNotice notice) { user_notice_ = std::move(notice); }

void ScanEngine::SetLongPathLog(LongPathLog log) { long_path_log_ = std::move(log); }

void ScanEngine::SetRootFolder(std::u16string_view root) {
  std::lock_guard<std::mutex> lock(root_lock_);
  root_folder_.assign(root);
}

std::u16string ScanEngine::RootFolder() const {
  std::lock_guard<std::mutex> lock(root_lock_);
  return root_folder_;
}

void ScanEngine::Notify(std::u16string_view text, uint32_t style) {
  if (user_notice_) {
    user_notice_(text, style);
  } else {
    platform::MessageBox(kScannerProgram, kScannerCaption, text, style);
  }
}

void ScanEngine::LogLongPath(std::u16string_view path) {
  if (long_path_log_) {
    long_path_log_(path);
  } else {
    platform::WriteSystemLog(
        kScannerProgram,
        u"path longer than a device path allows, not scanned: " + std::u16string(path));
  }
}

ScanCounters ScanEngine::Counters() const {
  std::lock_guard<std::mutex> lock(progress_lock_);
  return counters_;
}

void ScanEngine::AppendInfection(std::u16string_view folder, std::u16string_view file_name,
                                 uint32_t value, uint32_t virus_id, uint8_t action) {
  std::lock_guard<std::mutex> lock(list_lock_);
  infections_.Append(folder, file_name, value, virus_id, action);
}

void ScanEngine::ClearInfections() {
  std::lock_guard<std::mutex> lock(list_lock_);
  infections_.Clear();
}

uint32_t ScanEngine::InfectionCount() const {
  std::lock_guard<std::mutex> lock(list_lock_);
  return infections_.Count();
}

std::vector<Infection> ScanEngine::Infections() const {
  std::lock_guard<std::mutex> lock(list_lock_);
  return std::vector<Infection>(infections_.begin(), infections_.end());
}

void ScanEngine::SetAction(uint32_t virus_id, uint8_t action) {
  std::lock_guard<std::mutex> lock(list_lock_);
  SetInfectionAction(infections_, remembered_, virus_id, action);
}

uint8_t ScanEngine::LookupRememberedAction(uint32_t virus_id) const {
  std::lock_guard<std::mutex> lock(list_lock_);
  return remembered_.Lookup(virus_id);
}

void ScanEngine::DefaultDetection(std::u16string_view folder, std::u16string_view file_name,
                                  uint32_t virus_id) {
  std::lock_guard<std::mutex> lock(list_lock_);
  infections_.Append(folder, file_name, 0, virus_id, remembered_.Lookup(virus_id));
}

bool ScanEngine::WriteInfectionFile() {
  std::u16string path = result_file_path_;
  bool ok = !path.empty() || InfectionFilePath(&path);
  if (ok) {
    std::lock_guard<std::mutex> lock(list_lock_);
    ok = WriteInfectionRecords(infections_, path);
  }
  if (!ok) Notify(kErrorCreatingFileMessage, platform::kMbOk);
  return ok;
}

void ScanEngine::ProcessInfections() {
  // The scanner only deletes and quarantines: every report of the repository is one of the two.
  const RepositoryNotice notice = [this](const RepositoryReport& report) {
    const bool deleting = report.problem == RepositoryProblem::kDeleteFailed;
    Notify(FormatText(deleting ? kDeleteFailedMessage : kMoveFailedMessage,
                      {report.path, RepositoryFailureText(report)}),
           platform::kMbIconError);
  };
  std::lock_guard<std::mutex> lock(list_lock_);
  std::unique_ptr<Repository> repository;
  for (Infection& item : infections_) {
    if (item.record.done != 0) continue;
    const uint8_t action = item.record.action;
    if (action == kActionDelete) {
      if (DeleteInfectedFile(item.FullPath(), notice)) item.record.done = 1;
    } else if (action == kActionMove || action == kActionMoveAll) {
      if (quarantine_folder_.empty() || repository_path_.empty()) {
        ReportRepositoryProblem(notice, RepositoryProblem::kMoveFailed, item.FullPath(),
                                platform::kErrorPathNotFound);
        continue;
      }
      if (!repository) {
        repository = std::make_unique<Repository>(quarantine_folder_, repository_path_);
      }
      // Each file is listed as soon as its protected copy exists, before it leaves its place.
      if (repository->Quarantine(item.folder, item.file_name, item.record.virus_id, notice)) {
        item.record.done = 1;
      }
    }
  }
}

}  // namespace kolvar
