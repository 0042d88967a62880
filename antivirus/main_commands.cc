// The main dialog's commands; see main_commands.h.
#include "antivirus/main_commands.h"

#include "antivirus/command_ids.h"
#include "antivirus/string_table.h"
#include "common/configuration.h"
#include "common/message_text.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/process.h"

namespace kolvar {
namespace {

constexpr char16_t kSchedulerProgram[] = u"KVScheduler";

}  // namespace

bool StartSuiteProgram(const std::u16string& program, const MainCommandContext& context) {
  platform::Process process;
  platform::StartOptions options;
  options.detached = true;
  if (platform::Process::Start(program, u"", options, &process)) return true;
  if (context.box) {
    context.box(LoadString(string_ids::kProgramCaption),
                FormatText(LoadString(string_ids::kErrorTryingToExecute), {program}),
                platform::kMbOk | platform::kMbIconError);
  }
  return false;
}

void PlugMainCommands(ScanDialog& main, const MainCommandContext& context) {
  main.Plug(commands::kKolvarScheduler, [context] {
    std::u16string folder;
    if (context.configuration != nullptr) {
      context.configuration->ReloadWhenSavedElsewhere();
      folder = InstallDirValue(context.configuration->store());
    }
    if (folder.empty()) folder = context.paths.install_folder;
    StartSuiteProgram(platform::JoinPath(folder, kSchedulerProgram), context);
  });
}

}  // namespace kolvar
