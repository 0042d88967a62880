// The recording dialog host of the tests; see recording_host.h.
#include "ui/testing/recording_host.h"

#include <algorithm>
#include <chrono>

#include "platform/message_box.h"

namespace kolvar::ui::testing {

void RecordingHost::Show(Dialog& dialog) {
  dialog.Attach(this);
  dialog.OnInit();
}

int RecordingHost::ShowMessageBox(const MessageBoxRequest& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  boxes_.push_back(request);
  if (answers_.empty()) return platform::DefaultAnswer(request.style);
  const int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

int RecordingHost::RunModal(Dialog& dialog) {
  modal_titles_.push_back(dialog.title());
  dialog.Attach(this);
  dialog.OnInit();
  if (!dialog.ended() && driver_) driver_(dialog);
  if (!dialog.ended()) dialog.OnBack();
  if (!dialog.ended()) return -1;
  return dialog.result();
}

void RecordingHost::DialogEnded(Dialog& dialog) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = timers_.begin(); it != timers_.end();) {
    it = it->first.first == &dialog ? timers_.erase(it) : std::next(it);
  }
}

void RecordingHost::DialogChanged(Dialog&) { ++changes_; }

void RecordingHost::StartTimer(Dialog& dialog, uint32_t id, uint32_t period_ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  timers_[{&dialog, id}] = period_ms;
}

void RecordingHost::StopTimer(Dialog& dialog, uint32_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  timers_.erase({&dialog, id});
}

uint32_t RecordingHost::TimerPeriod(const Dialog& dialog, uint32_t id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = timers_.find({&dialog, id});
  return it == timers_.end() ? 0 : it->second;
}

void RecordingHost::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  posted_.notify_all();
}

int RecordingHost::RunPosted() {
  int ran = 0;
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (tasks_.empty()) return ran;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    ++ran;
  }
}

bool RecordingHost::WaitAndRunPosted(uint32_t timeout_ms) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!posted_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                          [this] { return !tasks_.empty(); })) {
      return false;
    }
  }
  RunPosted();
  return true;
}

bool RecordingHost::RunPostedUntil(const std::function<bool()>& condition, uint32_t timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  RunPosted();
  while (!condition()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    WaitAndRunPosted(static_cast<uint32_t>(std::min<int64_t>(left.count(), 50)));
  }
  return true;
}

void RecordingHost::AnswerBoxes(std::vector<int> answers) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_.assign(answers.begin(), answers.end());
}

std::vector<MessageBoxRequest> RecordingHost::boxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

std::vector<std::u16string> RecordingHost::box_texts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::u16string> texts;
  for (const MessageBoxRequest& box : boxes_) texts.push_back(box.text);
  return texts;
}

void RecordingHost::ClearBoxes() {
  std::lock_guard<std::mutex> lock(mutex_);
  boxes_.clear();
}

}  // namespace kolvar::ui::testing
