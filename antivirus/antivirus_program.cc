// The windowed main program's start-up and shutdown; see antivirus_program.h.
#include "antivirus/antivirus_program.h"

#include "antivirus/application_shell.h"
#include "antivirus/command_ids.h"
#include "antivirus/config_dialog.h"
#include "antivirus/main_commands.h"
#include "antivirus/string_table.h"
#include "antivirus/virus_detected_dialog.h"
#include "common/config_keys.h"
#include "common/configuration.h"
#include "common/message_text.h"
#include "common/status.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/platform_kind.h"
#include "platform/process.h"
#include "ui/running_copy.h"

namespace kolvar {
namespace {

bool ConfigFlag(ApplicationShell& shell, const char* key) {
  ConfigurationFile* configuration = shell.configuration();
  if (configuration == nullptr) return false;
  configuration->ReloadWhenSavedElsewhere();
  uint32_t value = 0;
  return ReadIntegerValue(configuration->store(), config_keys::kConfig, key, &value) && value != 0;
}

}  // namespace

uint32_t PlatformKind() {
  std::u16string type = platform::PlatformTypeText();
  for (char16_t& c : type) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return type.find(u"POCKET") != std::u16string::npos ? 2 : 1;
}

int RunAntivirusProgram(std::u16string_view command_line, AntivirusWindows& windows) {
  const std::u16string caption = LoadString(string_ids::kProgramCaption);
  InstallPaths paths;
  if (!RunningInstallPaths(&paths)) {
    windows.Box(caption, LoadString(string_ids::kVirusDatabaseNotFound),
                platform::kMbOk | platform::kMbIconError);
    return 0;
  }
  ApplicationShell shell(
      paths, [&](std::u16string_view text, uint32_t style) { windows.Box(caption, text, style); });
  if (!shell.ClaimSingleInstance()) {
    // A second copy: the running one comes to the front; this one's command word is dropped.
    if (shell.another_instance_runs()) {
      ui::ActivateRunningCopy(kMainWindowClass);
    } else {
      windows.Box(caption, WithCause(LoadString(string_ids::kIpcFailed), NamespaceFolderCause()),
                  platform::kMbOk | platform::kMbIconError);
    }
    return 0;
  }
  shell.OpenConfiguration();
  if (!shell.CheckDataFiles()) return 0;
  if (!shell.StartIpc()) return 0;

  if (command_line == kCommandVirusDetected) {
    HandOffStartedDetection(
        *shell.channel(), paths.virus_details,
        [&](ui::Dialog& dialog) { windows.RunAlone(dialog); },
        [&](std::u16string_view box_caption, std::u16string_view text, uint32_t style) {
          windows.Box(box_caption, text, style);
        });
    return 0;
  }

  ScanDialogServices services;
  services.paths = paths;
  services.platform_kind = PlatformKind();
  services.background_scanning = [&shell] { return shell.BackgroundScanningEnabled(); };
  services.folder_selection = [&shell] {
    return ConfigFlag(shell, config_keys::kEnableFolderSelection);
  };
  services.make_driver =
      ScanClientDrivers(shell.channel(), [&shell] { return shell.BackgroundScanningEnabled(); });
  ScanDialog main(std::move(services));
  // The settings object: loaded once here, then kept and changed by its dialog for the whole run.
  ConfigDialog settings(shell.configuration(), paths);
  settings.Load();
  MainCommandContext commands_context;
  commands_context.paths = paths;
  commands_context.configuration = shell.configuration();
  commands_context.settings = &settings;
  commands_context.box = [&](std::u16string_view box_caption, std::u16string_view text,
                             uint32_t style) { windows.Box(box_caption, text, style); };
  PlugMainCommands(main, commands_context);

  const bool splash = command_line.empty() && settings.splash_screen();
  windows.RunMain(main, [&] {
    if (splash) main.ShowSplash();
    if (command_line == kCommandUpdated) {
      main.OnCommand(commands::kUpdateHistory);
    } else if (command_line == kCommandDoUpdate) {
      RunUpdateDialog(main, commands_context, /*automatic=*/true);
    }
    if (command_line == kCommandDoScan || shell.BackgroundScanningEnabled()) main.Start(true);
  });
  return 0;
}

}  // namespace kolvar
