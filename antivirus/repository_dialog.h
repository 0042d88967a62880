// The repository dialog: every file held in the quarantine, one row per entry of the repository
// index in file order (file name, virus, since, location, virus id), and the two actions on the
// selected row, "Delete File" (its protected copy goes for good) and "Restore File" (the file goes
// back to the folder it came from). The actions run through the scan engine's Repository, the
// same calls that "kolvar quarantine" makes, which take the entry out of the index as it stands
// at that moment under the index's lock; so records that a scan appended while the dialog was
// open are kept. After each action the list is read again from the index, so it shows those
// records too, and a row whose action failed (told in a box) stays, since its file stays in the
// quarantine.
#ifndef KOLVAR_ANTIVIRUS_REPOSITORY_DIALOG_H_
#define KOLVAR_ANTIVIRUS_REPOSITORY_DIALOG_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "antivirus/install_paths.h"
#include "antivirus/repository_entries.h"
#include "ui/dialog.h"
#include "ui/list_model.h"

namespace kolvar {

namespace repository_controls {
inline constexpr uint32_t kList = 1004;
}  // namespace repository_controls

// The list's columns, in order.
namespace repository_columns {
inline constexpr size_t kFileName = 0;
inline constexpr size_t kVirus = 1;
inline constexpr size_t kSince = 2;
inline constexpr size_t kLocation = 3;
inline constexpr size_t kVirusId = 4;
}  // namespace repository_columns

class RepositoryDialog : public ui::Dialog {
 public:
  explicit RepositoryDialog(const InstallPaths& paths);

  void OnInit() override;
  void OnCommand(uint32_t id) override;
  void OnMenuOpening(ui::SoftKeySide side) override;

  ui::ListModel& list() { return list_; }
  const std::vector<RepositoryEntry>& entries() const { return entries_; }

  // The actions on the selected row; nothing happens when no row is selected.
  void DeleteSelected();
  void RestoreSelected();

 private:
  // Reads the index again and selects row `select` (the last one when fewer are left).
  void Load(int select);
  void Tell(std::u16string_view text, uint32_t style);

  const InstallPaths paths_;
  ui::ListModel list_;
  std::vector<RepositoryEntry> entries_;
};

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_REPOSITORY_DIALOG_H_
