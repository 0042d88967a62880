// KVTaskMgr: started by the notification service with a task identifier as its command line; runs
// that task once (task_manager.h) and ends. A task that asks before running asks in the Task
// Execution dialog when there is a display; without one the question is not asked, the task runs
// and the system log says so. KOLVAR_TASKMGR_ANSWER ("execute", "cancel", "postpone K" with K
// from 0 to 6, or "close") answers instead, for tests and scripts.
#include <QApplication>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/configuration.h"
#include "platform/message_box.h"
#include "platform/notification.h"
#include "platform/path.h"
#include "platform/platform_kind.h"
#include "platform/process.h"
#include "platform/system_log.h"
#include "platform/text.h"
#include "scheduling/next_run.h"
#include "taskmgr/task_dialogs.h"
#include "taskmgr/task_manager.h"
#include "taskmgr/views/task_dialog_views.h"
#include "ui/qt/dialog_frame.h"
#include "ui/qt/fonts.h"
#include "ui/qt/leak_suppressions.h"

namespace kolvar {
namespace {

constexpr char16_t kProgram[] = u"KVTaskMgr";

class ProgramHost : public TaskManagerHost {
 public:
  TaskTime Now() override { return CurrentTaskTime(); }
  bool IsConnected() override { return platform::IsNetworkConnected(); }
  bool StartProgram(std::u16string_view path, std::u16string_view command_line) override {
    platform::Process process;
    return platform::Process::Start(path, command_line, platform::StartOptions{.detached = true},
                                    &process);
  }
  TaskAnswer Ask(const TaskRecord& record) override {
    const char* scripted = std::getenv("KOLVAR_TASKMGR_ANSWER");
    const std::string answer = scripted != nullptr ? scripted : "";
    if (answer == "cancel") return {TaskChoice::kCancel, 0};
    if (answer == "close") return {TaskChoice::kNone, 0};
    if (answer.rfind("postpone ", 0) == 0) {
      const int interval = std::atoi(answer.c_str() + 9);
      if (interval >= 0 && interval <= 6) return {TaskChoice::kPostpone, interval};
    }
    if (answer == "execute") return {TaskChoice::kRun, 0};
    if (HasDisplay()) return AskInWindow(record);
    Log(u"task " + platform::Utf8ToUtf16Lossy(std::to_string(record.id)) +
        u" asks before running, but there is no display to ask on: it runs");
    return {TaskChoice::kRun, 0};
  }
  void ShowDatabaseNotFound() override {
    platform::MessageBox(kProgram, kTaskManagerCaption, kTasksDatabaseNotFound,
                         platform::kMbOk | platform::kMbIconError);
  }
  void Log(std::u16string_view text) override { platform::WriteSystemLog(kProgram, text); }

 private:
  static bool HasDisplay() {
    // An X or Wayland display that a person looks at; Qt's offscreen platform is none.
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
      const char* value = std::getenv(name);
      if (value != nullptr && *value != '\0') return true;
    }
    return false;
  }

  static TaskAnswer AskInWindow(const TaskRecord& record) {
    int argc = 1;
    char name[] = "KVTaskMgr";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    QApplication::setApplicationName("KVTaskMgr");
    std::u16string type = platform::PlatformTypeText();
    for (char16_t& c : type) {
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    const uint32_t kind = type.find(u"POCKET") != std::u16string::npos ? 2 : 1;
    ui::qt::DialogFrame frame(kProgram, ui::qt::LoadApplicationFonts(kind));
    frame.setObjectName("KVTaskMgr");
    views::RegisterTaskManagerViews(frame);
    TaskExecutionDialog dialog(TaskName(record));
    frame.OnMainEnded([&] { application.quit(); });
    frame.ShowMain(dialog);
    application.exec();
    return dialog.answer();
  }
};

std::u16string InstallFolder() {
  std::unique_ptr<ConfigurationFile> configuration;
  OpenConfiguration(/*keep_as_is=*/true, &configuration);
  std::u16string folder = InstallDirValue(configuration->store());
  if (!folder.empty()) return folder;
  // No configuration yet: the folder the task manager runs from is the install folder.
  std::u16string program;
  if (platform::RunningProgramPath(&program)) return program.substr(0, program.rfind(u'\\'));
  return folder;
}

}  // namespace
}  // namespace kolvar

int main(int argc, char** argv) {
  using namespace kolvar;
  if (argc < 2 || argv[1][0] == '\0') return 0;
  ProgramHost host;
  RunTaskManager(InstallFolder(), platform::Utf8ToUtf16Lossy(argv[1]), host);
  return 0;
}
