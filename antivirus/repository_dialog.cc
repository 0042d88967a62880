// The repository dialog; see repository_dialog.h.
#include "antivirus/repository_dialog.h"

#include <algorithm>

#include "antivirus/command_ids.h"
#include "antivirus/engine_notices.h"
#include "antivirus/string_table.h"
#include "common/message_text.h"
#include "platform/message_box.h"
#include "scan_engine/repository.h"
#include "scan_engine/scan_records.h"

namespace kolvar {
namespace {

std::u16string MenuText(uint32_t id) {
  return LoadString(TemplateText(resources::kRepositoryMenuBar, id));
}

}  // namespace

RepositoryDialog::RepositoryDialog(const InstallPaths& paths)
    : Dialog(LoadString(string_ids::kRepositoryTitle)), paths_(paths) {
  using namespace commands;
  soft_keys().left = ui::SoftKey::MenuKey(LoadString(kOptionsKey));
  soft_keys()
      .left.menu.Add(kDeleteFile, MenuText(kDeleteFile))
      .Add(kRestoreFile, MenuText(kRestoreFile));
  soft_keys().right = ui::SoftKey::CommandKey(kRepositoryDone, MenuText(kRepositoryDone));
  // The device's widths; the virus id's column is as wide as its numbers need.
  list_.SetColumns({{LoadString(string_ids::kColumnFileName), 180},
                    {LoadString(string_ids::kColumnVirus), 180},
                    {LoadString(string_ids::kColumnSince), 100},
                    {LoadString(string_ids::kColumnLocation), 1000},
                    {LoadString(string_ids::kColumnVirusId), 60}});
}

void RepositoryDialog::OnInit() {
  Load(0);
  SetFocus(repository_controls::kList);
}

void RepositoryDialog::Tell(std::u16string_view text, uint32_t style) {
  MessageBox(title(), text, style);
}

void RepositoryDialog::Load(int select) {
  list_.Clear();
  if (!ReadRepositoryEntries(paths_, &entries_)) {
    Tell(UnreadableIndexText(paths_), platform::kMbOk | platform::kMbIconError);
  }
  for (const RepositoryEntry& entry : entries_) {
    list_.AddRow(
        {{std::u16string(WideField(entry.record.file_name)), entry.virus_name,
          std::u16string(WideField(entry.record.date)),
          std::u16string(WideField(entry.record.folder)), DecimalText(entry.record.virus_id)},
         0});
  }
  if (!list_.empty()) list_.Select(std::min(select, list_.size() - 1));
  Changed();
}

void RepositoryDialog::DeleteSelected() {
  if (!list_.HasSelection()) return;
  const int row = list_.selected();
  Repository repository(paths_.quarantine_folder, paths_.repository_index);
  repository.Delete(entries_[static_cast<size_t>(row)].record,
                    MainProgramRepositoryNotice(
                        [this](std::u16string_view text, uint32_t style) { Tell(text, style); }));
  Load(row);
}

void RepositoryDialog::RestoreSelected() {
  if (!list_.HasSelection()) return;
  const int row = list_.selected();
  SetWaitCursor(true);
  Repository repository(paths_.quarantine_folder, paths_.repository_index);
  repository.Restore(entries_[static_cast<size_t>(row)].record,
                     MainProgramRepositoryNotice(
                         [this](std::u16string_view text, uint32_t style) { Tell(text, style); }));
  SetWaitCursor(false);
  Load(row);
}

void RepositoryDialog::OnMenuOpening(ui::SoftKeySide side) {
  if (side != ui::SoftKeySide::kLeft) return;
  const bool no_row = !list_.HasSelection();
  soft_keys().SetGreyed(commands::kDeleteFile, no_row);
  soft_keys().SetGreyed(commands::kRestoreFile, no_row);
}

void RepositoryDialog::OnCommand(uint32_t id) {
  using namespace commands;
  switch (id) {
    case kDeleteFile:
      DeleteSelected();
      return;
    case kRestoreFile:
      RestoreSelected();
      return;
    case kRepositoryDone:
      End(ui::kResultOk);
      return;
    default:
      Dialog::OnCommand(id);
  }
}

}  // namespace kolvar
