// The scan command; see scan_command.h.
#include "antivirus/kolvar/scan_command.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "antivirus/application_shell.h"
#include "antivirus/cut_paths.h"
#include "antivirus/engine_notices.h"
#include "antivirus/kolvar/action_prompt.h"
#include "antivirus/kolvar/daemon_output.h"
#include "antivirus/kolvar/progress_line.h"
#include "antivirus/kolvar/repository_commands.h"
#include "antivirus/kolvar/scan_folder.h"
#include "antivirus/kolvar/scan_summary.h"
#include "antivirus/kolvar/shown_path.h"
#include "antivirus/kolvar/signature_check.h"
#include "antivirus/resource_strings.h"
#include "common/thread_start.h"
#include "platform/kernel_objects.h"
#include "platform/message_box.h"
#include "platform/terminal.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "scan_engine/scan_channel.h"
#include "scan_engine/scan_client.h"

namespace kolvar {
namespace {

constexpr char16_t kFrontEndProgram[] = u"kolvar";
// How often the main loop redraws the progress line, relays the scanner's output and looks for an
// interrupt. The end of the scan does not wait for it: the client's threads wake the loop.
constexpr uint32_t kRefreshMs = 100;

uint8_t PolicyAction(ActionPolicy policy) {
  switch (policy) {
    case ActionPolicy::kDelete:
      return kActionDelete;
    case ActionPolicy::kQuarantine:
      return kActionMove;
    case ActionPolicy::kIgnore:
      return kActionIgnoreAll;
    case ActionPolicy::kAsk:
      break;
  }
  return kActionNone;
}

uint64_t Now() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

PromptIo TerminalPromptIo(Console& console) {
  return {[&console](const std::string& text) { console.Err(text); },
          [](std::string* line) { return platform::ReadInputLine(line); }};
}

// What the client's threads report, for the command's own thread.
class FrontEndObserver : public MainProgramScanObserver {
 public:
  FrontEndObserver(Console& console, const InstallPaths& paths, ActionPolicy policy,
                   bool background_mode)
      : console_(console),
        paths_(paths),
        policy_(policy),
        background_mode_(background_mode),
        before_restart_(background_mode) {}

  void OnProgress(const ScanProgress& progress) override {
    std::lock_guard<std::mutex> lock(mutex_);
    // Before the restart and after the end of this scan's pass, the counters are another pass's.
    if (background_mode_ && (before_restart_ || finished_)) return;
    // Within one pass the counters only grow: an older record handed over late is not shown.
    if (background_mode_ && progress.files_tested < progress_.files_tested) return;
    progress_ = progress;
  }

  // With background scanning on, everything before the restart at this folder (which the
  // command asks for) belongs to a pass that is not this scan's; the first pass that ends after
  // it has covered the whole folder.
  void OnPassRestarted() override {
    std::lock_guard<std::mutex> lock(mutex_);
    before_restart_ = false;
    progress_ = ScanProgress();
  }

  void OnPassFinished() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (background_mode_ && !before_restart_) {
      finished_ = true;
      completed_ = true;
      changed_.notify_all();
    }
  }

  void OnScanComplete(const std::vector<InfectionRecord>& results) override {
    std::lock_guard<std::mutex> lock(mutex_);
    results_ = results;
    finished_ = true;
    completed_ = true;
    changed_.notify_all();
  }

  uint8_t OnDetection(const DetectionRecord& detection) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      // Found by the pass that was cut short, or by the pass after this scan's: not reported as
      // this scan's and left alone (this scan's pass finds the file when it lies in the folder).
      if (background_mode_ && (before_restart_ || finished_)) return kActionNone;
    }
    ReportEntry entry = EntryFromDetection(detection, paths_);
    if (policy_ == ActionPolicy::kAsk) {
      auto hold = console_.Hold();
      entry.action = AskDetectionAction(entry, TerminalPromptIo(console_));
    } else {
      entry.action = PolicyAction(policy_);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    detections_.push_back(entry);
    changed_.notify_all();
    // Neither the prompt nor a policy answers for every file of a virus: an ignore is for this
    // file alone, so the scanner gets no action (it would remember "ignore all" for the virus for
    // as long as it runs, and no later scan would report such a file again).
    return entry.action == kActionIgnoreAll ? kActionNone : entry.action;
  }

  void OnScannerGone() override {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    scanner_gone_ = true;
    changed_.notify_all();
  }

  void ShowMessage(std::u16string_view caption, std::u16string_view text, uint32_t style) override {
    platform::MessageBox(kFrontEndProgram, caption, text, style);
  }

  bool finished() {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
  }
  // Waits at most `ms` for the end of the scan (or for the scanner to go) and for a detection;
  // whether the scan has ended.
  bool WaitForChange(uint32_t ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    const size_t detections_seen = detections_.size();
    changed_.wait_for(lock, std::chrono::milliseconds(ms),
                      [&] { return finished_ || detections_.size() != detections_seen; });
    return finished_;
  }
  bool completed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return completed_;
  }
  bool scanner_gone() {
    std::lock_guard<std::mutex> lock(mutex_);
    return scanner_gone_;
  }
  ScanProgress progress() {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
  }
  std::vector<InfectionRecord> results() {
    std::lock_guard<std::mutex> lock(mutex_);
    return results_;
  }
  std::vector<ReportEntry> detections() {
    std::lock_guard<std::mutex> lock(mutex_);
    return detections_;
  }

 private:
  Console& console_;
  const InstallPaths& paths_;
  const ActionPolicy policy_;
  const bool background_mode_;

  std::mutex mutex_;
  // Wakes the command's thread at the end of the scan and at each detection.
  std::condition_variable changed_;
  ScanProgress progress_;
  bool before_restart_;
  bool finished_ = false;
  bool completed_ = false;
  bool scanner_gone_ = false;
  std::vector<InfectionRecord> results_;
  std::vector<ReportEntry> detections_;
};

// The walk for the entries the scanner leaves alone, beside the scan. When its thread cannot
// start, Finish walks on the caller's thread instead.
class UntestedWalk {
 public:
  UntestedWalk(std::u16string folder, const InstallPaths& paths)
      : folder_(std::move(folder)), paths_(paths) {
    StartThread(&thread_, [this] { Walk(); });
  }
  ~UntestedWalk() { Stop(); }

  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  UntestedEntries Finish() {
    if (thread_.joinable()) {
      thread_.join();
    } else {
      Walk();
    }
    return std::move(result_);
  }

 private:
  void Walk() {
    result_ =
        FindUntestedEntries(folder_, paths_.quarantine_folder, paths_.signature_database, stop_);
  }

  const std::u16string folder_;
  const InstallPaths paths_;
  std::atomic<bool> stop_{false};
  UntestedEntries result_;
  std::thread thread_;
};

// The signature database check beside the configuration's load: with thousands of signatures
// each takes tens of milliseconds, and neither needs the other. When its thread cannot start,
// Result checks on the caller's thread instead.
class DatabaseCheckBeside {
 public:
  explicit DatabaseCheckBeside(std::u16string path) : path_(std::move(path)) {
    started_ = StartThread(&thread_, [this] { result_ = CheckSignatureDatabase(path_); });
  }
  ~DatabaseCheckBeside() {
    if (thread_.joinable()) thread_.join();
  }
  DatabaseCheckBeside(const DatabaseCheckBeside&) = delete;
  DatabaseCheckBeside& operator=(const DatabaseCheckBeside&) = delete;

  DatabaseCheck Result() {
    if (!started_) return CheckSignatureDatabase(path_);
    if (thread_.joinable()) thread_.join();
    return result_;
  }

 private:
  const std::u16string path_;
  bool started_ = false;
  DatabaseCheck result_;
  std::thread thread_;
};

void Relay(Console& console, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) console.Err(line + "\n");
}

// The folder of named objects is where the reason usually lies: it is named with what is wrong.
std::string NamedObjectsFailureText() {
  const std::string problem = platform::NamespaceFolderProblem();
  return "the main program's named objects cannot be created" +
         (problem.empty() ? std::string() : ": " + problem);
}

std::string StartFailureText(ScanStartResult result) {
  switch (result) {
    case ScanStartResult::kNoChannel:
      return "the scan client could not be set up";
    case ScanStartResult::kScannerAbsent:
      return "the background scanner did not come up";
    case ScanStartResult::kScannerGone:
      return "the background scanner went away";
    case ScanStartResult::kNoReply:
      return "the background scanner did not answer";
    case ScanStartResult::kSendFailed:
      return "the background scanner could not be reached";
    case ScanStartResult::kOtherDevice:
      return "the background scanner serves another device";
    case ScanStartResult::kStarted:
      break;
  }
  return "";
}

class ScanRun {
 public:
  ScanRun(const CommandLine& command, const InstallPaths& paths, Console& console, bool on_terminal)
      : command_(command),
        paths_(paths),
        console_(console),
        policy_(command.action.value_or(DefaultActionPolicy(on_terminal))) {}

  int Run() {
    std::string problem;
    summary_.policy = policy_;
    if (!ResolveScanFolder(command_.folder, &summary_.folder, &problem)) {
      console_.Message(problem);
      return NotRun(problem);
    }
    ApplicationShell shell(paths_, [](std::u16string_view text, uint32_t style) {
      platform::MessageBox(kFrontEndProgram, strings::kProgramCaption, text, style);
    });
    if (!shell.ClaimSingleInstance()) {
      const std::string why = shell.another_instance_runs()
                                  ? "Kolvar AV is already running (the main program or another "
                                    "'kolvar scan'); try again once it has ended."
                                  : NamedObjectsFailureText();
      console_.Message(why);
      return NotRun(why);
    }
    DatabaseCheckBeside database_check(paths_.signature_database);
    shell.OpenConfiguration();
    if (!shell.CheckDataFiles()) {
      return NotRun("a data file of the installation is missing (see the message before)");
    }
    const DatabaseCheck database = database_check.Result();
    if (!database.message.empty()) console_.Message(database.message);
    summary_.database.usable = database.verdict != DatabaseVerdict::kUnusable;
    summary_.database.signatures_loaded = database.report.loaded;
    summary_.database.records_skipped = database.report.skipped();
    summary_.database.warning = DescribeSignatureLoad(database.report);
    if (!summary_.database.usable) return NotRun(database.message);
    DaemonOutputFollower daemon_output(DaemonOutputFile());
    daemon_output.StartHere();
    if (!shell.StartIpc()) {
      Relay(console_, daemon_output.TakeRemainingLines());
      return NotRun("the background scanner could not be started (see the message before)");
    }
    summary_.background_scanning = shell.BackgroundScanningEnabled();
    const int status = Scan(shell, daemon_output);
    shell.Detach();
    Relay(console_, daemon_output.TakeRemainingLines());
    return status;
  }

 private:
  // A scan that could not run says why on standard error and, asked for JSON, in a document too:
  // a reader of standard output must never take a missing or empty document for a clean scan.
  int NotRun(const std::string& reason) {
    if (command_.json) {
      summary_.started = false;
      summary_.completed = false;
      summary_.incomplete_reason = reason;
      summary_.exit_status = kExitError;
      console_.Out(ReportJson(summary_));
    }
    return kExitError;
  }

  int Scan(ApplicationShell& shell, DaemonOutputFollower& daemon_output) {
    FrontEndObserver observer(console_, paths_, policy_, summary_.background_scanning);
    UntestedWalk walk(summary_.folder, paths_);
    const uint64_t start = Now();
    {
      ScanClient client(shell.channel(), &observer,
                        [&shell] { return shell.BackgroundScanningEnabled(); });
      if (client.SetUpFailed()) {
        console_.Message("the scan client could not be set up");
        return NotRun("the scan client could not be set up");
      }
      client.SetScanFolder(summary_.folder);
      const ScanStartResult started = client.Start();
      if (started != ScanStartResult::kStarted) {
        Relay(console_, daemon_output.TakeNewLines());
        const std::string why =
            started == ScanStartResult::kOtherDevice
                ? platform::Utf16ToUtf8(OtherDeviceScannerText(client.ScannerDeviceRoot()))
                : "the scan could not start: " + StartFailureText(started);
        console_.Message(why);
        return NotRun(why);
      }
      if (summary_.background_scanning) RestartBackgroundPass(shell);
      if (console_.live_progress()) {
        console_.Err("Scanning " + ShownPath(summary_.folder) + " ...\n");
      }
      FollowScan(observer, client, daemon_output, start);
      client.Quit();
    }
    summary_.elapsed_ms = Now() - start;
    if (summary_.completed) {
      summary_.untested = walk.Finish();
    } else {
      walk.Stop();
    }
    Relay(console_, daemon_output.TakeNewLines());
    Report(observer);
    return summary_.exit_status;
  }

  // With background scanning on, the scanner scans continuously and a pass may be under way in
  // another folder: type 16 restarts it from the folder just attached.
  void RestartBackgroundPass(ApplicationShell& shell) {
    if (!command_.json && !command_.quiet) {
      console_.Message(
          "background scanning is on: the scanner's pass restarts at this folder, and this "
          "command ends when that pass has ended");
    }
    const ScanCommand restart = MakeScanCommand(kCommandStart);
    SendScanMessage(*shell.channel(), kScannerChannel, &restart, sizeof(restart),
                    SendPolicy::kMustArrive, [] { return platform::InterruptRequested(); });
  }

  void FollowScan(FrontEndObserver& observer, ScanClient& client,
                  DaemonOutputFollower& daemon_output, uint64_t start) {
    while (!observer.finished()) {
      if (platform::InterruptRequested()) {
        console_.ClearProgress();
        client.Stop();
        summary_.incomplete_reason = "stopped by the user";
        break;
      }
      Relay(console_, daemon_output.TakeNewLines());
      if (console_.live_progress()) ShowProgress(observer, start);
      observer.WaitForChange(kRefreshMs);
    }
    if (observer.scanner_gone()) summary_.incomplete_reason = "the background scanner went away";
    summary_.completed = observer.completed() && !platform::InterruptRequested();
    // The end of the pass brought the scanner's own counters, shown before the end itself.
    summary_.counters = observer.progress();
    // The scanner counted infected files but no result file told which: not a clean scan.
    if (summary_.completed && !summary_.background_scanning && observer.results().empty() &&
        summary_.counters.infected_files > 0) {
      summary_.completed = false;
      summary_.incomplete_reason = "the scanner's result file could not be read";
    }
    if (console_.live_progress()) {
      ShowProgress(observer, start);
      console_.ClearProgress();
    }
  }

  void ShowProgress(FrontEndObserver& observer, uint64_t start) {
    const int columns = platform::TerminalColumns(platform::StandardStream::kError);
    console_.ShowProgress(FormatProgressLine(observer.progress(), Now() - start, columns));
  }

  void Report(FrontEndObserver& observer) {
    summary_.entries = EntriesFromResults(observer.results(), paths_);
    ResolveCutPaths(summary_.entries, summary_.folder, paths_);
    for (ReportEntry& entry : observer.detections()) summary_.entries.push_back(entry);
    const UserNotice notice = [](std::u16string_view text, uint32_t style) {
      platform::MessageBox(kFrontEndProgram, strings::kProgramCaption, text, style);
    };
    bool any_result = false;
    for (const ReportEntry& entry : summary_.entries) {
      any_result = any_result || entry.source == ReportSource::kScanResult;
    }
    if (any_result) {
      if (policy_ == ActionPolicy::kAsk) {
        auto hold = console_.Hold();
        summary_.actions_declined = !AskReportActions(summary_.entries, TerminalPromptIo(console_));
      } else {
        for (ReportEntry& entry : summary_.entries) {
          if (entry.source == ReportSource::kScanResult) entry.action = PolicyAction(policy_);
        }
      }
      CarryOutActions(summary_.entries, paths_, notice);
    }
    JudgeBackgroundOutcomes(summary_.entries, paths_);
    summary_.exit_status = ScanExitStatus(summary_);
    if (command_.json) {
      console_.Out(ReportJson(summary_));
    } else if (command_.quiet) {
      console_.Out(QuietText(summary_));
    } else {
      console_.Out(ReportText(summary_));
    }
  }

  const CommandLine& command_;
  const InstallPaths& paths_;
  Console& console_;
  const ActionPolicy policy_;
  ScanSummary summary_;
};

}  // namespace

int RunScanCommand(const CommandLine& command, const InstallPaths& paths, Console& console,
                   bool on_terminal) {
  ScanRun run(command, paths, console, on_terminal);
  return run.Run();
}

}  // namespace kolvar
