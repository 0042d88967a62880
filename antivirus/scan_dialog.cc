// The scan dialog; see scan_dialog.h.
#include "antivirus/scan_dialog.h"

#include <chrono>
#include <cstdio>

#include "antivirus/command_ids.h"
#include "antivirus/cut_paths.h"
#include "antivirus/report_dialog.h"
#include "antivirus/splash_dialog.h"
#include "antivirus/string_table.h"
#include "antivirus/virus_detected_dialog.h"
#include "common/message_text.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "scan_engine/virus_details.h"

namespace kolvar {
namespace {

using namespace commands;

// How often a detection's wait looks whether it should give up.
constexpr auto kDetectionPoll = std::chrono::milliseconds(50);

std::u16string MenuText(uint32_t id) {
  return LoadString(TemplateText(resources::kMainMenuBar, id));
}

// Counts the user-interface thread's calls into the driver, during which a detection cannot be put
// to the user (the thread waits for the client).
class DriverCall {
 public:
  explicit DriverCall(std::atomic<int>& calls) : calls_(calls) { ++calls_; }
  ~DriverCall() { --calls_; }

 private:
  std::atomic<int>& calls_;
};

}  // namespace

ScanDialog::ScanDialog(ScanDialogServices services)
    : Dialog(LoadString(string_ids::kProgramCaption)), services_(std::move(services)) {
  soft_keys().left = ui::SoftKey::MenuKey(LoadString(kOptionsKey));
  soft_keys()
      .left.menu.Add(kScanNow, MenuText(kScanNow))
      .AddSeparator()
      .Add(kConfiguration, MenuText(kConfiguration))
      .Add(kRepositoryFiles, MenuText(kRepositoryFiles))
      .AddSeparator()
      .Add(kOnlineUpdate, MenuText(kOnlineUpdate))
      .Add(kUpdateHistory, MenuText(kUpdateHistory))
      .AddSeparator()
      .Add(kAbout, MenuText(kAbout))
      .AddSeparator()
      .Add(kExitAntivirus, MenuText(kExitAntivirus));
  soft_keys().right = ui::SoftKey::MenuKey(LoadString(string_ids::kToolsKey));
  soft_keys()
      .right.menu.Add(kProcessesManager, MenuText(kProcessesManager))
      .AddSeparator()
      .Add(kSystemInformation, MenuText(kSystemInformation))
      .AddSeparator()
      .Add(kRegistryViewer, MenuText(kRegistryViewer))
      .AddSeparator()
      .Add(kKolvarScheduler, MenuText(kKolvarScheduler));
  ResetCounters();
  status_text_ = LoadString(string_ids::kProgramStarted);
}

ScanDialog::~ScanDialog() { EndDriver(); }

void ScanDialog::EndDriver() {
  closing_ = true;
  detection_answered_.notify_all();
  if (driver_ != nullptr) {
    DriverCall call(driver_calls_);
    driver_->Quit();
    driver_.reset();
  }
}

void ScanDialog::Plug(uint32_t command, CommandHandler handler) {
  plugged_[command] = std::move(handler);
}

bool ScanDialog::BackgroundScanning() const {
  return services_.background_scanning && services_.background_scanning();
}

void ScanDialog::OnInit() {
  status_text_ = LoadString(string_ids::kProgramStarted);
  SetFocus(kStartButton);
  Changed();
}

void ScanDialog::ResetCounters() {
  frame_ = 1;
  hours_ = minutes_ = seconds_ = 0;
  file_text_.clear();
  files_tested_ = bytes_tested_ = infected_ = u"0";
  Changed();
}

std::u16string ScanDialog::ElapsedText() const {
  char text[48];
  snprintf(text, sizeof text, "%02d:%02d:%02d", hours_, minutes_, seconds_);
  return platform::Utf8ToUtf16Lossy(text);
}

void ScanDialog::elapsed(int* hours, int* minutes, int* seconds) const {
  *hours = hours_;
  *minutes = minutes_;
  *seconds = seconds_;
}

bool ScanDialog::IsButtonEnabled(uint32_t button) const {
  switch (button) {
    case kStartButton:
      return enabled_start_;
    case kPauseButton:
      return enabled_pause_;
    case kStopButton:
      return enabled_stop_;
    case kReportButton:
      return enabled_report_;
    default:
      return true;
  }
}

uint32_t ScanDialog::ButtonIcon(uint32_t button, bool focused) const {
  struct Icons {
    uint32_t button, normal, disabled, focused, focused_background;
  };
  static constexpr Icons kIcons[] = {{kStartButton, 138, 139, 140, 229},
                                     {kPauseButton, 141, 142, 143, 232},
                                     {kStopButton, 144, 145, 146, 230},
                                     {kAboutButton, 150, 151, 152, 233},
                                     {kReportButton, 147, 148, 149, 234}};
  for (const Icons& icons : kIcons) {
    if (icons.button != button) continue;
    const bool background = background_icons_;
    if (!IsButtonEnabled(button)) {
      return button == kReportButton && background ? 235 : icons.disabled;
    }
    if (focused) return background ? icons.focused_background : icons.focused;
    return button == kReportButton && background ? 236 : icons.normal;
  }
  return 0;
}

void ScanDialog::SetState(ScanState state) {
  state_ = state;
  background_icons_ = BackgroundScanning();
  switch (state) {
    case ScanState::kScanning:
      status_text_ = LoadString(background_icons_ ? string_ids::kScanningFileBackground
                                                  : string_ids::kScanningFile);
      StartTimer(kAnimationTimer, kAnimationPeriodMs);
      StartTimer(kClockTimer, kClockPeriodMs);
      enabled_start_ = false;
      enabled_pause_ = true;
      enabled_stop_ = true;
      enabled_report_ = false;
      SetFocus(kStopButton);
      break;
    case ScanState::kPaused:
      status_text_ = LoadString(string_ids::kScanningPaused);
      StopTimer(kAnimationTimer);
      StopTimer(kClockTimer);
      enabled_start_ = true;
      enabled_pause_ = false;
      enabled_stop_ = true;
      enabled_report_ = true;
      SetFocus(kStartButton);
      break;
    case ScanState::kCancelled:
    case ScanState::kComplete:
      status_text_ = LoadString(state == ScanState::kCancelled ? string_ids::kScanningCanceled
                                                               : string_ids::kScanningComplete);
      if (state == ScanState::kComplete) file_text_.clear();
      StopTimer(kAnimationTimer);
      StopTimer(kClockTimer);
      enabled_start_ = true;
      enabled_pause_ = false;
      enabled_stop_ = false;
      enabled_report_ = true;
      frame_ = 1;
      animation_picture_ = 0;
      SetFocus(kStartButton);
      break;
  }
  Changed();
}

void ScanDialog::Start(bool automatic) {
  if (state_ == ScanState::kPaused) {
    SetState(ScanState::kScanning);
    if (driver_ != nullptr) {
      DriverCall call(driver_calls_);
      driver_->Resume();
    }
    return;
  }
  if (state_ == ScanState::kScanning) return;
  if (driver_ != nullptr && driver_->IsScanning()) {
    DriverCall call(driver_calls_);
    driver_->Stop();
  }
  ResetCounters();
  const bool background = BackgroundScanning();
  const bool folder_selection = services_.folder_selection && services_.folder_selection();
  std::u16string folder = u"\\";
  if (!background && folder_selection && !automatic) {
    FolderPickerDialog picker(services_.list_folders);
    RunModal(picker);
    folder = picker.result();
  }
  if (driver_ == nullptr && services_.make_driver) driver_ = services_.make_driver(this);
  if (driver_ == nullptr) return;
  driver_->SetScanFolder(folder);
  scan_folder_ = folder;
  SetState(ScanState::kScanning);
  if (driver_->SetUpFailed()) {
    driver_.reset();
    SetState(ScanState::kComplete);
    return;
  }
  ScanStartResult started;
  {
    DriverCall call(driver_calls_);
    started = driver_->Start();
  }
  // The scanner did not take the scan: nothing runs, and the dialog says so by its state. A
  // scanner of another device is named, since the user has to act (its tree would have been
  // scanned in place of this one).
  if (started == ScanStartResult::kOtherDevice) {
    MessageBox(LoadString(string_ids::kProgramCaption),
               OtherDeviceScannerText(driver_->ScannerDeviceRoot()),
               platform::kMbOk | platform::kMbIconError);
  }
  if (started != ScanStartResult::kStarted) SetState(ScanState::kComplete);
}

void ScanDialog::Pause() {
  if (state_ != ScanState::kScanning) return;
  SetState(ScanState::kPaused);
  if (driver_ != nullptr && driver_->IsScanning()) {
    DriverCall call(driver_calls_);
    driver_->Pause();
  }
}

void ScanDialog::Stop(bool confirm) {
  if (!confirm) {
    SetState(ScanState::kComplete);
    if (driver_ != nullptr) {
      DriverCall call(driver_calls_);
      driver_->Stop();
    }
    return;
  }
  Pause();
  const bool background = BackgroundScanning();
  const int answer = MessageBox(
      LoadString(string_ids::kProgramCaption),
      LoadString(background ? string_ids::kConfirmStopBackground : string_ids::kConfirmStop),
      platform::kMbOkCancel | platform::kMbIconQuestion);
  if (answer != platform::kIdOk) {
    Start(false);
    return;
  }
  SetState(ScanState::kCancelled);
  ResetCounters();
  if (driver_ != nullptr) {
    DriverCall call(driver_calls_);
    driver_->Resume();
    driver_->Stop();
  }
}

void ScanDialog::Report(bool view_only) {
  if (BackgroundScanning() && driver_ != nullptr) {
    DriverCall call(driver_calls_);
    // A pass that has not ended leaves no result file: the list shown before stays.
    if (driver_->LoadResultFile() && !driver_->Results().empty()) infections_ = driver_->Results();
  }
  std::vector<ReportEntry> entries = EntriesFromResults(infections_, services_.paths);
  ResolveCutPaths(entries, scan_folder_, services_.paths);
  ReportCounters counters;
  const ReportCounters* shown = nullptr;
  if (driver_ != nullptr) {
    const ScanProgress progress = driver_->Progress();
    counters.files_tested = progress.files_tested;
    counters.infected_files = progress.infected_files;
    counters.kilobytes_tested = progress.kilobytes_tested;
    elapsed(&counters.hours, &counters.minutes, &counters.seconds);
    shown = &counters;
  }
  ReportDialog report(entries, view_only, shown, services_.paths);
  RunModal(report);
  for (size_t index = 0; index < entries.size() && index < infections_.size(); ++index) {
    infections_[index].action = entries[index].action;
  }
}

void ScanDialog::EndOfScan(const std::vector<InfectionRecord>& results) {
  infections_ = results;
  // The scanner counted infected files but no list of them came: that is no clean device.
  uint32_t counted = 0;
  if (driver_ != nullptr) counted = driver_->Progress().infected_files;
  if (infections_.empty() && counted > 0) {
    SetState(ScanState::kComplete);
    MessageBox(LoadString(string_ids::kScanningComplete),
               FormatText(LoadString(string_ids::kResultsUnreadable), {DecimalText(counted)}),
               platform::kMbOk | platform::kMbIconError);
  } else if (infections_.empty()) {
    SetState(ScanState::kComplete);
    MessageBox(LoadString(string_ids::kScanningComplete), LoadString(string_ids::kNoVirusFound),
               platform::kMbOk | platform::kMbIconInformation);
  } else {
    Report(false);
    // The report has carried the actions out and recorded the moved files.
    infections_.clear();
    SetState(ScanState::kComplete);
  }
  SetFocus(kStartButton);
}

void ScanDialog::ShowProgress(const ScanProgress& progress) {
  file_text_ = progress.text;
  files_tested_ = DecimalText(progress.files_tested);
  infected_ = DecimalText(progress.infected_files);
  bytes_tested_ = DecimalText(progress.kilobytes_tested);
  Changed();
}

void ScanDialog::OnTimer(uint32_t id) {
  if (id == kAnimationTimer) {
    animation_picture_ = frame_ - 1;
    frame_ = frame_ == kAnimationFrames ? 1 : frame_ + 1;
  } else if (id == kClockTimer) {
    if (seconds_ == 59) {
      seconds_ = 0;
      if (minutes_ == 59) {
        minutes_ = 0;
        ++hours_;
      } else {
        ++minutes_;
      }
    } else {
      ++seconds_;
    }
  }
  Changed();
}

void ScanDialog::Tools(bool greyed) {
  soft_keys().SetGreyed(kProcessesManager, greyed);
  soft_keys().SetGreyed(kSystemInformation, greyed);
  soft_keys().SetGreyed(kRegistryViewer, greyed);
}

void ScanDialog::OnMenuOpening(ui::SoftKeySide) {
  Tools(driver_ != nullptr && driver_->IsScanning());
}

void ScanDialog::RunMenuCommand(uint32_t id) {
  const auto it = plugged_.find(id);
  if (it != plugged_.end()) {
    it->second();
    return;
  }
  const ui::MenuItem* item = soft_keys().FindItem(id);
  const std::u16string name = item != nullptr ? item->text : MenuText(id);
  MessageBox(LoadString(string_ids::kProgramCaption),
             FormatText(LoadString(string_ids::kNotAvailableYet), {name}),
             platform::kMbOk | platform::kMbIconInformation);
}

void ScanDialog::OnCommand(uint32_t id) {
  switch (id) {
    case kStartButton:
    case kScanNow:
      if (id == kStartButton && !enabled_start_) return;
      Start(false);
      return;
    case kPauseButton:
      if (enabled_pause_) Pause();
      return;
    case kStopButton:
      if (enabled_stop_) Stop(true);
      return;
    case kReportButton:
      if (enabled_report_) Report(true);
      return;
    case kAboutButton:
      RunMenuCommand(kAbout);
      return;
    case kExitAntivirus:
      Exit();
      return;
    case kProcessesManager:
    case kSystemInformation:
    case kRegistryViewer:
      // Greyed while a scan runs; a key that reaches a greyed item does nothing either.
      if (soft_keys().FindItem(id) != nullptr && soft_keys().FindItem(id)->greyed) return;
      RunMenuCommand(id);
      return;
    case kConfiguration:
    case kRepositoryFiles:
    case kOnlineUpdate:
    case kUpdateHistory:
    case kAbout:
    case kKolvarScheduler:
      RunMenuCommand(id);
      return;
    default:
      Dialog::OnCommand(id);
  }
}

void ScanDialog::ShowSplash() {
  SplashDialog splash;
  RunModal(splash);
}

void ScanDialog::Exit() {
  EndDriver();
  OnClose();
}

void ScanDialog::OnClose() {
  if (ended()) return;
  if (state_ != ScanState::kComplete || driver_ != nullptr) Stop(false);
  End(ui::kResultOk);
}

void ScanDialog::OnBack() {
  if (services_.platform_kind != 1) return;
  // The Back key ends the program without the stop that closing sends.
  EndDriver();
  End(ui::kResultBack);
}

void ScanDialog::OnProgress(const ScanProgress& progress) {
  PostToSelf([this, progress] { ShowProgress(progress); });
}

void ScanDialog::OnPassFinished() {
  PostToSelf([this] { ResetCounters(); });
}

void ScanDialog::OnScanComplete(const std::vector<InfectionRecord>& results) {
  PostToSelf([this, results] { EndOfScan(results); });
}

void ScanDialog::OnScannerGone() {
  PostToSelf([this] {
    if (state_ == ScanState::kScanning || state_ == ScanState::kPaused) {
      SetState(ScanState::kComplete);
    }
  });
}

void ScanDialog::ShowMessage(std::u16string_view caption, std::u16string_view text,
                             uint32_t style) {
  // While the dialog ends its client, the client speaks on the user-interface thread itself.
  if (closing_) {
    MessageBox(caption, text, style);
    return;
  }
  // Otherwise it speaks from its own threads, which the user-interface thread may be waiting for
  // (a stop or a pause): the box must not hold them.
  PostToSelf([this, caption = std::u16string(caption), text = std::u16string(text), style] {
    MessageBox(caption, text, style);
  });
}

uint8_t ScanDialog::AskDetection(const DetectionRecord& detection) {
  VirusDetailRecord detail;
  LookUpVirusDetail(services_.paths.virus_details, detection.virus_id, &detail);
  VirusDetectedDialog dialog(std::u16string(WideField(detection.path)), detail);
  RunModal(dialog);
  return dialog.action();
}

uint8_t ScanDialog::OnDetection(const DetectionRecord& detection) {
  struct Answer {
    bool done = false;
    bool abandoned = false;
    uint8_t action = kActionNone;
  };
  auto answer = std::make_shared<Answer>();
  PostToSelf([this, answer, detection] {
    {
      std::lock_guard<std::mutex> lock(detection_mutex_);
      if (answer->abandoned) return;
    }
    const uint8_t action = AskDetection(detection);
    std::lock_guard<std::mutex> lock(detection_mutex_);
    answer->action = action;
    answer->done = true;
    detection_answered_.notify_all();
  });
  std::unique_lock<std::mutex> lock(detection_mutex_);
  while (!answer->done) {
    // The user-interface thread waits for this client (or the dialog goes): the detection cannot
    // be put to the user now; the scanner asks again at a later pass.
    if (closing_ || driver_calls_ > 0) {
      answer->abandoned = true;
      return kActionNone;
    }
    detection_answered_.wait_for(lock, kDetectionPoll);
  }
  return answer->action;
}

}  // namespace kolvar
