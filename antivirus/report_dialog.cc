// The scan report; see report_dialog.h.
#include "antivirus/report_dialog.h"

#include <cstdio>

#include "antivirus/action_menu.h"
#include "antivirus/command_ids.h"
#include "antivirus/string_table.h"
#include "common/message_text.h"
#include "platform/message_box.h"
#include "platform/text.h"

namespace kolvar {
namespace {

// The list's columns: path, virus name, action, and two hidden ones (sequence number, virus id).
constexpr size_t kColumnVirus = 1;
constexpr size_t kColumnActionText = 2;

std::u16string Number(uint32_t value) { return DecimalText(value); }

std::u16string Clock(int hours, int minutes, int seconds) {
  char text[32];
  snprintf(text, sizeof text, "%02d:%02d:%02d", hours, minutes, seconds);
  return platform::Utf8ToUtf16Lossy(text);
}

std::u16string ActionText(uint8_t action) {
  switch (action) {
    case kActionDelete:
      return LoadString(string_ids::kActionDeleteFile);
    case kActionMove:
    case kActionMoveAll:
      return LoadString(string_ids::kActionMoveToRepository);
    case kActionIgnoreAll:
      return LoadString(string_ids::kActionIgnoreFile);
    default:
      return u"";
  }
}

}  // namespace

int ActionImage(uint8_t action) {
  switch (action) {
    case kActionDelete:
      return 2;
    case kActionMove:
      return 3;
    case kActionIgnoreAll:
      return 1;
    default:
      return 0;  // none, and a move chosen elsewhere
  }
}

ReportDialog::ReportDialog(std::vector<ReportEntry>& entries, bool view_only,
                           const ReportCounters* counters, const InstallPaths& paths)
    : Dialog(LoadString(string_ids::kReportTitle)),
      entries_(entries),
      view_only_(view_only),
      paths_(paths) {
  FillActionMenu(&soft_keys());
  list_.SetColumns({{LoadString(string_ids::kColumnInfectedFile), 180},
                    {LoadString(string_ids::kColumnVirusName), 200},
                    {LoadString(string_ids::kColumnAction), 150},
                    {u"", 0},
                    {u"", 0}});
  if (counters != nullptr) {
    files_tested_ = Number(counters->files_tested);
    infected_ = Number(counters->infected_files);
    kilobytes_ = Number(counters->kilobytes_tested);
    duration_ = Clock(counters->hours, counters->minutes, counters->seconds);
  }
}

const std::u16string& ReportDialog::value_text(uint32_t control) const {
  switch (control) {
    case report_controls::kFilesTested:
      return files_tested_;
    case report_controls::kInfected:
      return infected_;
    case report_controls::kBytesTested:
      return kilobytes_;
    default:
      return duration_;
  }
}

void ReportDialog::OnInit() {
  Fill(0);
  SetFocus(report_controls::kList);
}

void ReportDialog::ShowRow(int row) {
  const ReportEntry& entry = entries_[static_cast<size_t>(row)];
  list_.SetCell(row, kColumnActionText, ActionText(entry.action));
  list_.SetIcon(row, ActionImage(entry.action));
}

void ReportDialog::Fill(int select) {
  list_.Clear();
  for (size_t index = 0; index < entries_.size(); ++index) {
    const ReportEntry& entry = entries_[index];
    list_.AddRow({{entry.MarkedPath(), entry.virus_name, ActionText(entry.action),
                   Number(static_cast<uint32_t>(index)), Number(entry.virus_id)},
                  ActionImage(entry.action)});
  }
  if (!list_.empty()) list_.Select(select);
  Changed();
}

void ReportDialog::SetAction(uint8_t action, bool all) {
  if (all) {
    for (ReportEntry& entry : entries_) entry.action = action;
    Fill(list_.HasSelection() ? list_.selected() : 0);
    return;
  }
  if (!list_.HasSelection()) return;
  const int row = list_.selected();
  entries_[static_cast<size_t>(row)].action = action;
  ShowRow(row);
  Changed();
}

void ReportDialog::OnMenuOpening(ui::SoftKeySide side) {
  using namespace commands;
  if (side != ui::SoftKeySide::kLeft) return;
  const bool no_row = !list_.HasSelection();
  for (uint32_t id :
       {kDeleteInfectedFile, kMoveToRepository, kIgnoreThreat, kVirusInfo, kRecommendation}) {
    soft_keys().SetGreyed(id, no_row);
  }
  for (uint32_t id : {kDeleteAll, kMoveAll, kIgnoreAll}) soft_keys().SetGreyed(id, list_.empty());
}

void ReportDialog::ShowVirusText(bool recommendation) {
  if (!list_.HasSelection()) return;
  const ReportEntry& entry = entries_[static_cast<size_t>(list_.selected())];
  MessageBox(entry.virus_name, recommendation ? entry.recommendation : entry.description,
             platform::kMbOk | platform::kMbIconInformation);
}

void ReportDialog::CloseAsked() {
  if (entries_.empty() || view_only_) {
    End(ui::kResultOk);
    return;
  }
  for (const ReportEntry& entry : entries_) {
    if (entry.action == kActionNone) {
      MessageBox(LoadString(string_ids::kErrorCaption), LoadString(string_ids::kSelectActionForAll),
                 platform::kMbOk | platform::kMbIconError);
      return;
    }
  }
  // The soft keys stay off while the actions run.
  soft_keys().left.enabled = false;
  soft_keys().right.enabled = false;
  Changed();
  const std::u16string caption = LoadString(string_ids::kProgramCaption);
  CarryOutActions(entries_, paths_, [this, &caption](std::u16string_view text, uint32_t style) {
    MessageBox(caption, text, style);
  });
  acted_ = true;
  soft_keys().left.enabled = true;
  soft_keys().right.enabled = true;
  End(ui::kResultOk);
}

void ReportDialog::OnCommand(uint32_t id) {
  using namespace commands;
  switch (id) {
    case kDeleteInfectedFile:
      SetAction(kActionDelete, false);
      return;
    case kMoveToRepository:
      SetAction(kActionMove, false);
      return;
    case kIgnoreThreat:
      SetAction(kActionIgnoreAll, false);
      return;
    case kDeleteAll:
      SetAction(kActionDelete, true);
      return;
    case kMoveAll:
      SetAction(kActionMove, true);
      return;
    case kIgnoreAll:
      SetAction(kActionIgnoreAll, true);
      return;
    case kVirusInfo:
      ShowVirusText(false);
      return;
    case kRecommendation:
      ShowVirusText(true);
      return;
    case kClose:
      CloseAsked();
      return;
    default:
      Dialog::OnCommand(id);
  }
}

}  // namespace kolvar
