// The scan report: the infected files of the last pass with the virus of each, and the action
// chosen for each (per file or for all files at once: delete, move into the repository, ignore).
// Opened at the end of a scan that found infections, it asks for an action for every file before
// it closes and then carries the actions out with the report's actions of the front ends
// (CarryOutActions: the files deleted or moved into the quarantine as protected ".avq" copies,
// the index given only what reached it). Opened with "R" it only shows the list.
#ifndef KOLVAR_ANTIVIRUS_REPORT_DIALOG_H_
#define KOLVAR_ANTIVIRUS_REPORT_DIALOG_H_

#include <cstdint>
#include <string>
#include <vector>

#include "antivirus/install_paths.h"
#include "antivirus/scan_report.h"
#include "ui/dialog.h"
#include "ui/list_model.h"

namespace kolvar {

namespace report_controls {
inline constexpr uint32_t kFilesTested = 1022;
inline constexpr uint32_t kInfected = 1023;
inline constexpr uint32_t kBytesTested = 1024;
inline constexpr uint32_t kDuration = 1026;
inline constexpr uint32_t kList = 1018;
}  // namespace report_controls

// Icons of the action column, by image index: 0 none (icon 259), 1 ignore (260), 2 delete (262),
// 3 move (261).
int ActionImage(uint8_t action);

struct ReportCounters {
  uint32_t files_tested = 0;
  uint32_t infected_files = 0;
  uint32_t kilobytes_tested = 0;
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
};

class ReportDialog : public ui::Dialog {
 public:
  // `entries` are changed in place (actions and outcomes); `counters` null when no scan ran.
  ReportDialog(std::vector<ReportEntry>& entries, bool view_only, const ReportCounters* counters,
               const InstallPaths& paths);

  void OnInit() override;
  void OnCommand(uint32_t id) override;
  void OnMenuOpening(ui::SoftKeySide side) override;

  ui::ListModel& list() { return list_; }
  bool view_only() const { return view_only_; }
  // The values of the four counters as shown ("%d" and the duration "%02d:%02d:%02d").
  const std::u16string& value_text(uint32_t control) const;
  // Whether the actions have been carried out.
  bool acted() const { return acted_; }

  // The action of the selected row, or (all) of every row.
  void SetAction(uint8_t action, bool all);

 private:
  void Fill(int select);
  void ShowRow(int row);
  void CloseAsked();
  void ShowVirusText(bool recommendation);

  std::vector<ReportEntry>& entries_;
  const bool view_only_;
  const InstallPaths paths_;
  ui::ListModel list_;
  std::u16string files_tested_ = u"0";
  std::u16string infected_ = u"0";
  std::u16string kilobytes_ = u"0Kb";
  std::u16string duration_ = u"00:00";
  bool acted_ = false;
};

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_REPORT_DIALOG_H_
