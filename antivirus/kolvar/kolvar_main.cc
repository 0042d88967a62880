// kolvar: the terminal front end of Kolvar AV, in the installation folder beside the other
// programs. It scans through the background scanner as the main program does and works on the
// quarantine repository; `kolvar --help` tells how.
#include <memory>
#include <string>
#include <vector>

#include "antivirus/install_paths.h"
#include "antivirus/kolvar/command_line.h"
#include "antivirus/kolvar/console.h"
#include "antivirus/kolvar/history_commands.h"
#include "antivirus/kolvar/repository_commands.h"
#include "antivirus/kolvar/scan_command.h"
#include "antivirus/kolvar/settings_commands.h"
#include "antivirus/kolvar/tool_commands.h"
#include "antivirus/kolvar/update_command.h"
#include "antivirus/resource_strings.h"
#include "common/configuration.h"
#include "common/status.h"
#include "platform/error.h"
#include "platform/message_box.h"
#include "platform/terminal.h"
#include "platform/text.h"

namespace kolvar {
namespace {

constexpr char kVersionText[] = "kolvar (Kolvar AV for Linux) 3.0\n";
constexpr char16_t kFrontEndProgram[] = u"kolvar";

int Main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  CommandLine command;
  std::string problem;
  const bool stderr_terminal = platform::IsTerminal(platform::StandardStream::kError);
  Console console(stderr_terminal);
  if (!ParseCommandLine(arguments, &command, &problem)) {
    console.Message(problem + "\n(kolvar --help tells how to use it)");
    return kExitError;
  }
  if (command.command == FrontEndCommand::kHelp) {
    console.Out(kUsageText);
    return kExitClean;
  }
  if (command.command == FrontEndCommand::kVersion) {
    console.Out(kVersionText);
    return kExitClean;
  }

  // The suite's message boxes become lines on standard error (and still reach the box log).
  platform::SetMessageBoxPresenter(
      [&console](std::u16string_view caption, std::u16string_view text, uint32_t style) {
        console.Message(Console::BoxText(caption, text));
        return platform::DefaultAnswer(style);
      });

  InstallPaths paths;
  if (!RunningInstallPaths(&paths)) {
    console.Message("kolvar must run from its installation folder below the device root (" +
                    platform::Utf16ToUtf8(SystemErrorText(platform::GetLastError())) + ")");
    return kExitError;
  }
  // Every start of the main program opens the configuration, creating it on the first start.
  std::unique_ptr<ConfigurationFile> configuration;
  if (command.command != FrontEndCommand::kScan) {
    OpenConfiguration(false, &configuration);
    if (!configuration->damage_notice().empty()) {
      platform::MessageBox(kFrontEndProgram, strings::kProgramCaption,
                           configuration->damage_notice(),
                           platform::kMbOk | platform::kMbIconError);
    }
  }
  const UserNotice repository_notice = [](std::u16string_view text, uint32_t style) {
    platform::MessageBox(kFrontEndProgram, strings::kRepositoryTitle, text, style);
  };
  CommandResult result;
  switch (command.command) {
    case FrontEndCommand::kScan: {
      // Interrupts end the scan politely: the scanner is told, and the channel taken down.
      platform::CatchInterrupts();
      const bool on_terminal =
          platform::IsTerminal(platform::StandardStream::kInput) && stderr_terminal;
      Console scan_console(stderr_terminal && !command.quiet && !command.json);
      platform::SetMessageBoxPresenter(
          [&scan_console](std::u16string_view caption, std::u16string_view text, uint32_t style) {
            scan_console.Message(Console::BoxText(caption, text));
            return platform::DefaultAnswer(style);
          });
      const int status = RunScanCommand(command, paths, scan_console, on_terminal);
      platform::SetMessageBoxPresenter({});
      return status;
    }
    case FrontEndCommand::kQuarantineList:
      result = QuarantineList(paths, command.json, repository_notice);
      break;
    case FrontEndCommand::kQuarantineRestore:
      result = QuarantineRestore(paths, command.entry, repository_notice);
      break;
    case FrontEndCommand::kQuarantineDelete:
      result = QuarantineDelete(paths, command.entry, repository_notice);
      break;
    case FrontEndCommand::kQuarantineAdopt:
      result = QuarantineAdopt(paths, repository_notice);
      break;
    case FrontEndCommand::kProcesses:
      result = ProcessListCommand(command.json);
      break;
    case FrontEndCommand::kSystemInformation:
      result = SystemInformationCommand(command.page, command.json);
      break;
    case FrontEndCommand::kConfig:
      result = ConfigCommand(*configuration, paths, command.key, command.value,
                             [](std::u16string_view text, uint32_t style) {
                               platform::MessageBox(kFrontEndProgram, strings::kProgramCaption,
                                                    text, style);
                             });
      break;
    case FrontEndCommand::kUpdate: {
      Console update_console(stderr_terminal);
      platform::SetMessageBoxPresenter(
          [&update_console](std::u16string_view caption, std::u16string_view text, uint32_t style) {
            update_console.Message(Console::BoxText(caption, text));
            return platform::DefaultAnswer(style);
          });
      const int status = RunUpdateCommand(command, paths, update_console);
      platform::SetMessageBoxPresenter({});
      return status;
    }
    case FrontEndCommand::kHistory:
      result = HistoryCommand(paths, [](std::u16string_view text, uint32_t style) {
        platform::MessageBox(kFrontEndProgram, strings::kProgramCaption, text, style);
      });
      break;
    case FrontEndCommand::kViruses:
      result = VirusesCommand(paths, command.json, [](std::u16string_view text, uint32_t style) {
        platform::MessageBox(kFrontEndProgram, strings::kProgramCaption, text, style);
      });
      break;
    case FrontEndCommand::kHelp:
    case FrontEndCommand::kVersion:
      break;
  }
  console.Out(result.output);
  platform::SetMessageBoxPresenter({});
  return result.exit_status;
}

}  // namespace
}  // namespace kolvar

int main(int argc, char** argv) { return kolvar::Main(argc, argv); }
