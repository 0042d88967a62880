// The online update client's worker: it reaches the update server (three attempts, one per access
// type), reads the update information file once, checks its signature, decides whether the
// offered update is new for this device, downloads the cabinet in 2048-byte blocks with progress,
// checks the cabinet's signature, and records the pending update in section UPDATES. It reports
// every step as a status code through the sink; the dialog and `kolvar update` word them.
//
// Files it leaves in the download folder (the installation folder followed by "_updates_"): the
// verified "kvmupdi.dat", and after a complete, verified download the cabinet with its signature
// beside it (NAME.sig), for the updater to check again. A cabinet whose signature fails, or a
// download that ends short or is cancelled, leaves no cabinet behind.
//
// Threads: Start runs one worker thread; the sink is called on it, every status but the last one
// waiting for the sink to return (the device's sent message); status 10 is always the worker's
// last call. The progress fields are read and written under the object's mutex. The destructor
// cancels a running worker and waits for it, so no status ever reaches a destroyed owner.
#ifndef KOLVAR_ANTIVIRUS_UPDATE_UPDATE_DOWNLOADER_H_
#define KOLVAR_ANTIVIRUS_UPDATE_UPDATE_DOWNLOADER_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kolvar {

class ConfigurationFile;

// The status codes of a run, as the worker reports them.
namespace update_status {
inline constexpr int kSignatureRefused = -5;  // a file of the server fails its signature check
inline constexpr int kNoConnection = -4;
inline constexpr int kDownloadError = -3;
inline constexpr int kWorkerNotCreated = -1;
inline constexpr int kWorkerCreated = 1;
inline constexpr int kConnected = 2;
inline constexpr int kReadingInformation = 3;
inline constexpr int kAskingSize = 4;
inline constexpr int kBlockReceived = 5;
inline constexpr int kAlreadyUpdated = 6;
inline constexpr int kNoUpdate = 7;
inline constexpr int kDownloaded = 8;
inline constexpr int kCancelNoticed = 9;
inline constexpr int kWorkerEnded = 10;
}  // namespace update_status

// The folder that receives the download, below the installation folder, and the fixed name that
// the information file is kept under there.
inline constexpr char16_t kDownloadFolderName[] = u"_updates_";
// The updater program started after a download, in the installation folder.
inline constexpr char16_t kUpdaterProgram[] = u"KVUpdater";
// The agent name of the update client's requests.
inline constexpr char16_t kUpdateAgentName[] = u"@KVMOnlineUpdate@";
// Connect and receive time-outs of every request.
inline constexpr uint32_t kUpdateTimeoutMs = 5000;
// The information file is read with one read of this many bytes at most.
inline constexpr uint32_t kInformationFileLimit = 32768;
inline constexpr uint32_t kDownloadBlockSize = 2048;

// The values that a run starts from, read from the configuration when the downloader is created.
struct UpdateSettings {
  std::u16string install_folder;  // ends in "\"
  std::u16string update_url;      // ends in "/"
  std::u16string update_url_file;
  std::u16string update_version;
  std::u16string last_update_id;  // "(none)" when empty
  std::u16string last_update_time;
  std::u16string last_release_date;
  uint32_t last_update_file_size = 0;
  bool require_signed = true;  // RequireSignedUpdates absent or non-zero
  bool pacing = true;          // ScanPacing, with the scanner's default when absent
  uint32_t platform_kind = 2;  // 1 Smartphone, 2 Pocket PC
  bool new_shell = true;
  // Only asks whether an update is offered: the run ends after the decision, the download folder
  // is left as it is, and the information file is read through a temporary file.
  bool check_only = false;
};

// Reads the settings of a run from the configuration (reloaded when another program saved it).
UpdateSettings ReadUpdateSettings(ConfigurationFile& configuration, uint32_t platform_kind);

// "%s_updates_" of the installation folder.
std::u16string DownloadFolderOf(std::u16string_view install_folder);

class UpdateDownloader {
 public:
  using StatusSink = std::function<void(int status)>;

  // `configuration` receives the pending update; it must outlive the downloader.
  UpdateDownloader(ConfigurationFile* configuration, UpdateSettings settings, StatusSink sink);
  ~UpdateDownloader();
  UpdateDownloader(const UpdateDownloader&) = delete;
  UpdateDownloader& operator=(const UpdateDownloader&) = delete;

  // Makes sure the download folder exists. False with the last error set when it cannot be made.
  bool PrepareDownloadFolder();
  const std::u16string& download_folder() const { return download_folder_; }
  const UpdateSettings& settings() const { return settings_; }

  // Starts a run (a worker still running is cancelled and waited for first). Reports status 1,
  // or -1 when the thread cannot start; false then.
  bool Start();
  // Asks a running worker to stop at its next check.
  void Cancel();
  bool Running() const { return running_.load(); }
  // Waits until the worker has ended (its status 10 is out).
  void Wait();

  // Progress, each read under the mutex.
  std::u16string TotalSizeText();
  std::u16string TransferredText();
  std::u16string TimeLeftText();
  uint32_t Percent();
  uint32_t TotalSize();
  uint32_t Received();

  // What the server offered in the last run, and where the cabinet lies once downloaded.
  std::u16string ServerUpdateId();
  std::u16string ServerReleaseDate();
  std::u16string CabinetPath();
  // Whether the last run found an update offered for this device (in check-only mode, the run's
  // answer).
  bool Offered();
  // Why the last run ended with -3, -4 or -5, in words (the failing file and the cause); empty
  // otherwise.
  std::u16string FailureDetail();

 private:
  class Run;

  void Report(int status);
  void Worker();
  void SetFailureDetail(std::u16string detail);

  ConfigurationFile* configuration_;
  const UpdateSettings settings_;
  const StatusSink sink_;
  const std::u16string download_folder_;

  std::thread worker_;
  std::atomic<bool> running_{false};
  // The device's manual-reset cancel event, polled by the worker.
  std::atomic<bool> cancel_{false};
  // The worker begins once status 1 is out, so that the statuses reach the sink in their order.
  std::mutex start_mutex_;
  std::condition_variable start_cv_;
  bool start_reported_ = false;

  std::mutex mutex_;  // guards everything below
  uint32_t total_size_ = 0;
  uint32_t received_ = 0;
  int64_t time_left_ms_ = 0;
  uint32_t percent_ = 0;
  std::u16string server_update_id_;
  std::u16string server_release_date_;
  std::u16string cabinet_name_;
  std::u16string failure_detail_;
  bool offered_ = false;
};

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_UPDATE_UPDATE_DOWNLOADER_H_
