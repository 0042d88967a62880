// How a second start of a windowed program reaches the copy that runs: the device finds the
// running copy's window by its class and title; here the running copy holds a named event
// "@_<window class>_@" in the user's namespace and watches it, and a second copy sets it. The
// running copy then brings its window to the front and cancels the dialogs stacked over its main
// dialog (ui/qt/dialog_frame.h does both).
//
//   First copy:   ui::RunningCopyListener listener;
//                 listener.Listen(u"KolvarWindowApp", [&] { host.Post([&] { frame.Activate(); });
//                 });
//   Second copy:  ui::ActivateRunningCopy(u"KolvarWindowApp");   // then exit 0
#ifndef KOLVAR_UI_RUNNING_COPY_H_
#define KOLVAR_UI_RUNNING_COPY_H_

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/kernel_objects.h"

namespace kolvar::ui {

// The event's name for a window class.
std::u16string ActivationEventName(std::u16string_view window_class);

// Sets the running copy's event. False when no copy of that window class runs (or it has not
// shown its window yet).
bool ActivateRunningCopy(std::u16string_view window_class);

class RunningCopyListener {
 public:
  RunningCopyListener() = default;
  // Stops watching.
  ~RunningCopyListener();
  RunningCopyListener(const RunningCopyListener&) = delete;
  RunningCopyListener& operator=(const RunningCopyListener&) = delete;

  // Creates the event and calls `on_activate` on a thread of its own each time a second copy
  // sets it. False when the event cannot be created.
  bool Listen(std::u16string_view window_class, std::function<void()> on_activate);
  void Stop();

 private:
  platform::Event event_;
  std::atomic<bool> stop_{false};
  std::thread watcher_;
};

}  // namespace kolvar::ui

#endif  // KOLVAR_UI_RUNNING_COPY_H_
