// The applier's progress window; see applier_dialog.h.
#include "updater/applier_dialog.h"

#include <algorithm>
#include <utility>

#include "platform/message_box.h"
#include "updater/applier_texts.h"

namespace kolvar::updater {

ApplierDialog::ApplierDialog(Work work) : Dialog(kTitle), work_(std::move(work)) {}

ApplierDialog::~ApplierDialog() {
  if (worker_.joinable()) worker_.join();
}

void ApplierDialog::OnInit() {
  if (started_) return;  // shown again: one run per start
  started_ = true;
  picture_ = kLastPicture;
  StartTimer(kAnimationTimer, kAnimationPeriodMs);
  working_ = true;
  worker_ = std::thread([this] {
    const UserNotice notice = [this](std::u16string_view text, uint32_t style) {
      MessageBox(kApplierCaption, text, platform::kMbOk | style);
    };
    work_(*this, notice);
    PostToSelf([this] { WorkerEnded(); });
  });
}

void ApplierDialog::OnTimer(uint32_t id) {
  if (id != kAnimationTimer) return;
  picture_ = picture_ >= kLastPicture ? kFirstPicture : picture_ + 1;
  Changed();
}

void ApplierDialog::OnCommand(uint32_t id) {
  // A second applier's cancel is meant for the boxes over this dialog, never for the run.
  if (id == ui::kCommandCancel && working_) return;
  Dialog::OnCommand(id);
}

void ApplierDialog::OnBack() {
  if (!working_) Dialog::OnBack();
}

void ApplierDialog::OnClose() {
  if (!working_) Dialog::OnClose();
}

void ApplierDialog::SetPosition(int percent) {
  percent = std::clamp(percent, 0, 100);
  PostToSelf([this, percent] {
    position_ = percent;
    Changed();
  });
}

void ApplierDialog::SetStatus(std::u16string_view text) {
  PostToSelf([this, status = std::u16string(text)] {
    status_ = status;
    Changed();
  });
}

void ApplierDialog::WorkerEnded() {
  if (worker_.joinable()) worker_.join();
  working_ = false;
  StopTimer(kAnimationTimer);
  End(ui::kResultOk);
}

}  // namespace kolvar::updater
