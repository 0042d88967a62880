// The main dialog's commands; see main_commands.h.
#include "antivirus/main_commands.h"

#include "antivirus/about_dialog.h"
#include "antivirus/antivirus_program.h"
#include "antivirus/command_ids.h"
#include "antivirus/config_dialog.h"
#include "antivirus/history_dialog.h"
#include "antivirus/repository_dialog.h"
#include "antivirus/string_table.h"
#include "antivirus/tools/process_manager_dialog.h"
#include "antivirus/tools/registry_viewer_dialog.h"
#include "antivirus/tools/system_information.h"
#include "antivirus/update/update_dialog.h"
#include "common/configuration.h"
#include "common/message_text.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/process.h"

namespace kolvar {
namespace {

constexpr char16_t kSchedulerProgram[] = u"KVScheduler";

// What a device tool takes from the program's string table.
tools::ToolFrameTexts ToolTexts(uint32_t title) {
  return {LoadString(title), LoadString(string_ids::kProgramCaption), LoadString(kOptionsKey)};
}

// Runs a tool's dialog over the main dialog.
template <typename ToolDialog>
void RunTool(ScanDialog& main, uint32_t title) {
  ToolDialog dialog(ToolTexts(title));
  if (main.host() != nullptr) main.host()->RunModal(dialog);
}

}  // namespace

bool StartSuiteProgram(const std::u16string& program, const MainCommandContext& context,
                       std::u16string_view command_line) {
  platform::Process process;
  platform::StartOptions options;
  options.detached = true;
  if (platform::Process::Start(program, command_line, options, &process)) return true;
  if (context.box) {
    context.box(LoadString(string_ids::kProgramCaption),
                FormatText(LoadString(string_ids::kErrorTryingToExecute), {program}),
                platform::kMbOk | platform::kMbIconError);
  }
  return false;
}

bool RunUpdateDialog(ScanDialog& main, ui::Dialog& owner, const MainCommandContext& context,
                     bool automatic) {
  if (context.configuration == nullptr || owner.host() == nullptr) return false;
  UpdateDialogServices services;
  services.configuration = context.configuration;
  services.title = LoadString(string_ids::kUpdateTitle);
  services.caption = LoadString(string_ids::kProgramCaption);
  services.install_folder = context.paths.install_folder;
  services.history_path = context.paths.history;
  services.platform_kind = PlatformKind();
  services.automatic = automatic;
  services.start_updater = [context](const std::u16string& program,
                                     const std::u16string& command_line) {
    return StartSuiteProgram(program, context, command_line);
  };
  // The main program ends after a complete download, whether the updater started or not.
  bool ending = false;
  services.end_program = [&main, &ending] {
    ending = true;
    main.OnCommand(commands::kExitAntivirus);
  };
  UpdateDialog dialog(std::move(services));
  owner.host()->RunModal(dialog);
  return ending;
}

void PlugMainCommands(ScanDialog& main, const MainCommandContext& context) {
  main.Plug(commands::kOnlineUpdate,
            [&main, context] { RunUpdateDialog(main, context, /*automatic=*/false); });
  if (context.settings != nullptr) {
    main.Plug(commands::kConfiguration,
              [&main, settings = context.settings] { main.RunDialog(*settings); });
  }
  main.Plug(commands::kUpdateHistory, [&main, context] {
    // Without a configuration there is no update server to ask: "Update Now" stays grey then.
    HistoryDialog::UpdateNow update_now;
    if (context.configuration != nullptr) {
      update_now = [&main, context](ui::Dialog& history) {
        return RunUpdateDialog(main, history, context, /*automatic=*/false);
      };
    }
    HistoryDialog history(context.paths, context.configuration, std::move(update_now));
    main.RunDialog(history);
  });
  // "About" and the "?" button of the scan dialog.
  main.Plug(commands::kAbout, [&main, configuration = context.configuration] {
    AboutDialog about(GatherAboutFacts(configuration));
    main.RunDialog(about);
  });
  main.Plug(commands::kRepositoryFiles, [&main, paths = context.paths] {
    RepositoryDialog repository(paths);
    main.RunDialog(repository);
  });
  main.Plug(commands::kKolvarScheduler, [context] {
    std::u16string folder;
    if (context.configuration != nullptr) {
      context.configuration->ReloadWhenSavedElsewhere();
      folder = InstallDirValue(context.configuration->store());
    }
    if (folder.empty()) folder = context.paths.install_folder;
    StartSuiteProgram(platform::JoinPath(folder, kSchedulerProgram), context);
  });
  main.Plug(commands::kProcessesManager, [&main] {
    RunTool<tools::ProcessManagerDialog>(main, string_ids::kProcessManagerTitle);
  });
  main.Plug(commands::kSystemInformation, [&main] {
    RunTool<tools::SystemInformationDialog>(main, string_ids::kSystemInformationTitle);
  });
  main.Plug(commands::kRegistryViewer, [&main] {
    RunTool<tools::RegistryViewerDialog>(main, string_ids::kRegistryViewerTitle);
  });
}

}  // namespace kolvar
