// The history dialog and the virus list. The history lists the lines of the update history under
// two heading rows and offers "Update Now" (the update dialog over the history; grey when the
// program has none to run, and the history closes when the main program ends after a download)
// and "Virus Database", the virus list: every record of the virus detail
// database in file order with its description below the list, following the selection, and the
// time of the last update in the status line. A damaged detail file shows its whole records and
// says so in the status line.
#ifndef KOLVAR_ANTIVIRUS_HISTORY_DIALOG_H_
#define KOLVAR_ANTIVIRUS_HISTORY_DIALOG_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "antivirus/install_paths.h"
#include "antivirus/virus_list.h"
#include "ui/dialog.h"
#include "ui/list_model.h"

namespace kolvar {

class ConfigurationFile;

namespace history_controls {
inline constexpr uint32_t kList = 1040;
}  // namespace history_controls

namespace virus_list_controls {
inline constexpr uint32_t kList = 1027;
inline constexpr uint32_t kDescription = 1011;
inline constexpr uint32_t kStatus = 1028;
}  // namespace virus_list_controls

// At most this many characters of a description reach the description box.
inline constexpr size_t kDescriptionBoxChars = 520;

class VirusListDialog : public ui::Dialog {
 public:
  // `configuration` (for the last update's time) may be null.
  VirusListDialog(const InstallPaths& paths, ConfigurationFile* configuration);

  void OnInit() override;
  void OnCommand(uint32_t id) override;

  ui::ListModel& list() { return list_; }
  // The description of the selected row, for the description box.
  std::u16string description_text() const;
  const std::u16string& status_text() const { return status_; }
  // The Up key on the description box's first line gives the focus back to the list.
  void FocusList() { SetFocus(virus_list_controls::kList); }

 private:
  const InstallPaths paths_;
  ConfigurationFile* configuration_;
  ui::ListModel list_;
  std::vector<std::u16string> descriptions_;
  std::u16string status_;
};

class HistoryDialog : public ui::Dialog {
 public:
  // Runs the update dialog over `owner`; true when the main program is ending after it (a
  // download completed), and the history closes then. Empty: the item stays grey.
  using UpdateNow = std::function<bool(ui::Dialog& owner)>;

  HistoryDialog(const InstallPaths& paths, ConfigurationFile* configuration,
                UpdateNow update_now = {});

  void OnInit() override;
  void OnCommand(uint32_t id) override;
  void OnMenuOpening(ui::SoftKeySide side) override;

  ui::ListModel& list() { return list_; }

 private:
  const InstallPaths paths_;
  ConfigurationFile* configuration_;
  UpdateNow update_now_;
  ui::ListModel list_;
};

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_HISTORY_DIALOG_H_
