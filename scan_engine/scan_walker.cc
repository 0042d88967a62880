// The scan thread: its control from the owner's thread, the passes, the walk over the folder tree
// (files of a folder before its subfolders, depth first) and the progress reports.
//
// Units of work for the stop flag and the pause gate: entering a folder (with its progress
// message), each directory entry (with the file's test, its detection and its messages), each
// chunk the matcher reads, and the end-of-pass steps. A unit begins at a checkpoint, so whatever
// the owner asks takes effect before the next one.
#include <chrono>
#include <utility>

#include "common/thread_start.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/path.h"
#include "scan_engine/repository.h"
#include "scan_engine/scan_engine.h"

namespace kolvar {

bool ScanEngine::ScanThreadExists() const { return thread_.joinable() && !thread_ended_; }

void ScanEngine::StartScan() {
  if (thread_.joinable()) {
    if (!thread_ended_) {
      StopScan();
    } else {
      thread_.join();
    }
  }
  active_ = true;
  gate_.Reset();
  thread_ended_ = false;
  const bool interactive = interactive_;
  // A scan thread that cannot start leaves the engine idle; the owner may start again later.
  if (!StartThread(&thread_, [this, interactive] { ScanThread(interactive); })) active_ = false;
}

void ScanEngine::StopScan() {
  active_ = false;
  bool existed = false;
  if (thread_.joinable()) {
    existed = !thread_ended_;
    gate_.RequestStop();
    thread_.join();
  }
  {
    std::lock_guard<std::mutex> lock(progress_lock_);
    counters_ = ScanCounters();
  }
  if (existed) PostPass();
}

void ScanEngine::PauseScan() {
  if (!ScanThreadExists()) return;
  gate_.Pause();
  active_ = false;
  PostPass();
}

void ScanEngine::ResumeScan() {
  if (!ScanThreadExists()) return;
  // Active before the thread runs again: one released just before the end of its pass would
  // otherwise report that end with the active flag 0, which a front end takes for a restart.
  active_ = true;
  gate_.Resume();
}

bool ScanEngine::SuspendScanThread() {
  // A pause asked by the worker itself does not wait; its next checkpoint parks it.
  gate_.Pause();
  return gate_.Checkpoint();
}

void ScanEngine::PostPass() {
  if (background_ && InfectionCount() > 0) ProcessInfections();
}

void ScanEngine::PacingSleep() {
  if (pacing_) platform::Sleep(kScanPacingSleepMs);
}

void ScanEngine::ScanThread(bool interactive_at_start) {
  // Lowering is one-way, which suits a thread that ends with its work.
  platform::SetCurrentThreadPriority(interactive_at_start ? platform::ThreadPriority::kBelowNormal
                                                          : platform::ThreadPriority::kIdle);
  bool stopped = false;
  for (;;) {
    const auto pass_began = std::chrono::steady_clock::now();
    if (!ScanPass()) {
      stopped = true;
      break;
    }
    // Without background scanning a pass is a single one, whoever asked for it.
    if (!background_) break;
    if (!gate_.Checkpoint()) {
      stopped = true;
      break;
    }
    if (InfectionCount() > 0) ProcessInfections();
    if (interactive_) SendPassStatus(kMessagePassFinished);
    // Unpaced, a pass of a small folder ends at once: without a rest the thread would go through
    // passes as fast as it can, for nothing new, and flood an attached user interface with their
    // ends. Paced passes rest in their sleeps.
    if (!pacing_) {
      const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - pass_began);
      if (took.count() < kShortestBackgroundPassMs &&
          !gate_.Rest(static_cast<uint32_t>(kShortestBackgroundPassMs - took.count()))) {
        stopped = true;
        break;
      }
    }
  }
  if (!stopped && interactive_ && !background_ && gate_.Checkpoint()) {
    if (InfectionCount() > 0) WriteInfectionFile();
    SendPassStatus(kMessageScanComplete);
  }
  active_ = false;
  thread_ended_ = true;
  gate_.EndUnit();
}

bool ScanEngine::ScanPass() {
  current_folder_.clear();
  {
    std::lock_guard<std::mutex> lock(progress_lock_);
    counters_ = ScanCounters();
  }
  ClearInfections();
  ScanWalk(RootFolder());
  return !gate_.StopRequested();
}

bool ScanEngine::InQuarantine(std::u16string_view folder) const {
  std::u16string_view quarantine = quarantine_folder_;
  while (quarantine.size() > 1 && quarantine.back() == u'\\') quarantine.remove_suffix(1);
  while (folder.size() > 1 && folder.back() == u'\\') folder.remove_suffix(1);
  if (quarantine.empty() || folder.size() < quarantine.size()) return false;
  if (folder.substr(0, quarantine.size()) != quarantine) return false;
  return folder.size() == quarantine.size() || folder[quarantine.size()] == u'\\' ||
         quarantine == u"\\";
}

void ScanEngine::ScanWalk(std::u16string_view name) {
  const size_t parent_length = current_folder_.size();
  if (current_folder_.empty()) {
    current_folder_.assign(name);
  } else {
    if (current_folder_.back() != u'\\') current_folder_ += u'\\';
    current_folder_ += name;
  }
  if (current_folder_.size() > kMaxWalkedFolderChars) {
    LogLongPath(current_folder_);
  } else if (!InQuarantine(current_folder_) && !platform::IsPseudoFileSystem(current_folder_) &&
             gate_.Checkpoint()) {
    ReportProgress(1, 0, 0, 0, {});
    if (ScanFolderFiles(file_pattern_) != 0) ScanSubfolders();
  }
  current_folder_.resize(parent_length);
}

int ScanEngine::ScanFolderFiles(std::u16string_view pattern) {
  if (gate_.StopRequested()) return 0;
  platform::DirectoryListing listing;
  platform::FindData entry;
  if (!listing.First(platform::JoinPath(current_folder_, pattern), &entry)) return 1;
  do {
    if (!gate_.Checkpoint()) return 0;
    if (entry.kind != platform::EntryKind::kRegular ||
        (entry.attributes & platform::kAttributeDirectory) != 0) {
      continue;  // folders come later; links, FIFOs, sockets and devices never
    }
    TestFile(entry);
    if (gate_.StopRequested()) return 0;
  } while (listing.Next(&entry));
  return 1;
}

void ScanEngine::ScanSubfolders() {
  platform::DirectoryListing listing;
  platform::FindData entry;
  if (!listing.First(platform::JoinPath(current_folder_, file_pattern_), &entry)) return;
  do {
    if (!gate_.Checkpoint()) return;
    if (entry.kind != platform::EntryKind::kDirectory) continue;
    ScanWalk(entry.name);
    if (gate_.StopRequested()) return;
  } while (listing.Next(&entry));
}

void ScanEngine::TestFile(const platform::FindData& entry) {
  // Divided before it is narrowed: a file of 4 GiB or more must not count as a few kilobytes.
  const uint32_t kilobytes = static_cast<uint32_t>(entry.size / 1000);
  if ((entry.attributes & platform::kAttributeInRom) != 0) {
    ReportProgress(0, 1, 0, kilobytes, entry.name);
    return;
  }
  const size_t path_length =
      current_folder_.size() + (current_folder_.back() == u'\\' ? 0 : 1) + entry.name.size();
  if (path_length > kMaxTestedFileChars) {
    LogLongPath(platform::JoinPath(current_folder_, entry.name));
    return;
  }
  if (!interactive_) PacingSleep();
  if (entry.size != 0) {
    uint32_t virus_id = 0;
    MatchStats stats;
    const MatchControl control{&gate_, pacing_};
    const int matched = matcher_.MatchFile(current_folder_, entry.name, database_path_, control,
                                           &scratch_, &virus_id, &stats);
    if (stats.status == MatchStatus::kStopped) return;
    if (matched == 1) {
      if (detection_hook_) {
        detection_hook_(current_folder_, entry.name, virus_id);
      } else {
        DefaultDetection(current_folder_, entry.name, virus_id);
      }
      if (gate_.StopRequested()) return;
      ReportProgress(0, 0, 1, kilobytes, entry.name);
    }
  }
  ReportProgress(0, 1, 0, kilobytes, entry.name);
}

bool ScanEngine::Send(const ScanStatus& status) { return status_sink_ && status_sink_(status); }

void ScanEngine::ReportProgress(uint32_t folders_delta, uint32_t files_delta,
                                uint32_t infected_delta, uint32_t kilobytes_delta,
                                std::u16string_view item) {
  std::lock_guard<std::mutex> lock(progress_lock_);
  counters_.folders_entered += folders_delta;
  counters_.files_tested += files_delta;
  counters_.infected_files += infected_delta;
  counters_.kilobytes_tested += kilobytes_delta;
  current_item_.assign(item);
  if (!interactive_) return;
  status_record_ = ZeroRecord<ScanStatus>();
  status_record_.folders_entered = counters_.folders_entered;
  status_record_.files_tested = counters_.files_tested;
  status_record_.infected_files = counters_.infected_files;
  status_record_.kilobytes_tested = counters_.kilobytes_tested;
  SetWideField(status_record_.current_item, current_item_);
  SetWideField(status_record_.current_folder, current_folder_);
  status_record_.state = 1;
  status_record_.type = kMessageProgress;
  Send(status_record_);
  PacingSleep();
}

void ScanEngine::SendPassStatus(uint32_t type) {
  std::lock_guard<std::mutex> lock(progress_lock_);
  status_record_ = ZeroRecord<ScanStatus>();
  // The pass's own totals: progress messages may have been dropped or may lag behind, and the
  // front ends report the end of a pass with these.
  status_record_.folders_entered = counters_.folders_entered;
  status_record_.files_tested = counters_.files_tested;
  status_record_.infected_files = counters_.infected_files;
  status_record_.kilobytes_tested = counters_.kilobytes_tested;
  status_record_.state = active_ ? 1 : 0;
  status_record_.type = type;
  Send(status_record_);
  PacingSleep();
}

bool ScanEngine::SendLastStatusAs(uint32_t type) {
  std::lock_guard<std::mutex> lock(progress_lock_);
  status_record_.type = type;
  return Send(status_record_);
}

}  // namespace kolvar
