// The online update client's worker; see update_downloader.h.
#include "antivirus/update/update_downloader.h"

#include <span>
#include <vector>

#include "antivirus/update/update_rules.h"
#include "antivirus/update/update_texts.h"
#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "common/file_replacement.h"
#include "common/message_text.h"
#include "common/status.h"
#include "common/thread_start.h"
#include "platform/crypto.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/internet.h"
#include "platform/path.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace kolvar {
namespace {

namespace keys = config_keys;
using namespace update_status;

// UpdateVersion is read into 15 characters: 14 and the terminator.
constexpr size_t kUpdateVersionLength = 14;
// A publisher key file larger than this is no key file.
constexpr uint32_t kKeysFileLimit = 64 * 1024;

constexpr platform::InternetAccess kAttempts[] = {
    platform::InternetAccess::kPreconfigured,
    platform::InternetAccess::kPreconfiguredNoAutoProxy,
    platform::InternetAccess::kDirect,
};

std::u16string TextOr(ConfigStore& store, const char* section, const char* key,
                      std::u16string_view fallback) {
  std::u16string text;
  if (!ReadTextValue(store, section, key, &text) || text.empty()) return std::u16string(fallback);
  return text;
}

// A key of section UPDATES, set when it exists and added when it does not.
bool WriteUpdatesValue(ConfigStore& store, const char* key, uint32_t type, uint32_t size,
                       const void* data) {
  if (store.SetValue(key, type, size, data, keys::kUpdates)) return true;
  if (!store.HasSection(keys::kUpdates) && !store.AddSection(keys::kUpdates)) return false;
  return store.SelectSection(keys::kUpdates) && store.AddValue(key, type, size, data);
}

bool WriteUpdatesText(ConfigStore& store, const char* key, std::u16string_view text) {
  return WriteUpdatesValue(store, key, kConfigTypeText, static_cast<uint32_t>(text.size() * 2),
                           text.data());
}

bool WriteUpdatesInteger(ConfigStore& store, const char* key, uint32_t value) {
  return WriteUpdatesValue(store, key, kConfigTypeInteger, sizeof value, &value);
}

std::u16string ErrorWords(uint32_t error) { return SystemErrorText(error); }

std::u16string StoreCause(ConfigStore& store) {
  uint32_t system_error = 0;
  const Status status = store.GetStatus(&system_error);
  return FailureText(status, system_error);
}

std::u16string Wide(const std::string& text) { return platform::Utf8ToUtf16Lossy(text); }

// The cause of a failed request: what the server or the transfer said, else the error's meaning.
std::u16string RequestCause(const platform::InternetRequest& request, uint32_t error) {
  if (!request.ErrorText().empty()) return Wide(request.ErrorText());
  return ErrorWords(error);
}

bool ReadWholeFile(std::u16string_view path, uint32_t limit, std::vector<uint8_t>* bytes) {
  platform::File file;
  if (!file.Open(path, platform::FileAccess::kRead, platform::CreateDisposition::kOpenExisting)) {
    return false;
  }
  uint64_t size = 0;
  if (!file.GetSize(&size)) return false;
  if (size > limit) return platform::Fail(platform::kErrorInvalidParameter);
  bytes->resize(static_cast<size_t>(size));
  uint32_t read = 0;
  if (!file.Read(bytes->data(), static_cast<uint32_t>(size), &read)) return false;
  bytes->resize(read);
  return true;
}

// Deletes every file of `folder` and of its subfolders and removes the subfolders; the folder
// itself stays.
void EmptyFolder(const std::u16string& folder) {
  platform::DirectoryListing listing;
  platform::FindData entry;
  std::vector<platform::FindData> entries;
  if (listing.First(platform::JoinPath(folder, u"*"), &entry)) {
    do {
      entries.push_back(entry);
    } while (listing.Next(&entry));
  }
  listing.Close();
  for (const platform::FindData& found : entries) {
    const std::u16string path = platform::JoinPath(folder, found.name);
    if (found.kind == platform::EntryKind::kDirectory) {
      EmptyFolder(path);
      platform::RemoveDirectory(path);
    } else {
      platform::DeleteFile(path);
    }
  }
}

}  // namespace

std::u16string DownloadFolderOf(std::u16string_view install_folder) {
  return std::u16string(install_folder) + kDownloadFolderName;
}

UpdateSettings ReadUpdateSettings(ConfigurationFile& configuration, uint32_t platform_kind) {
  configuration.ReloadWhenSavedElsewhere();
  ConfigStore& store = configuration.store();
  UpdateSettings settings;
  settings.install_folder = InstallDirValue(store);
  settings.update_url = TextOr(store, keys::kUpdates, keys::kUpdateUrl, keys::kDefaultUpdateUrl);
  settings.update_url_file =
      TextOr(store, keys::kUpdates, keys::kUpdateUrlFile, keys::kUpdateInformationFileName);
  settings.update_version =
      TextOr(store, keys::kUpdates, keys::kUpdateVersion, keys::kDefaultUpdateVersion);
  if (settings.update_version.size() > kUpdateVersionLength) {
    settings.update_version.resize(kUpdateVersionLength);
  }
  settings.last_update_id = TextOr(store, keys::kUpdates, keys::kLastUpdateId, kNoneText);
  settings.last_update_time = TextOr(store, keys::kUpdates, keys::kLastUpdateTime, kNoneText);
  settings.last_release_date = TextOr(store, keys::kUpdates, keys::kLastReleaseDate, kNoneText);
  uint32_t value = 0;
  if (ReadIntegerValue(store, keys::kUpdates, keys::kLastUpdateFileSize, &value)) {
    settings.last_update_file_size = value;
  }
  value = 1;
  settings.require_signed =
      !ReadIntegerValue(store, keys::kUpdates, keys::kRequireSignedUpdates, &value) || value != 0;
  // The scanner's switch and default: absent, a device image keeps the device's pacing and the
  // host profile runs at full speed.
  settings.pacing = ReadIntegerValue(store, keys::kConfig, keys::kScanPacing, &value)
                        ? value != 0
                        : platform::IsDeviceImage();
  settings.platform_kind = platform_kind;
  settings.new_shell = true;  // the operating system is newer than the device's version 4
  return settings;
}

// One run of the worker, with the handles it holds until its end.
class UpdateDownloader::Run {
 public:
  explicit Run(UpdateDownloader& owner) : owner_(owner), settings_(owner.settings_) {}

  void Execute() {
    // What an earlier run left (a cabinet the updater never took, a partial file) goes before
    // anything else, so that a run that fails, even before it connects, leaves no cabinet.
    if (!settings_.check_only) EmptyFolder(owner_.download_folder_);
    if (!Connect()) return;
    owner_.Report(kConnected);
    Pause(15);
    owner_.Report(kReadingInformation);
    std::vector<uint8_t> information;
    if (!ReadInformation(&information)) return;
    if (settings_.require_signed && !LoadPublisherKeys()) return;
    if (settings_.require_signed &&
        !CheckSignature(information_url_, settings_.update_url_file, information)) {
      return;
    }
    if (!KeepInformation(information)) return;
    if (Cancelled()) return;
    switch (DecideUpdate(server_id_, server_date_, settings_.update_version,
                         settings_.last_release_date)) {
      case UpdateDecision::kNoUpdate:
        owner_.Report(kNoUpdate);
        return;
      case UpdateDecision::kAlreadyUpdated:
        owner_.Report(kAlreadyUpdated);
        return;
      case UpdateDecision::kDownload:
        break;
    }
    {
      std::lock_guard lock(owner_.mutex_);
      owner_.offered_ = true;
    }
    if (!settings_.check_only) Download();
  }

 private:
  // The device slept here to keep a handheld usable; ScanPacing 0 runs at full speed.
  void Pause(uint32_t milliseconds) const {
    if (settings_.pacing) platform::Sleep(milliseconds);
  }

  bool Cancelled() {
    if (!owner_.cancel_.load()) return false;
    owner_.Report(kCancelNoticed);
    return true;
  }

  bool Fail(int status, std::u16string detail) {
    owner_.SetFailureDetail(std::move(detail));
    owner_.Report(status);
    return false;
  }

  // Three attempts, one per access type; the information file's URL opened is the connection.
  bool Connect() {
    Pause(500);
    information_url_ = settings_.update_url + settings_.update_url_file;
    for (size_t attempt = 0; attempt < std::size(kAttempts); ++attempt) {
      const bool last = attempt + 1 == std::size(kAttempts);
      if (Cancelled()) return false;
      Pause(15);
      session_ = std::make_unique<platform::InternetSession>();
      if (!session_->Open(kUpdateAgentName, kAttempts[attempt])) {
        if (last) return Fail(kNoConnection, ErrorWords(platform::GetLastError()));
        continue;
      }
      session_->SetConnectTimeout(kUpdateTimeoutMs);
      session_->SetReceiveTimeout(kUpdateTimeoutMs);
      if (Cancelled()) return false;
      if (request_.Open(*session_, information_url_)) return true;
      const std::u16string cause = RequestCause(request_, platform::GetLastError());
      request_.Close();
      session_.reset();
      if (last) return Fail(kNoConnection, information_url_ + u": " + cause);
    }
    return false;
  }

  // One read of at most 32768 bytes (one more is asked for, to tell a file that does not fit).
  bool ReadInformation(std::vector<uint8_t>* information) {
    information->resize(kInformationFileLimit + 1);
    uint32_t read = 0;
    if (!request_.Read(information->data(), kInformationFileLimit + 1, &read)) {
      return Fail(kDownloadError,
                  information_url_ + u": " + RequestCause(request_, platform::GetLastError()));
    }
    request_.Close();
    if (read > kInformationFileLimit) {
      return Fail(kDownloadError, information_url_ + u": larger than 32768 bytes");
    }
    information->resize(read);
    return true;
  }

  bool LoadPublisherKeys() {
    const std::u16string path =
        platform::JoinPath(settings_.install_folder, keys::kUpdateKeysFileName);
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, kKeysFileLimit, &bytes)) {
      return Refuse(
          FormatText(update_texts::kNoPublisherKeys, {path, ErrorWords(platform::GetLastError())}));
    }
    keys_.assign(bytes.begin(), bytes.end());
    return true;
  }

  bool Refuse(std::u16string reason) { return Fail(kSignatureRefused, std::move(reason)); }

  // Fetches URL.sig and checks it against the publisher keys over `bytes`.
  bool CheckSignature(const std::u16string& url, const std::u16string& name,
                      std::span<const uint8_t> bytes) {
    std::vector<uint8_t> signature;
    if (!FetchSignature(url, name, &signature)) return false;
    std::string error;
    if (!platform::VerifyDetachedSignature(bytes, signature, keys_, &error)) {
      return Refuse(
          FormatText(update_texts::kSignatureBad, {name, keys::kUpdateKeysFileName, Wide(error)}));
    }
    return true;
  }

  bool FetchSignature(const std::u16string& url, const std::u16string& name,
                      std::vector<uint8_t>* signature) {
    const std::u16string signature_name = name + keys::kSignatureSuffix;
    platform::InternetRequest request;
    if (!request.Open(*session_, url + keys::kSignatureSuffix)) {
      return Refuse(
          FormatText(update_texts::kSignatureMissing,
                     {name, signature_name, RequestCause(request, platform::GetLastError())}));
    }
    signature->resize(platform::kSignatureLength + 1);
    uint32_t total = 0;
    for (;;) {
      uint32_t read = 0;
      if (!request.Read(signature->data() + total, static_cast<uint32_t>(signature->size()) - total,
                        &read)) {
        return Refuse(
            FormatText(update_texts::kSignatureMissing,
                       {name, signature_name, RequestCause(request, platform::GetLastError())}));
      }
      total += read;
      if (read == 0 || total == signature->size()) break;
    }
    signature->resize(total);
    // A wrong length is for the check to refuse, with its own words.
    return true;
  }

  // Keeps the verified bytes as kvmupdi.dat of the download folder and reads the offer from it.
  bool KeepInformation(const std::vector<uint8_t>& information) {
    std::u16string path =
        platform::JoinPath(owner_.download_folder_, keys::kUpdateInformationFileName);
    if (settings_.check_only) {
      std::u16string temp;
      if (!platform::GetSpecialFolder(platform::SpecialFolder::kTemp, &temp)) {
        return Fail(kDownloadError, ErrorWords(platform::GetLastError()));
      }
      path = platform::JoinPath(temp, u"kvmupdi-check.dat");
    }
    if (!ReplaceFileContents(path, information.data(), information.size())) {
      return Fail(kDownloadError, path + u": " + ErrorWords(platform::GetLastError()));
    }
    std::unique_ptr<ConfigurationFile> file;
    const bool opened = OpenUpdateInformation(path, &file);
    if (settings_.check_only) platform::DeleteFile(path);
    if (!opened) return Fail(kDownloadError, path + u": " + StoreCause(file->store()));
    UpdateOffer offer =
        ReadUpdateOffer(file->store(), settings_.platform_kind, settings_.new_shell);
    server_id_ = offer.id;
    server_date_ = offer.release_date;
    cabinet_ = offer.cabinet;
    std::lock_guard lock(owner_.mutex_);
    owner_.server_update_id_ = server_id_;
    owner_.server_release_date_ = server_date_;
    owner_.cabinet_name_ = cabinet_;
    return true;
  }

  void Download() {
    owner_.Report(kAskingSize);
    if (!IsCabinetFileName(cabinet_)) {
      Fail(kDownloadError, u"'" + cabinet_ + u"': not a file name of the update server's folder");
      return;
    }
    const std::u16string url = settings_.update_url + cabinet_;
    std::vector<uint8_t> signature;
    if (settings_.require_signed && !FetchSignature(url, cabinet_, &signature)) return;
    if (!request_.Open(*session_, url)) {
      Fail(kDownloadError, url + u": " + RequestCause(request_, platform::GetLastError()));
      return;
    }
    uint32_t total = 0;
    if (!request_.ContentLength(&total)) {
      owner_.Report(kNoUpdate);
      return;
    }
    {
      std::lock_guard lock(owner_.mutex_);
      owner_.total_size_ = total;
    }
    const uint32_t expected = ExpectedBlocks(total);
    Pause(15);
    const std::u16string path = platform::JoinPath(owner_.download_folder_, cabinet_);
    platform::DeleteFile(path);
    platform::File file;
    if (!file.Open(path, platform::FileAccess::kWrite,
                   platform::CreateDisposition::kCreateAlways)) {
      Fail(kDownloadError, path + u": " + ErrorWords(platform::GetLastError()));
      return;
    }
    bool successful = ReceiveBlocks(file, total, expected, path);
    successful = successful && file.Flush();
    file.Close();
    if (successful && owner_.cancel_.load()) {
      owner_.Report(kCancelNoticed);
      successful = false;
    }
    if (successful && settings_.require_signed) {
      successful = CheckDownloadedCabinet(path, signature);
    }
    if (successful) successful = RecordPendingUpdate(total, path);
    if (!successful) {
      // A partial, refused or unrecorded cabinet is never left for the updater.
      platform::DeleteFile(path);
      platform::DeleteFile(path + keys::kSignatureSuffix);
      return;
    }
    owner_.Report(kDownloaded);
    std::lock_guard lock(owner_.mutex_);
    owner_.time_left_ms_ = 0;
  }

  bool ReceiveBlocks(platform::File& file, uint32_t total, uint32_t expected,
                     const std::u16string& path) {
    std::vector<uint8_t> block(kDownloadBlockSize);
    int64_t block_time = 0;
    uint32_t blocks = 0;
    uint64_t received = 0;
    for (;;) {
      if (Cancelled()) return false;
      const uint32_t t0 = platform::TickCount();
      uint32_t read = 0;
      if (!request_.Read(block.data(), kDownloadBlockSize, &read)) {
        return Fail(kDownloadError,
                    cabinet_ + u": " + RequestCause(request_, platform::GetLastError()));
      }
      const uint32_t t1 = platform::TickCount();
      if (read == 0) {
        if (received != total) {
          owner_.SetFailureDetail(cabinet_ + u": the download ended after " +
                                  DecimalText(static_cast<int64_t>(received)) + u" of " +
                                  DecimalText(total) + u" bytes");
          return false;
        }
        return true;
      }
      received += read;
      if (received > total) {
        return Fail(kDownloadError, cabinet_ + u": the server sent more than it announced");
      }
      ++blocks;
      {
        std::lock_guard lock(owner_.mutex_);
        if (blocks == 1) block_time = static_cast<int64_t>(t1 - t0) * 50;
        owner_.time_left_ms_ = TimeLeftMs(block_time, expected, blocks);
        owner_.received_ = static_cast<uint32_t>(received);
        owner_.percent_ = PercentDone(received, total);
      }
      owner_.Report(kBlockReceived);
      uint32_t written = 0;
      if (!file.Write(block.data(), read, &written) || written != read) {
        return Fail(kDownloadError, path + u": " + ErrorWords(platform::GetLastError()));
      }
      Pause(15);
    }
  }

  bool CheckDownloadedCabinet(const std::u16string& path, const std::vector<uint8_t>& signature) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, UINT32_MAX, &bytes)) {
      return Fail(kDownloadError, path + u": " + ErrorWords(platform::GetLastError()));
    }
    std::string error;
    if (!platform::VerifyDetachedSignature(bytes, signature, keys_, &error)) {
      return Refuse(FormatText(update_texts::kSignatureBad,
                               {cabinet_, keys::kUpdateKeysFileName, Wide(error)}));
    }
    // The signature goes beside the cabinet, for the updater's own check.
    if (!ReplaceFileContents(path + keys::kSignatureSuffix, signature.data(), signature.size())) {
      return Fail(kDownloadError,
                  path + keys::kSignatureSuffix + u": " + ErrorWords(platform::GetLastError()));
    }
    return true;
  }

  // UpdateExec, ReleaseDate, UpdateID, UpdateFileSize, UpdateTime and FlagUpdateAvailable, then
  // the configuration saved (over what another program may have saved meanwhile, reloaded first).
  bool RecordPendingUpdate(uint32_t total, const std::u16string& path) {
    ConfigurationFile& configuration = *owner_.configuration_;
    configuration.ReloadWhenSavedElsewhere();
    ConfigStore& store = configuration.store();
    const std::u16string time = UpdateTimeText(platform::CurrentLocalTime());
    const bool ok = WriteUpdatesText(store, keys::kUpdateExec, cabinet_) &&
                    WriteUpdatesText(store, keys::kReleaseDate, server_date_) &&
                    WriteUpdatesText(store, keys::kUpdateId, server_id_) &&
                    WriteUpdatesInteger(store, keys::kUpdateFileSize, total) &&
                    WriteUpdatesText(store, keys::kUpdateTime, time) &&
                    WriteUpdatesInteger(store, keys::kFlagUpdateAvailable, 1);
    if (!ok || !configuration.Save()) {
      const std::u16string cause = StoreCause(store);
      // What was set in memory must not reach the file through a later save.
      configuration.store().Load(configuration.path(), /*clear_first=*/true);
      return Fail(kDownloadError, configuration.path() + u": " + cause + u" (" + path + u")");
    }
    return true;
  }

  UpdateDownloader& owner_;
  const UpdateSettings& settings_;
  std::unique_ptr<platform::InternetSession> session_;
  platform::InternetRequest request_;
  std::u16string information_url_;
  std::string keys_;
  std::u16string server_id_;
  std::u16string server_date_;
  std::u16string cabinet_;
};

UpdateDownloader::UpdateDownloader(ConfigurationFile* configuration, UpdateSettings settings,
                                   StatusSink sink)
    : configuration_(configuration),
      settings_(std::move(settings)),
      sink_(std::move(sink)),
      download_folder_(DownloadFolderOf(settings_.install_folder)) {}

UpdateDownloader::~UpdateDownloader() {
  Cancel();
  Wait();
}

bool UpdateDownloader::PrepareDownloadFolder() {
  if (platform::DirectoryExists(download_folder_)) return true;
  return platform::CreateDirectory(download_folder_);
}

bool UpdateDownloader::Start() {
  if (worker_.joinable()) {
    Cancel();
    worker_.join();
  }
  {
    std::lock_guard lock(mutex_);
    total_size_ = 0;
    received_ = 0;
    time_left_ms_ = 0;
    percent_ = 0;
    cabinet_name_.clear();
    server_release_date_.clear();
    server_update_id_.clear();
    failure_detail_.clear();
    offered_ = false;
  }
  cancel_ = false;
  {
    std::lock_guard lock(start_mutex_);
    start_reported_ = false;
  }
  running_ = true;
  if (!StartThread(&worker_, [this] { Worker(); })) {
    running_ = false;
    Report(kWorkerNotCreated);
    return false;
  }
  Report(kWorkerCreated);
  {
    std::lock_guard lock(start_mutex_);
    start_reported_ = true;
  }
  start_cv_.notify_all();
  if (settings_.pacing) platform::Sleep(15);
  return true;
}

void UpdateDownloader::Cancel() {
  if (running_.load()) cancel_ = true;
}

void UpdateDownloader::Wait() {
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

void UpdateDownloader::Worker() {
  {
    std::unique_lock lock(start_mutex_);
    start_cv_.wait(lock, [this] { return start_reported_; });
  }
  {
    Run run(*this);
    run.Execute();
  }  // the handles are closed and the information store destroyed before the last status
  Report(kWorkerEnded);
  running_ = false;
}

void UpdateDownloader::Report(int status) {
  if (sink_) sink_(status);
}

void UpdateDownloader::SetFailureDetail(std::u16string detail) {
  std::lock_guard lock(mutex_);
  failure_detail_ = std::move(detail);
}

std::u16string UpdateDownloader::TotalSizeText() {
  std::lock_guard lock(mutex_);
  return KilobytesText(total_size_);
}

std::u16string UpdateDownloader::TransferredText() {
  std::lock_guard lock(mutex_);
  return KilobytesText(received_);
}

std::u16string UpdateDownloader::TimeLeftText() {
  std::lock_guard lock(mutex_);
  return kolvar::TimeLeftText(time_left_ms_);
}

uint32_t UpdateDownloader::Percent() {
  std::lock_guard lock(mutex_);
  return percent_;
}

uint32_t UpdateDownloader::TotalSize() {
  std::lock_guard lock(mutex_);
  return total_size_;
}

uint32_t UpdateDownloader::Received() {
  std::lock_guard lock(mutex_);
  return received_;
}

std::u16string UpdateDownloader::ServerUpdateId() {
  std::lock_guard lock(mutex_);
  return server_update_id_;
}

std::u16string UpdateDownloader::ServerReleaseDate() {
  std::lock_guard lock(mutex_);
  return server_release_date_;
}

std::u16string UpdateDownloader::CabinetPath() {
  std::lock_guard lock(mutex_);
  if (cabinet_name_.empty()) return {};
  return platform::JoinPath(download_folder_, cabinet_name_);
}

bool UpdateDownloader::Offered() {
  std::lock_guard lock(mutex_);
  return offered_;
}

std::u16string UpdateDownloader::FailureDetail() {
  std::lock_guard lock(mutex_);
  return failure_detail_;
}

}  // namespace kolvar
