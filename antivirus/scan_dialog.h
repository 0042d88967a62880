// The scan dialog, the main program's main dialog: it starts, pauses, resumes and cancels scans
// through the scan client, shows the file being scanned, the counters, the elapsed time and the
// animation, opens the report, and carries the two soft-key menus "Options" and "Tools" of the
// program. Commands of those menus that other dialogs serve are plugged in by the program
// (Plug); until a dialog is plugged in, its command says in a box that it is not available yet.
//
// The scan client reports from its own threads; the dialog takes everything over to the
// user-interface thread (PostToSelf) except a detection, for which the client's thread waits
// until the user has answered the virus-detected dialog.
#ifndef KOLVAR_ANTIVIRUS_SCAN_DIALOG_H_
#define KOLVAR_ANTIVIRUS_SCAN_DIALOG_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "antivirus/engine_notices.h"
#include "antivirus/folder_picker_dialog.h"
#include "antivirus/install_paths.h"
#include "antivirus/scan_driver.h"
#include "scan_engine/infection_list.h"
#include "scan_engine/scan_client.h"
#include "ui/dialog.h"

namespace kolvar {

// The controls of the scan dialog.
namespace scan_controls {
inline constexpr uint32_t kStatus = 1041;
inline constexpr uint32_t kFile = 1032;
inline constexpr uint32_t kFilesTested = 1012;
inline constexpr uint32_t kBytesTested = 1014;
inline constexpr uint32_t kInfected = 1023;
inline constexpr uint32_t kElapsed = 1025;
inline constexpr uint32_t kAnimation = 1029;
}  // namespace scan_controls

inline constexpr uint32_t kAnimationTimer = 555;
inline constexpr uint32_t kAnimationPeriodMs = 100;
inline constexpr uint32_t kClockTimer = 666;
inline constexpr uint32_t kClockPeriodMs = 1000;
inline constexpr int kAnimationFrames = 10;

enum class ScanState : uint16_t { kComplete = 0, kCancelled = 1, kScanning = 2, kPaused = 3 };

struct ScanDialogServices {
  InstallPaths paths;
  // "EnableBckScan" (its reader tells the user when it cannot be read) and
  // "EnableFolderSelection" of section "CONFIG".
  std::function<bool()> background_scanning;
  std::function<bool()> folder_selection;
  ScanDriverFactory make_driver;
  FolderLister list_folders = ListDeviceFolders;
  // 1 on a Smartphone, where the Back key reaches the main dialog and ends the program; 2 on a
  // Pocket PC, where the main dialog leaves the Back key alone.
  uint32_t platform_kind = 2;
};

class ScanDialog : public ui::Dialog, public MainProgramScanObserver {
 public:
  using CommandHandler = std::function<void()>;

  explicit ScanDialog(ScanDialogServices services);
  // Ends the scan client (a detection still waiting is answered with no action).
  ~ScanDialog() override;

  // The handler of a menu command served by another dialog.
  void Plug(uint32_t command, CommandHandler handler);
  // Runs a dialog of a plugged command modal over this one; returns its result.
  int RunDialog(ui::Dialog& dialog) { return RunModal(dialog); }

  void OnInit() override;
  void OnCommand(uint32_t id) override;
  void OnBack() override;
  void OnTimer(uint32_t id) override;
  void OnMenuOpening(ui::SoftKeySide side) override;
  void OnClose() override;

  // The operations of the dialog.
  void Start(bool automatic);
  void Pause();
  void Stop(bool confirm);
  void Report(bool view_only);
  void SetState(ScanState state);
  void ResetCounters();
  void ShowProgress(const ScanProgress& progress);
  // The end of a single pass, with the result file's records.
  void EndOfScan(const std::vector<InfectionRecord>& results);
  // "Exit Antivirus": ends the scan client, then closes the dialog (the program ends).
  void Exit();
  // Runs the splash dialog over this one (a plain start with the splash setting on).
  void ShowSplash();

  // What the view shows.
  ScanState state() const { return state_; }
  const std::u16string& status_text() const { return status_text_; }
  const std::u16string& file_text() const { return file_text_; }
  const std::u16string& files_tested_text() const { return files_tested_; }
  const std::u16string& bytes_tested_text() const { return bytes_tested_; }
  const std::u16string& infected_text() const { return infected_; }
  std::u16string ElapsedText() const;
  // The animation bitmap shown now, 0 to 9; kIdlePicture before the first scan.
  static constexpr int kIdlePicture = -1;
  int animation_picture() const { return animation_picture_; }
  bool IsButtonEnabled(uint32_t button) const;
  // The icon resource number of a button in its state (focused: the button has the focus).
  uint32_t ButtonIcon(uint32_t button, bool focused) const;
  bool background_scanning_shown() const { return background_icons_; }
  void elapsed(int* hours, int* minutes, int* seconds) const;
  const std::vector<InfectionRecord>& infections() const { return infections_; }
  bool has_driver() const { return driver_ != nullptr; }

  // ScanClientObserver, from the client's threads.
  void OnProgress(const ScanProgress& progress) override;
  void OnPassFinished() override;
  void OnScanComplete(const std::vector<InfectionRecord>& results) override;
  uint8_t OnDetection(const DetectionRecord& detection) override;
  void OnScannerGone() override;
  void ShowMessage(std::u16string_view caption, std::u16string_view text, uint32_t style) override;

 private:
  void Tools(bool greyed);
  void RunMenuCommand(uint32_t id);
  void EndDriver();
  uint8_t AskDetection(const DetectionRecord& detection);
  bool BackgroundScanning() const;

  ScanDialogServices services_;
  std::map<uint32_t, CommandHandler> plugged_;
  std::unique_ptr<ScanDriver> driver_;

  ScanState state_ = ScanState::kComplete;
  std::u16string status_text_;
  std::u16string file_text_;
  std::u16string files_tested_;
  std::u16string bytes_tested_;
  std::u16string infected_;
  int frame_ = 1;
  int animation_picture_ = kIdlePicture;
  int hours_ = 0;
  int minutes_ = 0;
  int seconds_ = 0;
  bool enabled_start_ = true;
  bool enabled_pause_ = false;
  bool enabled_stop_ = false;
  bool enabled_report_ = true;
  bool background_icons_ = false;
  std::vector<InfectionRecord> infections_;
  std::u16string scan_folder_ = u"\\";  // of the last scan, where cut results are looked for

  // A detection's wait for the user: answered by the user-interface thread, given up when the
  // dialog goes or when that thread itself waits for the scan client.
  std::mutex detection_mutex_;
  std::condition_variable detection_answered_;
  std::atomic<bool> closing_{false};
  std::atomic<int> driver_calls_{0};
};

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_SCAN_DIALOG_H_
