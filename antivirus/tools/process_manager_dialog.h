// The process manager: one list that shows, in turn, the running processes (view 1), a process's
// information page (2), its modules (3) and a module's page (4), its threads (5) and a thread's
// page (6), its heaps (7), and a summary of the whole system (8), over a ProcessMonitor snapshot
// that only "Refresh" renews. It ends a process after asking ("Kill Process", the device's
// terminate) and asks the desktop to bring a process's window to the front.
//
// Each view remembers the row that was selected in it, so "Done" goes back to the row the user
// came from, and "Refresh" keeps the selection's position (not its process).
#ifndef KOLVAR_ANTIVIRUS_TOOLS_PROCESS_MANAGER_DIALOG_H_
#define KOLVAR_ANTIVIRUS_TOOLS_PROCESS_MANAGER_DIALOG_H_

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "antivirus/tools/process_monitor.h"
#include "antivirus/tools/tool_texts.h"
#include "ui/dialog.h"
#include "ui/list_model.h"

namespace kolvar::tools {

namespace process_commands {
inline constexpr uint32_t kKillProcess = 40190;
inline constexpr uint32_t kClose = 40191;
inline constexpr uint32_t kRefresh = 40192;
inline constexpr uint32_t kLoadedModules = 40199;
inline constexpr uint32_t kActiveThreads = 40200;
inline constexpr uint32_t kSummary = 40201;
inline constexpr uint32_t kProcessInformation = 40207;
inline constexpr uint32_t kBringToFront = 40208;
inline constexpr uint32_t kMemoryHeaps = 40210;
inline constexpr uint32_t kDone = 40029;
}  // namespace process_commands

inline constexpr uint32_t kProcessListControl = 1110;

enum ProcessView : int {
  kProcessListView = 1,
  kProcessPageView = 2,
  kModuleListView = 3,
  kModulePageView = 4,
  kThreadListView = 5,
  kThreadPageView = 6,
  kHeapListView = 7,
  kSummaryView = 8,
};

struct ProcessManagerServices {
  ProcessMonitorSources sources;
  std::function<bool()> can_activate_windows = platform::CanActivateWindows;
  std::function<bool(uint64_t window)> activate_window = platform::ActivateWindow;
  // The main program's own process, which the tool never ends.
  uint32_t own_pid = 0;  // 0: this process
  // How long "Kill Process" waits for the process to end before it refreshes.
  uint32_t kill_wait_ms = 2000;
};

// "0x%08X"-style and "%08X"-style hexadecimal of a number (more digits when it needs them).
std::u16string HexText(uint64_t value, bool prefixed);

class ProcessManagerDialog : public ui::Dialog {
 public:
  explicit ProcessManagerDialog(const ToolFrameTexts& frame_texts,
                                ProcessManagerServices services = {});

  void OnInit() override;
  void OnCommand(uint32_t id) override;
  void OnBack() override;
  void OnRowActivated(uint32_t list, int row) override;

  int view() const { return view_; }
  uint32_t shown_pid() const { return pid_; }
  ui::ListModel& list() { return list_; }
  const std::u16string& status_text() const { return status_; }
  ProcessMonitor& monitor() { return *monitor_; }

  void Show(int view);

 private:
  void FillProcessList();
  void FillProcessPage();
  void FillModuleList();
  void FillModulePage();
  void FillThreadList();
  void FillThreadPage();
  void FillHeapList();
  void FillSummary();
  void AddInfoRow(std::u16string label, std::u16string value);
  // The process the commands act on: the selected row's in the process list, else the shown one.
  bool SelectedProcess(uint32_t* pid, std::u16string* name);
  uint32_t RowNumber(size_t column) const;
  void Kill();
  void BringToFront();
  void Done();

  const ToolFrameTexts texts_;
  ProcessManagerServices services_;
  std::unique_ptr<ProcessMonitor> monitor_;
  ui::ListModel list_;
  std::u16string status_;
  int view_ = kProcessListView;
  uint32_t pid_ = 0;
  uint32_t module_id_ = 0;
  uint32_t thread_id_ = 0;
  std::array<int, 9> selected_{};  // the selected row of each view
};

}  // namespace kolvar::tools

#endif  // KOLVAR_ANTIVIRUS_TOOLS_PROCESS_MANAGER_DIALOG_H_
