// The configuration dialog; see config_dialog.h.
#include "antivirus/config_dialog.h"

#include "antivirus/command_ids.h"
#include "antivirus/string_table.h"
#include "common/configuration.h"
#include "platform/message_box.h"

namespace kolvar {
namespace {

std::u16string MenuText(uint32_t id) {
  return LoadString(TemplateText(resources::kConfigMenuBar, id));
}

}  // namespace

ConfigDialog::ConfigDialog(ConfigurationFile* configuration, const InstallPaths& paths)
    : Dialog(LoadString(string_ids::kConfigurationTitle)),
      configuration_(configuration),
      paths_(paths) {
  using namespace commands;
  soft_keys().left = ui::SoftKey::CommandKey(kConfirm, MenuText(kConfirm));
  soft_keys().right = ui::SoftKey::CommandKey(kCancelConfig, MenuText(kCancelConfig));
}

void ConfigDialog::Load() {
  settings_ = UserSettings();
  if (configuration_ != nullptr) {
    configuration_->ReloadWhenSavedElsewhere();
    settings_ = LoadUserSettings(configuration_->store());
  }
  background_as_loaded_ = settings_.background_scanning;
}

bool& ConfigDialog::Box(uint32_t box) {
  using namespace config_controls;
  switch (box) {
    case kSplashScreen:
      return boxes_.splash_screen;
    case kAutoStartup:
      return boxes_.auto_startup;
    case kBackgroundScanning:
      return boxes_.background_scanning;
    default:
      return boxes_.folder_selection;
  }
}

bool ConfigDialog::IsTicked(uint32_t box) const {
  return const_cast<ConfigDialog*>(this)->Box(box);
}

bool ConfigDialog::IsBoxEnabled(uint32_t box) const {
  return box != config_controls::kFolderSelection || folder_box_enabled_;
}

void ConfigDialog::ApplyDependencyRule() {
  if (boxes_.background_scanning) {
    boxes_.folder_selection = false;
    folder_box_enabled_ = false;
  } else {
    folder_box_enabled_ = true;
  }
}

void ConfigDialog::OnInit() {
  boxes_ = settings_;
  ApplyDependencyRule();
  SetFocus(config_controls::kSplashScreen);
  Changed();
}

void ConfigDialog::Confirm() {
  settings_ = boxes_;
  if (configuration_ != nullptr) ApplyUserSettings(*configuration_, settings_, paths_);
  if (settings_.background_scanning != background_as_loaded_) {
    MessageBox(title(), LoadString(string_ids::kTakesEffectNextScan), platform::kMbOk);
  }
  End(ui::kResultOk);
}

void ConfigDialog::OnCommand(uint32_t id) {
  using namespace config_controls;
  switch (id) {
    case kSplashScreen:
    case kAutoStartup:
    case kBackgroundScanning:
    case kFolderSelection:
      if (!IsBoxEnabled(id)) return;
      Box(id) = !Box(id);
      if (id == kBackgroundScanning) ApplyDependencyRule();
      Changed();
      return;
    case commands::kConfirm:
      Confirm();
      return;
    case commands::kCancelConfig:
      End(ui::kResultOk);
      return;
    default:
      Dialog::OnCommand(id);
  }
}

}  // namespace kolvar
