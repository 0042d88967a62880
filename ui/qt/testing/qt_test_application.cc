// The Qt test application; see qt_test_application.h.
#include "ui/qt/testing/qt_test_application.h"

#include <stdlib.h>

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include "ui/qt/leak_suppressions.h"

namespace kolvar::ui::qt::testing {

QApplication& TestApplication() {
  static QApplication* application = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "kolvar_qt_test";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *application;
}

bool ProcessEventsUntil(const std::function<bool()>& condition, int timeout_ms) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeout_ms) return condition();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

void WhenIdle(std::function<void()> action) {
  QTimer::singleShot(0, &TestApplication(), [action = std::move(action)] { action(); });
}

}  // namespace kolvar::ui::qt::testing
