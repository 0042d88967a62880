// The action menu of the report and of the virus-detected dialog (menu bar 112): "Options" with
// the per-file actions, the all-files actions and the virus texts, and "Close".
#ifndef KOLVAR_ANTIVIRUS_ACTION_MENU_H_
#define KOLVAR_ANTIVIRUS_ACTION_MENU_H_

#include "ui/soft_keys.h"

namespace kolvar {

void FillActionMenu(ui::SoftKeyBar* bar);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_ACTION_MENU_H_
