// The one QApplication of a Qt test program, on Qt's offscreen platform (no display needed), and
// the event-loop waits that Qt tests use.
#ifndef KOLVAR_UI_QT_TESTING_QT_TEST_APPLICATION_H_
#define KOLVAR_UI_QT_TESTING_QT_TEST_APPLICATION_H_

#include <QApplication>
#include <functional>

namespace kolvar::ui::qt::testing {

// Created on first use with QT_QPA_PLATFORM=offscreen (unless the environment names another).
QApplication& TestApplication();
// Processes events until `condition` holds or `timeout_ms` have passed; its last value.
bool ProcessEventsUntil(const std::function<bool()>& condition, int timeout_ms = 10000);
// Runs `action` once the event loop of a modal step is running (a queued call), then returns:
// for driving a dialog that RunModal is about to show.
void WhenIdle(std::function<void()> action);

}  // namespace kolvar::ui::qt::testing

#endif  // KOLVAR_UI_QT_TESTING_QT_TEST_APPLICATION_H_
