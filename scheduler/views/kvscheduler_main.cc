// KVScheduler: the editor of the scheduled tasks, started from the main program's Tools menu
// ("Kolvar Scheduler"). One copy at a time: a second start brings the running editor's window to
// the front, closes the pages over its task list and ends.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include "platform/message_box.h"
#include "platform/platform_kind.h"
#include "platform/terminal.h"
#include "scheduler/scheduler_ids.h"
#include "scheduler/scheduler_program.h"
#include "scheduler/views/scheduler_views.h"
#include "ui/qt/dialog_frame.h"
#include "ui/qt/fonts.h"
#include "ui/qt/leak_suppressions.h"
#include "ui/running_copy.h"

namespace kolvar {
namespace {

constexpr char16_t kProgram[] = u"KVScheduler";
constexpr int kInterruptPollMs = 100;

uint32_t PlatformKind() {
  std::u16string type = platform::PlatformTypeText();
  for (char16_t& c : type) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return type.find(u"POCKET") != std::u16string::npos ? 2 : 1;
}

class QtSchedulerWindows : public SchedulerWindows {
 public:
  explicit QtSchedulerWindows(ui::qt::DialogFrame& frame) : frame_(frame) {}

  int Box(std::u16string_view caption, std::u16string_view text, uint32_t style) override {
    return platform::MessageBox(kProgram, caption, text, style);
  }

  void RunMain(TaskListDialog& main) override {
    QEventLoop loop;
    frame_.OnMainEnded([&loop] { loop.quit(); });
    ui::RunningCopyListener listener;
    listener.Listen(kSchedulerWindowClass, [this] {
      frame_.Post([this] {
        frame_.Activate();
        frame_.CancelStackedDialogs();
      });
    });
    // An interrupt closes the window as the user would.
    QTimer interrupts;
    QObject::connect(&interrupts, &QTimer::timeout, &frame_, [this, &interrupts] {
      if (!platform::InterruptRequested()) return;
      interrupts.stop();
      frame_.close();
    });
    interrupts.start(kInterruptPollMs);
    frame_.ShowMain(main);
    frame_.activateWindow();
    loop.exec();
    listener.Stop();
    frame_.OnMainEnded({});
  }

 private:
  ui::qt::DialogFrame& frame_;
};

}  // namespace
}  // namespace kolvar

int main(int argc, char** argv) {
  using namespace kolvar;
  platform::CatchInterrupts();
  QApplication application(argc, argv);
  QApplication::setApplicationName("KVScheduler");
  ui::qt::DialogFrame frame(kProgram, ui::qt::LoadApplicationFonts(PlatformKind()));
  frame.setObjectName("KVScheduler");
  views::RegisterSchedulerViews(frame);
  QtSchedulerWindows windows(frame);
  RunScheduler(windows);
  return 0;
}
