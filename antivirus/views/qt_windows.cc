// The program's windows on Qt; see qt_windows.h.
#include "antivirus/views/qt_windows.h"

#include <QEventLoop>
#include <QTimer>

#include "platform/message_box.h"
#include "platform/terminal.h"
#include "ui/running_copy.h"

namespace kolvar::views {
namespace {

constexpr int kInterruptPollMs = 100;

// An interrupt (SIGTERM, SIGINT, SIGHUP) closes the window as the user would, so the program still
// takes its leave of the scanner and the service.
class InterruptWatch {
 public:
  explicit InterruptWatch(ui::qt::DialogFrame& frame) {
    QObject::connect(&timer_, &QTimer::timeout, &frame, [&frame, this] {
      if (!platform::InterruptRequested()) return;
      timer_.stop();
      frame.close();
    });
    timer_.start(kInterruptPollMs);
  }

 private:
  QTimer timer_;
};

}  // namespace

int QtAntivirusWindows::Box(std::u16string_view caption, std::u16string_view text, uint32_t style) {
  return platform::MessageBox(kProgramName, caption, text, style);
}

void QtAntivirusWindows::RunAlone(ui::Dialog& dialog) {
  QEventLoop loop;
  frame_.OnMainEnded([&loop] { loop.quit(); });
  // A second start meanwhile brings this window to the front; there is no main dialog to clear.
  ui::RunningCopyListener listener;
  listener.Listen(kMainWindowClass, [this] { frame_.Post([this] { frame_.Activate(); }); });
  InterruptWatch interrupts(frame_);
  frame_.ShowMain(dialog);
  frame_.activateWindow();
  if (!dialog.ended() || frame_.isVisible()) loop.exec();
  listener.Stop();
  frame_.OnMainEnded({});
}

void QtAntivirusWindows::RunMain(ScanDialog& main, const std::function<void()>& shown) {
  QEventLoop loop;
  frame_.OnMainEnded([&loop] { loop.quit(); });
  ui::RunningCopyListener listener;
  listener.Listen(kMainWindowClass, [this] {
    frame_.Post([this] {
      frame_.Activate();
      frame_.CancelStackedDialogs();
    });
  });
  InterruptWatch interrupts(frame_);
  frame_.ShowMain(main);
  frame_.activateWindow();
  QTimer::singleShot(0, &frame_, [&shown] { shown(); });
  loop.exec();
  listener.Stop();
  frame_.OnMainEnded({});
}

}  // namespace kolvar::views
