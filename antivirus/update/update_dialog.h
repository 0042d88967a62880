// The update dialog without its window toolkit: the last installed update, the run's total size,
// bytes transferred and time left, a status line, and the soft keys "Update!" and "Cancel" over
// one UpdateDownloader. The worker's statuses come to the user-interface thread in their order;
// its boxes are asked for from the worker, which waits for the answer as for a sent message.
// After a complete download the updater is started and the main program asked to end.
//
// Closing the dialog while the worker runs stops the worker first (cancel, then wait for it), so
// no status ever reaches a closed dialog.
#ifndef KOLVAR_ANTIVIRUS_UPDATE_UPDATE_DIALOG_H_
#define KOLVAR_ANTIVIRUS_UPDATE_UPDATE_DIALOG_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "antivirus/update/update_downloader.h"
#include "antivirus/update/updater_start.h"
#include "ui/dialog.h"

namespace kolvar {

class ConfigurationFile;

struct UpdateDialogServices {
  ConfigurationFile* configuration = nullptr;  // must outlive the dialog
  std::u16string title;                        // "Update"
  std::u16string caption;                      // the boxes' caption, "Kolvar AV"
  std::u16string install_folder;  // used when the configuration names none; ends in "\"
  std::u16string history_path;    // KVHistory.upd
  uint32_t platform_kind = 2;
  // Set by "DOUPDATE": the dialog behaves as if "Update!" had been chosen once it opens.
  bool automatic = false;
  ProgramStarter start_updater;
  // Closes the main window and ends the main program, after the updater started (or not).
  std::function<void()> end_program;
};

class UpdateDialog : public ui::Dialog {
 public:
  explicit UpdateDialog(UpdateDialogServices services);
  ~UpdateDialog() override;

  void OnInit() override;
  void OnCommand(uint32_t id) override;
  void OnBack() override;
  void OnClose() override;

  // What the view shows.
  const std::u16string& last_id() const { return last_id_; }
  const std::u16string& last_date() const { return last_date_; }
  const std::u16string& last_time() const { return last_time_; }
  const std::u16string& last_size() const { return last_size_; }
  const std::u16string& total_size() const { return total_size_; }
  const std::u16string& transferred() const { return transferred_; }
  const std::u16string& time_left() const { return time_left_; }
  const std::u16string& status_line() const { return status_line_; }
  bool update_enabled() const { return soft_keys().left.enabled; }
  bool running() const { return downloader_ != nullptr && downloader_->Running(); }
  // Whether the last run ended with the updater started.
  bool updater_started() const { return updater_started_; }

 private:
  void StartRun();
  void StopWorker();
  // On the worker's thread: boxes at once, the rest handed to the user-interface thread.
  void OnStatus(int status);
  void ApplyStatus(int status, std::u16string total, std::u16string transferred,
                   std::u16string time_left, uint32_t percent);
  void OnWorkerEnded();
  void Box(std::u16string_view text, uint32_t style);

  UpdateDialogServices services_;
  std::unique_ptr<UpdateDownloader> downloader_;
  std::u16string last_id_, last_date_, last_time_, last_size_;
  std::u16string total_size_, transferred_, time_left_, status_line_;
  bool downloaded_ = false;
  bool cancelled_ = false;
  bool updater_started_ = false;
};

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_UPDATE_UPDATE_DIALOG_H_
