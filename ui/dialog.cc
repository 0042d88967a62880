// The dialog base; see dialog.h.
#include "ui/dialog.h"

#include <utility>

#include "platform/message_box.h"

namespace kolvar::ui {

Dialog::Dialog(std::u16string title) : title_(std::move(title)) {}

Dialog::~Dialog() = default;

void Dialog::Attach(DialogHost* host) {
  host_ = host;
  ended_ = false;
  result_ = kResultOk;
}

void Dialog::OnCommand(uint32_t id) {
  if (id == kCommandOk) {
    if (focus_ != 0 && focus_ != kCommandOk) OnCommand(focus_);
    return;
  }
  if (id == kCommandCancel) End(kResultCancel);
}

void Dialog::OnBack() { End(kResultBack); }

void Dialog::OnClose() { End(kResultOk); }

void Dialog::End(int result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  if (host_ != nullptr) host_->DialogEnded(*this);
}

void Dialog::SetFocus(uint32_t control) {
  focus_ = control;
  Changed();
}

void Dialog::Changed() {
  if (host_ != nullptr) host_->DialogChanged(*this);
}

int Dialog::MessageBox(std::u16string_view caption, std::u16string_view text, uint32_t style) {
  if (host_ == nullptr) return platform::DefaultAnswer(style);
  return host_->ShowMessageBox(
      MessageBoxRequest{std::u16string(caption), std::u16string(text), style});
}

int Dialog::RunModal(Dialog& child) { return host_ != nullptr ? host_->RunModal(child) : -1; }

void Dialog::StartTimer(uint32_t id, uint32_t period_ms) {
  if (host_ != nullptr) host_->StartTimer(*this, id, period_ms);
}

void Dialog::StopTimer(uint32_t id) {
  if (host_ != nullptr) host_->StopTimer(*this, id);
}

void Dialog::SetWaitCursor(bool waiting) {
  if (host_ != nullptr) host_->SetWaitCursor(waiting);
}

void Dialog::PostToSelf(std::function<void()> task) {
  if (host_ == nullptr) return;
  std::weak_ptr<int> alive = alive_;
  host_->Post([alive = std::move(alive), task = std::move(task)] {
    if (alive.lock()) task();
  });
}

}  // namespace kolvar::ui
