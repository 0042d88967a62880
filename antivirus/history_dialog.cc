// The history dialog and the virus list; see history_dialog.h.
#include "antivirus/history_dialog.h"

#include "antivirus/command_ids.h"
#include "antivirus/history_file.h"
#include "antivirus/string_table.h"
#include "common/config_keys.h"
#include "common/configuration.h"

namespace kolvar {
namespace {

std::u16string HistoryMenuText(uint32_t id) {
  return LoadString(TemplateText(resources::kHistoryMenuBar, id));
}

}  // namespace

VirusListDialog::VirusListDialog(const InstallPaths& paths, ConfigurationFile* configuration)
    : Dialog(LoadString(string_ids::kVirusDatabaseTitle)),
      paths_(paths),
      configuration_(configuration) {
  soft_keys().right = ui::SoftKey::CommandKey(
      commands::kDone, LoadString(TemplateText(resources::kDoneMenuBar, commands::kDone)));
  list_.SetColumns({{LoadString(string_ids::kColumnVirusList), 240},
                    {LoadString(string_ids::kColumnDetail), 400}});
}

void VirusListDialog::OnInit() {
  list_.Clear();
  descriptions_.clear();
  const VirusList viruses = ReadVirusList(paths_.virus_details);
  for (const VirusDetailRecord& record : viruses.records) {
    list_.AddRow({{record.Name(), record.Description()}, -1});
    descriptions_.push_back(record.Description());
  }
  if (!list_.empty()) list_.Select(0);
  std::u16string last_update;
  if (configuration_ != nullptr) {
    configuration_->ReloadWhenSavedElsewhere();
    ReadTextValue(configuration_->store(), config_keys::kUpdates, config_keys::kLastUpdateTime,
                  &last_update);
  }
  status_ = LoadString(string_ids::kLastUpdate) +
            (last_update.empty() ? LoadString(string_ids::kNoLastUpdate) : last_update);
  const std::u16string problem = VirusListProblem(viruses, paths_.virus_details);
  if (!problem.empty()) status_ += u"\n" + problem;
  SetFocus(virus_list_controls::kList);
  Changed();
}

std::u16string VirusListDialog::description_text() const {
  if (!list_.HasSelection()) return {};
  return descriptions_[static_cast<size_t>(list_.selected())].substr(0, kDescriptionBoxChars);
}

void VirusListDialog::OnCommand(uint32_t id) {
  if (id == ui::kCommandOk) {
    // The action key moves between the list and the description.
    SetFocus(focus() == virus_list_controls::kDescription ? virus_list_controls::kList
                                                          : virus_list_controls::kDescription);
    return;
  }
  if (id == commands::kDone) {
    End(ui::kResultOk);
    return;
  }
  Dialog::OnCommand(id);
}

HistoryDialog::HistoryDialog(const InstallPaths& paths, ConfigurationFile* configuration,
                             UpdateNow update_now)
    : Dialog(LoadString(string_ids::kHistoryTitle)),
      paths_(paths),
      configuration_(configuration),
      update_now_(std::move(update_now)) {
  using namespace commands;
  soft_keys().left = ui::SoftKey::MenuKey(LoadString(kOptionsKey));
  soft_keys()
      .left.menu.Add(kUpdateNow, HistoryMenuText(kUpdateNow))
      .Add(kVirusDatabase, HistoryMenuText(kVirusDatabase));
  soft_keys().right = ui::SoftKey::CommandKey(kHistoryDone, HistoryMenuText(kHistoryDone));
  soft_keys().SetGreyed(kUpdateNow, !update_now_);
  list_.SetColumns({{LoadString(string_ids::kColumnHistory), 350}});
}

void HistoryDialog::OnInit() {
  list_.Clear();
  list_.AddRow({{LoadString(string_ids::kHistoryHeading)}, -1});
  list_.AddRow({{LoadString(string_ids::kHistoryRule)}, -1});
  std::vector<std::u16string> lines;
  ReadHistoryLines(paths_.history, &lines);
  for (std::u16string& line : lines) list_.AddRow({{std::move(line)}, -1});
  list_.Select(0);
  SetFocus(history_controls::kList);
  Changed();
}

void HistoryDialog::OnMenuOpening(ui::SoftKeySide side) {
  if (side == ui::SoftKeySide::kLeft) soft_keys().SetGreyed(commands::kUpdateNow, !update_now_);
}

void HistoryDialog::OnCommand(uint32_t id) {
  using namespace commands;
  switch (id) {
    case kUpdateNow:
      if (update_now_ && update_now_(*this)) End(ui::kResultOk);
      return;
    case kVirusDatabase: {
      VirusListDialog viruses(paths_, configuration_);
      RunModal(viruses);
      return;
    }
    case kHistoryDone:
      End(ui::kResultOk);
      return;
    default:
      Dialog::OnCommand(id);
  }
}

}  // namespace kolvar
