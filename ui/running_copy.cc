// The hand-over between two copies of a windowed program; see running_copy.h.
#include "ui/running_copy.h"

#include <utility>

#include "common/object_names.h"
#include "common/thread_start.h"

namespace kolvar::ui {
namespace {

// How often the watcher looks at its stop flag.
constexpr uint32_t kWatchStepMs = 200;

}  // namespace

std::u16string ActivationEventName(std::u16string_view window_class) {
  return PresenceEventName(window_class);
}

bool ActivateRunningCopy(std::u16string_view window_class) {
  platform::Event event;
  if (!event.Open(ActivationEventName(window_class))) return false;
  return event.Set();
}

RunningCopyListener::~RunningCopyListener() { Stop(); }

bool RunningCopyListener::Listen(std::u16string_view window_class,
                                 std::function<void()> on_activate) {
  Stop();
  // Auto-reset: each second start wakes the watcher once.
  if (!event_.Create(ActivationEventName(window_class), false, false)) return false;
  stop_ = false;
  const bool started = StartThread(&watcher_, [this, on_activate = std::move(on_activate)] {
    while (!stop_) {
      if (event_.Wait(kWatchStepMs) == platform::WaitResult::kSignaled && !stop_) on_activate();
    }
  });
  if (!started) event_.Close();
  return started;
}

void RunningCopyListener::Stop() {
  stop_ = true;
  if (watcher_.joinable()) watcher_.join();
  event_.Close();
}

}  // namespace kolvar::ui
