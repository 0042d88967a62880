// The process manager; see process_manager_dialog.h.
#include "antivirus/tools/process_manager_dialog.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "common/message_text.h"
#include "platform/message_box.h"
#include "platform/process.h"

namespace kolvar::tools {
namespace {

using namespace process_commands;

// Columns of the views.
constexpr size_t kPidColumn = 1;
constexpr size_t kModuleIdColumn = 5;
constexpr size_t kThreadIdColumn = 0;

std::u16string Ascii(const char* text) { return std::u16string(text, text + strlen(text)); }

std::u16string Unsigned(uint64_t value) {
  char text[32];
  snprintf(text, sizeof text, "%" PRIu64, value);
  return Ascii(text);
}

std::u16string Signed(int64_t value) {
  char text[32];
  snprintf(text, sizeof text, "%" PRId64, value);
  return Ascii(text);
}

std::u16string CountText(const char16_t* format, size_t count) {
  return FormatText(format, {Unsigned(count)});
}

}  // namespace

std::u16string HexText(uint64_t value, bool prefixed) {
  char text[32];
  snprintf(text, sizeof text, prefixed ? "0x%08" PRIX64 : "%08" PRIX64, value);
  return Ascii(text);
}

ProcessManagerDialog::ProcessManagerDialog(const ToolFrameTexts& frame_texts,
                                           ProcessManagerServices services)
    : Dialog(frame_texts.title), texts_(frame_texts), services_(std::move(services)) {
  if (services_.own_pid == 0)
    services_.own_pid = static_cast<uint32_t>(platform::CurrentProcessId());
  soft_keys().left = ui::SoftKey::MenuKey(texts_.options_key);
  soft_keys()
      .left.menu.Add(kRefresh, texts::kRefresh)
      .Add(kKillProcess, texts::kKillProcess)
      .Add(kBringToFront, texts::kBringToFront)
      .AddSeparator()
      .Add(kProcessInformation, texts::kProcessInformation)
      .Add(kLoadedModules, texts::kLoadedModules)
      .Add(kActiveThreads, texts::kActiveThreads)
      .Add(kMemoryHeaps, texts::kMemoryHeaps)
      .Add(kSummary, texts::kSummary)
      .AddSeparator()
      .Add(kClose, texts::kClose);
  soft_keys().right = ui::SoftKey::CommandKey(kDone, texts::kDone);
}

void ProcessManagerDialog::OnInit() {
  SetWaitCursor(true);
  monitor_ = std::make_unique<ProcessMonitor>(services_.sources);
  SetWaitCursor(false);
  Show(kProcessListView);
  SetFocus(kProcessListControl);
}

void ProcessManagerDialog::AddInfoRow(std::u16string label, std::u16string value) {
  list_.AddRow({{std::move(label), std::move(value)}});
}

void ProcessManagerDialog::Show(int view) {
  if (list_.HasSelection()) selected_[static_cast<size_t>(view_)] = list_.selected();
  view_ = view;
  list_.Clear();
  status_.clear();
  switch (view) {
    case kProcessListView:
      list_.SetColumns({{u"Process", 130}, {u"PID", 100}, {u"Full Path", 350}});
      FillProcessList();
      break;
    case kModuleListView:
      list_.SetColumns({{u"Module", 150},
                        {u"Proc Count", 100},
                        {u"Global Count", 100},
                        {u"Base Address", 100},
                        {u"Base Size (Bytes)", 120},
                        {u"MID", 100},
                        {u"Full Path", 350}});
      FillModuleList();
      break;
    case kThreadListView:
      list_.SetColumns({{u"TID", 100},
                        {u"Current Process", 130},
                        {u"Usage Count", 100},
                        {u"Base Priority", 100},
                        {u"Delta Priority", 100},
                        {u"Access Key", 100}});
      FillThreadList();
      break;
    case kHeapListView:
      list_.SetColumns({{u"HID", 100}, {u"Flag", 100}});
      FillHeapList();
      break;
    default:
      list_.SetColumns({{u"Information", 135}, {u"Value", 350}});
      if (view == kProcessPageView) FillProcessPage();
      if (view == kModulePageView) FillModulePage();
      if (view == kThreadPageView) FillThreadPage();
      if (view == kSummaryView) FillSummary();
      break;
  }
  if (!list_.empty()) {
    const int row = selected_[static_cast<size_t>(view)];
    list_.Select(row < list_.size() ? row : list_.size() - 1);
  }
  Changed();
}

void ProcessManagerDialog::FillProcessList() {
  ProcessesByName processes;
  monitor_->CopyProcessList(&processes);
  for (const auto& [key, record] : processes) {
    list_.AddRow({{record.entry.name, Unsigned(record.entry.pid), record.full_path}, 0});
  }
  status_ = CountText(texts::kProcessesRunning, processes.size());
}

void ProcessManagerDialog::FillProcessPage() {
  ProcessRecord record;
  if (!monitor_->CopyProcess(pid_, &record)) return;
  AddInfoRow(u"Process Name:", record.entry.name);
  AddInfoRow(u"PID (Hex):", HexText(pid_, true));
  AddInfoRow(u"PID (Dec):", Unsigned(pid_));
  AddInfoRow(u"Full Path:", record.full_path);
  AddInfoRow(u"Active Threads:", Unsigned(record.threads.size()));
  AddInfoRow(u"Loaded Modules:", Unsigned(record.modules.size()));
  AddInfoRow(u"Total Heaps:", Unsigned(record.heaps.size()));
}

void ProcessManagerDialog::FillModuleList() {
  std::map<uint32_t, ModuleRecord> modules;
  monitor_->CopyModules(pid_, &modules);
  for (const auto& [id, module] : modules) {
    list_.AddRow({{module.facts.name, Unsigned(module.facts.mapping_count),
                   Unsigned(module.global_count), HexText(module.facts.base_address, false),
                   Unsigned(module.facts.size), Unsigned(id), module.facts.full_path}});
  }
  status_ = CountText(texts::kModulesLoaded, modules.size());
}

void ProcessManagerDialog::FillModulePage() {
  std::map<uint32_t, ModuleRecord> modules;
  monitor_->CopyModules(pid_, &modules);
  const auto it = modules.find(module_id_);
  if (it == modules.end()) return;
  const ModuleRecord& module = it->second;
  AddInfoRow(u"Module:", module.facts.name);
  AddInfoRow(u"MID (Hex):", HexText(module_id_, true));
  AddInfoRow(u"MID (Dec):", Unsigned(module_id_));
  AddInfoRow(u"Full Path:", module.facts.full_path);
  AddInfoRow(u"Process Count:", Unsigned(module.facts.mapping_count));
  AddInfoRow(u"Global Count:", Unsigned(module.global_count));
  AddInfoRow(u"Base Address:", HexText(module.facts.base_address, true));
  AddInfoRow(u"Base Size (bytes):", Unsigned(module.facts.size));
}

// A thread is in use once, by its process; Linux has no access keys, so the key reads 0.
void ProcessManagerDialog::FillThreadList() {
  std::map<uint32_t, platform::ThreadFacts> threads;
  monitor_->CopyThreads(pid_, &threads);
  for (const auto& [tid, thread] : threads) {
    list_.AddRow({{Unsigned(tid), Unsigned(thread.owner_pid), u"1", Signed(thread.priority),
                   Signed(thread.nice), HexText(0, false)}});
  }
  status_ = CountText(texts::kThreadsActive, threads.size());
}

void ProcessManagerDialog::FillThreadPage() {
  std::map<uint32_t, platform::ThreadFacts> threads;
  monitor_->CopyThreads(pid_, &threads);
  const auto it = threads.find(thread_id_);
  if (it == threads.end()) return;
  const platform::ThreadFacts& thread = it->second;
  AddInfoRow(u"TID (Hex):", HexText(thread_id_, true));
  AddInfoRow(u"TID (Dec):", Unsigned(thread_id_));
  AddInfoRow(u"Current Process:", Unsigned(thread.owner_pid));
  AddInfoRow(u"Usage Count:", u"1");
  AddInfoRow(u"Base Priority:", Signed(thread.priority));
  AddInfoRow(u"Delta Priority:", Signed(thread.nice));
  AddInfoRow(u"Access Key:", HexText(0, true));
}

void ProcessManagerDialog::FillHeapList() {
  std::map<uint64_t, platform::HeapFacts> heaps;
  monitor_->CopyHeaps(pid_, &heaps);
  for (const auto& [id, heap] : heaps) {
    list_.AddRow({{HexText(id, false), heap.is_default_heap ? texts::kDefaultHeapFlag : u""}});
  }
  status_ = CountText(texts::kHeapsCreated, heaps.size());
}

void ProcessManagerDialog::FillSummary() {
  ProcessesByName processes;
  monitor_->CopyProcessList(&processes);
  uint64_t threads = 0, modules = 0, heaps = 0;
  for (const auto& [key, record] : processes) {
    threads += record.threads.size();
    modules += record.modules.size();
    heaps += record.heaps.size();
  }
  AddInfoRow(u"Total Processes:", Unsigned(processes.size()));
  AddInfoRow(u"Active Threads:", Unsigned(threads));
  AddInfoRow(u"Loaded Modules:", Unsigned(modules));
  AddInfoRow(u"Total Heaps:", Unsigned(heaps));
}

uint32_t ProcessManagerDialog::RowNumber(size_t column) const {
  if (!list_.HasSelection()) return 0;
  const std::u16string text = list_.Cell(list_.selected(), column);
  uint64_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return 0;
    value = value * 10 + static_cast<uint64_t>(c - u'0');
    if (value > UINT32_MAX) return 0;
  }
  return static_cast<uint32_t>(value);
}

bool ProcessManagerDialog::SelectedProcess(uint32_t* pid, std::u16string* name) {
  *pid = view_ == kProcessListView ? RowNumber(kPidColumn) : pid_;
  if (*pid == 0) return false;
  ProcessRecord record;
  if (!monitor_->CopyProcess(*pid, &record)) return false;
  *name = record.entry.name;
  return true;
}

void ProcessManagerDialog::Kill() {
  uint32_t pid = 0;
  std::u16string name;
  if (!SelectedProcess(&pid, &name)) return;
  if (MessageBox(texts_.caption, FormatText(texts::kConfirmTerminate, {name}),
                 platform::kMbOkCancel | platform::kMbIconQuestion) != platform::kIdOk) {
    return;
  }
  if (pid == services_.own_pid || !monitor_->Terminate(pid, services_.kill_wait_ms)) {
    MessageBox(texts_.caption, FormatText(texts::kCannotKill, {name}),
               platform::kMbOk | platform::kMbIconError);
    return;
  }
  OnCommand(kRefresh);
}

void ProcessManagerDialog::BringToFront() {
  uint32_t pid = 0;
  std::u16string name;
  if (!SelectedProcess(&pid, &name) || pid == services_.own_pid) return;
  if (!services_.can_activate_windows || !services_.can_activate_windows()) {
    MessageBox(texts_.caption, FormatText(texts::kCannotBringToFront, {name}),
               platform::kMbOk | platform::kMbIconError);
    return;
  }
  const uint64_t window = monitor_->MainWindow(pid);
  if (window == 0 || !services_.activate_window(window)) {
    MessageBox(texts_.caption, FormatText(texts::kNoWindow, {name}),
               platform::kMbOk | platform::kMbIconError);
  }
}

void ProcessManagerDialog::Done() {
  if (view_ == kModulePageView) {
    Show(kModuleListView);
  } else if (view_ == kThreadPageView) {
    Show(kThreadListView);
  } else {
    Show(kProcessListView);
  }
}

void ProcessManagerDialog::OnCommand(uint32_t id) {
  uint32_t pid = 0;
  std::u16string name;
  switch (id) {
    case kClose:
      End(ui::kResultOk);
      return;
    case kRefresh:
      SetWaitCursor(true);
      monitor_->Refresh();
      SetWaitCursor(false);
      // A process that ended takes its pages with it.
      if (view_ != kProcessListView && view_ != kSummaryView && !SelectedProcess(&pid, &name)) {
        view_ = kProcessListView;
      }
      Show(view_);
      return;
    case kKillProcess:
      Kill();
      return;
    case kBringToFront:
      BringToFront();
      return;
    case kProcessInformation:
    case kLoadedModules:
    case kActiveThreads:
    case kMemoryHeaps:
      if (!SelectedProcess(&pid, &name)) return;
      pid_ = pid;
      Show(id == kProcessInformation ? kProcessPageView
           : id == kLoadedModules    ? kModuleListView
           : id == kActiveThreads    ? kThreadListView
                                     : kHeapListView);
      return;
    case kSummary:
      Show(kSummaryView);
      return;
    case kDone:
      Done();
      return;
    case kProcessListControl:
      if (list_.HasSelection()) OnRowActivated(kProcessListControl, list_.selected());
      return;
    default:
      Dialog::OnCommand(id);
  }
}

void ProcessManagerDialog::OnBack() {
  if (view_ == kProcessListView) {
    Dialog::OnBack();
    return;
  }
  Done();
}

void ProcessManagerDialog::OnRowActivated(uint32_t list, int row) {
  if (list != kProcessListControl || row < 0 || row >= list_.size()) return;
  list_.Select(row);
  switch (view_) {
    case kProcessListView:
      OnCommand(kProcessInformation);
      return;
    case kModuleListView:
      module_id_ = RowNumber(kModuleIdColumn);
      Show(kModulePageView);
      return;
    case kThreadListView:
      thread_id_ = RowNumber(kThreadIdColumn);
      Show(kThreadPageView);
      return;
    default:
      return;
  }
}

}  // namespace kolvar::tools
