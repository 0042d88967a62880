// The update dialog's logic; see update_dialog.h.
#include "antivirus/update/update_dialog.h"

#include "antivirus/update/update_rules.h"
#include "antivirus/update/update_texts.h"
#include "common/configuration.h"
#include "common/message_text.h"
#include "platform/message_box.h"

namespace kolvar {
namespace {

using namespace update_status;

constexpr char16_t kEmptyStatus[] = u" ";

}  // namespace

UpdateDialog::UpdateDialog(UpdateDialogServices services)
    : Dialog(services.title), services_(std::move(services)) {
  soft_keys().left =
      ui::SoftKey::CommandKey(update_controls::kUpdateCommand, update_texts::kUpdateCommandText);
  soft_keys().right =
      ui::SoftKey::CommandKey(update_controls::kCancelCommand, update_texts::kCancelCommandText);
  total_size_ = KilobytesText(0);
  transferred_ = KilobytesText(0);
  time_left_ = TimeLeftText(0);
}

UpdateDialog::~UpdateDialog() { StopWorker(); }

void UpdateDialog::OnInit() {
  if (downloader_ == nullptr) {
    UpdateSettings settings = ReadUpdateSettings(*services_.configuration, services_.platform_kind);
    if (settings.install_folder.empty()) settings.install_folder = services_.install_folder;
    last_id_ = settings.last_update_id;
    last_date_ = settings.last_release_date;
    last_time_ = settings.last_update_time;
    last_size_ = KilobytesText(settings.last_update_file_size);
    downloader_ = std::make_unique<UpdateDownloader>(services_.configuration, std::move(settings),
                                                     [this](int status) { OnStatus(status); });
    downloader_->PrepareDownloadFolder();
  }
  Changed();
  if (services_.automatic) {
    services_.automatic = false;
    OnCommand(update_controls::kUpdateCommand);
  }
}

void UpdateDialog::OnCommand(uint32_t id) {
  if (id == update_controls::kUpdateCommand) {
    if (!soft_keys().left.enabled || running()) return;
    StartRun();
    return;
  }
  if (id == update_controls::kCancelCommand || id == ui::kCommandCancel) {
    if (running()) {
      status_line_ = update_texts::kCanceling;
      downloader_->Cancel();
      Changed();
      return;
    }
    End(ui::kResultCancel);
    return;
  }
  Dialog::OnCommand(id);
}

void UpdateDialog::OnBack() {
  StopWorker();
  End(ui::kResultBack);
}

void UpdateDialog::OnClose() {
  StopWorker();
  Dialog::OnClose();
}

void UpdateDialog::StartRun() {
  soft_keys().left.enabled = false;
  downloaded_ = false;
  cancelled_ = false;
  total_size_ = KilobytesText(0);
  transferred_ = KilobytesText(0);
  time_left_ = TimeLeftText(0);
  Changed();
  if (!downloader_->settings().require_signed) {
    Box(update_texts::kUnsignedUpdates, platform::kMbOk | platform::kMbIconWarning);
  }
  // A thread that cannot start reports -1, which shows nothing; "Update!" comes back then.
  if (!downloader_->Start()) {
    soft_keys().left.enabled = true;
    Changed();
  }
}

void UpdateDialog::StopWorker() {
  if (downloader_ == nullptr) return;
  downloader_->Cancel();
  downloader_->Wait();
}

void UpdateDialog::Box(std::u16string_view text, uint32_t style) {
  MessageBox(services_.caption, text, style);
}

void UpdateDialog::OnStatus(int status) {
  if (status == kWorkerEnded) {
    PostToSelf([this] { OnWorkerEnded(); });
    return;
  }
  // Every status first refreshes the progress fields.
  std::u16string total = downloader_->TotalSizeText();
  std::u16string transferred = downloader_->TransferredText();
  std::u16string time_left = downloader_->TimeLeftText();
  const uint32_t percent = downloader_->Percent();
  PostToSelf([this, status, total, transferred, time_left, percent] {
    ApplyStatus(status, total, transferred, time_left, percent);
  });
  const uint32_t error = platform::kMbOk | platform::kMbIconError;
  const uint32_t information = platform::kMbOk | platform::kMbIconInformation;
  switch (status) {
    case kNoConnection:
      Box(update_texts::kNoConnection, error);
      break;
    case kDownloadError:
      Box(update_texts::kDownloadError, error);
      break;
    case kSignatureRefused:
      Box(FormatText(update_texts::kUpdateRefused, {downloader_->FailureDetail()}), error);
      break;
    case kAlreadyUpdated:
      Box(update_texts::kAlreadyUpdated, information);
      break;
    case kNoUpdate:
      Box(update_texts::kNoUpdate, information);
      break;
    case kDownloaded:
      Box(update_texts::kDownloadSuccessful, information);
      break;
    default:
      break;
  }
}

void UpdateDialog::ApplyStatus(int status, std::u16string total, std::u16string transferred,
                               std::u16string time_left, uint32_t percent) {
  total_size_ = std::move(total);
  transferred_ = std::move(transferred);
  time_left_ = std::move(time_left);
  switch (status) {
    case kWorkerCreated:
      status_line_ = update_texts::kTryingConnection;
      break;
    case kConnected:
      status_line_ = update_texts::kConnectionSuccessful;
      break;
    case kReadingInformation:
      status_line_ = update_texts::kGettingInfo;
      break;
    case kAskingSize:
      status_line_ = update_texts::kGettingSize;
      break;
    case kBlockReceived:
      status_line_ = DownloadingText(percent);
      break;
    case kDownloaded:
      downloaded_ = true;
      status_line_.clear();
      break;
    case kCancelNoticed:
      cancelled_ = true;
      status_line_ = update_texts::kCanceling;
      break;
    default:
      break;
  }
  Changed();
}

void UpdateDialog::OnWorkerEnded() {
  status_line_ = cancelled_ ? update_texts::kCancelled : kEmptyStatus;
  soft_keys().left.enabled = true;
  Changed();
  if (!downloaded_) return;
  updater_started_ =
      StartUpdater(downloader_->settings().install_folder, downloader_->CabinetPath(),
                   services_.history_path, services_.start_updater);
  if (services_.end_program) services_.end_program();
  End(ui::kResultOk);
}

}  // namespace kolvar
