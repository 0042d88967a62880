// The scan engine of the background scanner: the signature table and matcher, one scan thread at
// a time that walks a folder tree (files before subfolders) and tests every regular file, the
// four counters and the progress status, the infection list with the remembered actions, the
// result file, and the quarantine actions that follow a pass.
//
// The scan thread is stopped and paused cooperatively: it tests a stop flag and a pause gate
// before every directory entry and every chunk it reads, and every file test and every message
// happens inside one such unit, so after StopScan or PauseScan returns no further file is tested
// and no further message is sent (until ResumeScan). A stopped pass never writes the result file.
//
// Threads: the owner's thread (set-up, StartScan, StopScan, PauseScan, ResumeScan, SetAction,
// SetRootFolder) and the scan thread. The status sink and the detection hook run on the scan
// thread.
#ifndef KOLVAR_SCAN_ENGINE_SCAN_ENGINE_H_
#define KOLVAR_SCAN_ENGINE_SCAN_ENGINE_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/message_text.h"
#include "platform/file.h"
#include "platform/thread.h"
#include "scan_engine/infection_list.h"
#include "scan_engine/scan_records.h"
#include "scan_engine/signature_database.h"
#include "scan_engine/signature_matcher.h"

namespace kolvar {

inline constexpr char16_t kScannerProgram[] = u"KVBkgScan";
inline constexpr char16_t kScannerCaption[] = u"Kolvar Scanner Engine";
// The scanner's messages about the files it acts on after a pass (error icon, except the result
// file's, which has none).
inline constexpr char16_t kDeleteFailedMessage[] = u"The file '%s' could not be deleted.(%d)";
inline constexpr char16_t kMoveFailedMessage[] =
    u"The file '%s' cannot be moved to the repository (%d).";
inline constexpr char16_t kErrorCreatingFileMessage[] = u"Error creating file.";
// The pause that paces a scan: before each file in background mode, after each status message.
inline constexpr uint32_t kScanPacingSleepMs = 15;
// Unpaced background passes begin at most this often (a pass that took less rests the rest).
inline constexpr int64_t kShortestBackgroundPassMs = 250;
// Longest device path of a folder that the walker enters: its listing pattern ("\*.*") must still
// fit the device's 260-character paths with the terminator.
inline constexpr size_t kMaxWalkedFolderChars = 255;
// Longest device path of a file that the walker tests.
inline constexpr size_t kMaxTestedFileChars = 259;

struct ScanCounters {
  uint32_t folders_entered = 0;
  uint32_t files_tested = 0;
  uint32_t infected_files = 0;
  uint32_t kilobytes_tested = 0;
};

class ScanEngine {
 public:
  // Receives each outgoing status record; returns whether it was sent. Runs on the scan thread
  // under the progress lock, so it must not call back into the engine.
  using StatusSink = std::function<bool(const ScanStatus& status)>;
  // Called for each infected file on the scan thread, inside the file's unit of work.
  using DetectionHook = std::function<void(std::u16string_view folder,
                                           std::u16string_view file_name, uint32_t virus_id)>;
  // Receives each path that the walker passes over because it is too long for a device path.
  using LongPathLog = std::function<void(std::u16string_view path)>;

  ScanEngine();
  // Stops a scan thread that still runs (without the post-pass step) and frees the lists.
  ~ScanEngine();
  ScanEngine(const ScanEngine&) = delete;
  ScanEngine& operator=(const ScanEngine&) = delete;

  // --- Set-up, on the owner's thread before StartScan ---

  // Loads the signature database and compiles the matcher; the path is also the one file that is
  // never tested. False (last error set) when it cannot be read.
  bool LoadSignatures(std::u16string_view database_path);
  // What the last load found: the signatures kept, the records skipped, a record cut short.
  const SignatureLoadReport& signature_report() const { return database_.report(); }
  void SetQuarantineFolder(std::u16string_view folder);
  void SetRepositoryPath(std::u16string_view index_path);
  // Where WriteInfectionFile writes; the temporary folder's "inffile.lst" unless set.
  void SetResultFilePath(std::u16string_view path);
  // Default: the detection is appended to the infection list with its remembered action.
  void SetDetectionHook(DetectionHook hook);
  // Default: nothing is sent (false).
  void SetStatusSink(StatusSink sink);
  // Default: a message box of the scanner ("Kolvar Scanner Engine").
  void SetUserNotice(UserNotice notice);
  // Default: the system log.
  void SetLongPathLog(LongPathLog log);

  // --- Engine data that the message loop changes; any thread ---

  // Where the next pass starts (message type 21). A pass in progress keeps its root.
  void SetRootFolder(std::u16string_view root);
  std::u16string RootFolder() const;
  void SetInteractive(bool on) { interactive_ = on; }
  bool interactive() const { return interactive_; }
  void SetBackgroundScanning(bool on) { background_ = on; }
  bool background_scanning() const { return background_; }
  // On (the default): 15 ms before each file in background mode, 15 ms after each status
  // message, and the matcher's own sleeps. Off: as fast as possible.
  void SetPacing(bool on) { pacing_ = on; }
  bool pacing() const { return pacing_; }

  // --- Thread control, on the owner's thread ---

  void StartScan();
  void StopScan();
  void PauseScan();
  void ResumeScan();
  bool IsScanActive() const { return active_; }
  // True while a scan thread exists (running or paused) that has not ended by itself.
  bool ScanThreadExists() const;

  // --- For the detection hook, on the scan thread ---

  // Parks the scan thread as PauseScan would, until ResumeScan; the active flag stays 1. False
  // when the scan was stopped meanwhile: the hook then returns at once.
  bool SuspendScanThread();
  // Whether StopScan has asked the scan thread to end.
  bool StopRequested() const { return gate_.StopRequested(); }
  // Sends the engine's status record as it stands with another message type (25 before a
  // detection), under the progress lock. False when the sink did not send it.
  bool SendLastStatusAs(uint32_t type);
  // Serialises detections (the hook takes it).
  std::mutex& detection_lock() { return detection_lock_; }

  // --- Counters and infections ---

  ScanCounters Counters() const;
  void AppendInfection(std::u16string_view folder, std::u16string_view file_name, uint32_t value,
                       uint32_t virus_id, uint8_t action);
  void ClearInfections();
  uint32_t InfectionCount() const;
  // A copy of the list as it stands.
  std::vector<Infection> Infections() const;
  // Message type 20: the action for the oldest unanswered detection of the virus.
  void SetAction(uint32_t virus_id, uint8_t action);
  uint8_t LookupRememberedAction(uint32_t virus_id) const;
  // Writes the result file from the list; "Error creating file." when it cannot.
  bool WriteInfectionFile();
  // Carries out the pending actions of the list (delete, move to the repository) and records the
  // files that reached the repository in its index.
  void ProcessInfections();

 private:
  void ScanThread(bool interactive_at_start);
  // One pass over the root; false when the thread was stopped.
  bool ScanPass();
  void ScanWalk(std::u16string_view name);
  int ScanFolderFiles(std::u16string_view pattern);
  void ScanSubfolders();
  void TestFile(const platform::FindData& entry);
  void ReportProgress(uint32_t folders_delta, uint32_t files_delta, uint32_t infected_delta,
                      uint32_t kilobytes_delta, std::u16string_view item);
  // Sends a status of type 24 or 3: the pass's counters, the state (the active flag) and the
  // type; no current item or folder.
  void SendPassStatus(uint32_t type);
  bool Send(const ScanStatus& status);
  void PostPass();
  void PacingSleep();
  bool InQuarantine(std::u16string_view folder) const;
  void LogLongPath(std::u16string_view path);
  void Notify(std::u16string_view text, uint32_t style);
  void DefaultDetection(std::u16string_view folder, std::u16string_view file_name,
                        uint32_t virus_id);

  // Signatures; read-only once loaded.
  SignatureDatabase database_;
  SignatureMatcher matcher_;
  std::u16string database_path_;
  MatchScratch scratch_;  // the scan thread's chunk buffer

  // Set-up.
  std::u16string quarantine_folder_;
  std::u16string repository_path_;
  std::u16string result_file_path_;
  DetectionHook detection_hook_;
  StatusSink status_sink_;
  UserNotice user_notice_;
  LongPathLog long_path_log_;
  const std::u16string file_pattern_ = u"*.*";

  mutable std::mutex root_lock_;
  std::u16string root_folder_ = u"\\";

  std::atomic<bool> interactive_{false};
  std::atomic<bool> background_{false};
  std::atomic<bool> pacing_{true};
  std::atomic<bool> active_{false};

  // The scan thread and its controls.
  std::thread thread_;
  std::atomic<bool> thread_ended_{true};
  platform::StopGate gate_;

  // Walk state, touched only by the scan thread.
  std::u16string current_folder_;

  // Counters, current item and the status record: the progress lock.
  mutable std::mutex progress_lock_;
  ScanCounters counters_;
  std::u16string current_item_;
  ScanStatus status_record_;

  std::mutex detection_lock_;

  // The infection list and the remembered actions.
  mutable std::mutex list_lock_;
  InfectionList infections_;
  RememberedActions remembered_;
};

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_SCAN_ENGINE_H_
