// The action menu; see action_menu.h.
#include "antivirus/action_menu.h"

#include "antivirus/command_ids.h"
#include "antivirus/string_table.h"

namespace kolvar {
namespace {

std::u16string Item(uint32_t id) { return LoadString(TemplateText(resources::kActionMenuBar, id)); }

}  // namespace

void FillActionMenu(ui::SoftKeyBar* bar) {
  using namespace commands;
  bar->left = ui::SoftKey::MenuKey(LoadString(kOptionsKey));
  bar->left.menu.Add(kDeleteInfectedFile, Item(kDeleteInfectedFile))
      .Add(kMoveToRepository, Item(kMoveToRepository))
      .Add(kIgnoreThreat, Item(kIgnoreThreat))
      .AddSeparator()
      .Add(kDeleteAll, Item(kDeleteAll))
      .Add(kMoveAll, Item(kMoveAll))
      .Add(kIgnoreAll, Item(kIgnoreAll))
      .AddSeparator()
      .Add(kVirusInfo, Item(kVirusInfo))
      .Add(kRecommendation, Item(kRecommendation));
  bar->right = ui::SoftKey::CommandKey(kClose, Item(kClose));
}

}  // namespace kolvar
