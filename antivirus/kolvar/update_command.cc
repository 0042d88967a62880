// `kolvar update`; see update_command.h.
#include "antivirus/kolvar/update_command.h"

#include <atomic>
#include <mutex>
#include <string>

#include "antivirus/antivirus_program.h"
#include "antivirus/application_shell.h"
#include "antivirus/kolvar/repository_commands.h"
#include "antivirus/resource_strings.h"
#include "antivirus/string_table.h"
#include "antivirus/update/update_downloader.h"
#include "antivirus/update/update_rules.h"
#include "antivirus/update/update_texts.h"
#include "antivirus/update/updater_start.h"
#include "common/config_keys.h"
#include "common/configuration.h"
#include "common/message_text.h"
#include "common/status.h"
#include "platform/error.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/terminal.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace kolvar {
namespace {

namespace keys = config_keys;
using namespace update_status;

constexpr char16_t kFrontEndProgram[] = u"kolvar";
constexpr uint32_t kInterruptPollMs = 100;

std::string Narrow(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

// The text of a status that the dialog shows in its status line, or nothing.
const char16_t* StatusLineText(int status) {
  switch (status) {
    case kWorkerCreated:
      return update_texts::kTryingConnection;
    case kConnected:
      return update_texts::kConnectionSuccessful;
    case kReadingInformation:
      return update_texts::kGettingInfo;
    case kAskingSize:
      return update_texts::kGettingSize;
    case kCancelNoticed:
      return update_texts::kCanceling;
    default:
      return nullptr;
  }
}

class UpdateRun {
 public:
  UpdateRun(const CommandLine& command, const InstallPaths& paths, Console& console)
      : command_(command), paths_(paths), console_(console) {}

  int Run() {
    Offer offer;
    const int status = Download(&offer);
    if (status >= 0) return status;
    return Install(offer);
  }

 private:
  // What a complete download leaves for the updater.
  struct Offer {
    std::u16string install_folder;
    std::u16string cabinet;
    std::u16string id;
    std::u16string date;
  };

  // Runs the downloader in the main program's place (one copy of the user interface at a time).
  // Returns the exit status, or -1 when a package was downloaded and waits for the updater; the
  // main program's place is given up before the updater starts, since the updater starts the
  // main program again at its end.
  int Download(Offer* offer) {
    ApplicationShell shell(paths_, [](std::u16string_view text, uint32_t style) {
      platform::MessageBox(kFrontEndProgram, strings::kProgramCaption, text, style);
    });
    if (!shell.ClaimSingleInstance()) {
      console_.Message(
          shell.another_instance_runs()
              ? "Kolvar AV is already running (the main program or another kolvar "
                "command); try again once it has ended."
              : Narrow(WithCause(LoadString(string_ids::kIpcFailed), NamespaceFolderCause())));
      return kExitError;
    }
    shell.OpenConfiguration();
    ConfigurationFile* configuration = shell.configuration();
    UpdateSettings settings = ReadUpdateSettings(*configuration, PlatformKind());
    if (settings.install_folder.empty()) settings.install_folder = paths_.install_folder;
    settings.check_only = command_.check;
    if (!settings.require_signed) console_.Message(Narrow(update_texts::kUnsignedUpdates));

    UpdateDownloader downloader(configuration, settings, [this](int status) { OnStatus(status); });
    downloader_ = &downloader;
    if (!command_.check && !downloader.PrepareDownloadFolder()) {
      console_.Message(Narrow(LoadString(update_texts::kDownloadErrorId)) + "\n" +
                       Narrow(downloader.download_folder()) + ": " +
                       Narrow(SystemErrorText(platform::GetLastError())));
      return kExitError;
    }
    platform::CatchInterrupts();
    if (!downloader.Start()) return kExitError;
    while (downloader.Running()) {
      if (platform::InterruptRequested()) downloader.Cancel();
      platform::Sleep(kInterruptPollMs);
    }
    downloader.Wait();
    downloader_ = nullptr;
    console_.ClearProgress();
    const int outcome = outcome_.load();
    offer->install_folder = settings.install_folder;
    offer->cabinet = downloader.CabinetPath();
    offer->id = downloader.ServerUpdateId();
    offer->date = downloader.ServerReleaseDate();
    if (outcome < 0) {
      TellFailure(outcome, downloader.FailureDetail());
      return kExitError;
    }
    if (command_.check) return TellCheck(outcome, downloader.Offered(), offer->id, offer->date);
    switch (outcome) {
      case kAlreadyUpdated:
        console_.Out(Narrow(LoadString(update_texts::kAlreadyUpdatedId)) + "\n");
        return kExitClean;
      case kNoUpdate:
        console_.Out(Narrow(LoadString(update_texts::kNoUpdateId)) + "\n");
        return kExitClean;
      case kCancelNoticed:
        console_.Message(Narrow(update_texts::kCancelled));
        return kExitError;
      case kDownloaded:
        break;
      default:
        // A download that ended short: the dialog says nothing, a terminal says what happened.
        console_.Message(Narrow(LoadString(update_texts::kDownloadErrorId)) + "\n" +
                         Narrow(downloader.FailureDetail()));
        return kExitError;
    }
    console_.Message("Download successful: " + Narrow(offer->id) + " of " + Narrow(offer->date) +
                     ". Starting the updater.");
    return -1;
  }

  void OnStatus(int status) {
    if (status == kWorkerEnded) return;
    if (status != kWorkerCreated) outcome_ = status;
    if (const char16_t* text = StatusLineText(status)) {
      if (console_.live_progress()) console_.ShowProgress(Narrow(text));
      return;
    }
    if (status == kBlockReceived && console_.live_progress() && downloader_ != nullptr) {
      console_.ShowProgress(Narrow(DownloadingText(downloader_->Percent())) + "  " +
                            Narrow(downloader_->TransferredText()) + " of " +
                            Narrow(downloader_->TotalSizeText()) + ", " +
                            Narrow(downloader_->TimeLeftText()) + " left");
    }
  }

  void TellFailure(int status, const std::u16string& detail) {
    std::u16string text;
    switch (status) {
      case kNoConnection:
        text = LoadString(update_texts::kNoConnectionId);
        break;
      case kSignatureRefused:
        console_.Message(Narrow(FormatText(LoadString(update_texts::kUpdateRefusedId), {detail})));
        return;
      default:
        text = LoadString(update_texts::kDownloadErrorId);
        break;
    }
    if (!detail.empty()) text += u"\n" + detail;
    console_.Message(Narrow(text));
  }

  int TellCheck(int outcome, bool offered, const std::u16string& id, const std::u16string& date) {
    if (offered) {
      console_.Out("Update offered: " + Narrow(id) + " of " + Narrow(date) + "\n");
      return kExitClean;
    }
    console_.Out(Narrow(LoadString(outcome == kAlreadyUpdated ? update_texts::kAlreadyUpdatedId
                                                              : update_texts::kNoUpdateId)) +
                 "\n");
    return kExitInfected;  // "nothing offered", the check's second answer
  }

  int Install(const Offer& offer) {
    platform::Process updater;
    const bool started = StartUpdater(
        offer.install_folder, offer.cabinet, paths_.history,
        [&updater](const std::u16string& program, const std::u16string& command_line) {
          if (platform::Process::Start(program, command_line, {}, &updater)) return true;
          platform::MessageBox(kFrontEndProgram, strings::kProgramCaption,
                               FormatText(LoadString(string_ids::kErrorTryingToExecute), {program}),
                               platform::kMbOk | platform::kMbIconError);
          return false;
        });
    if (!started) return kExitError;
    updater.Wait();
    uint32_t exit_code = 0;
    updater.GetExitCode(&exit_code);
    std::unique_ptr<ConfigurationFile> configuration;
    OpenConfiguration(/*keep_as_is=*/true, &configuration);
    std::u16string installed_id, installed_date;
    ReadTextValue(configuration->store(), keys::kUpdates, keys::kLastUpdateId, &installed_id);
    ReadTextValue(configuration->store(), keys::kUpdates, keys::kLastReleaseDate, &installed_date);
    uint32_t size = 0;
    ReadIntegerValue(configuration->store(), keys::kUpdates, keys::kLastUpdateFileSize, &size);
    if (installed_id != offer.id || installed_date != offer.date) {
      console_.Message("The updater ended (exit code " + std::to_string(exit_code) +
                       ") without installing " + Narrow(offer.id) + "; its messages tell why.");
      return kExitError;
    }
    console_.Out("Installed update " + Narrow(offer.id) + " of " + Narrow(offer.date) + " (" +
                 Narrow(KilobytesText(size)) + ").\n");
    return kExitClean;
  }

  const CommandLine& command_;
  const InstallPaths& paths_;
  Console& console_;
  UpdateDownloader* downloader_ = nullptr;
  std::atomic<int> outcome_{0};
};

}  // namespace

int RunUpdateCommand(const CommandLine& command, const InstallPaths& paths, Console& console) {
  return UpdateRun(command, paths, console).Run();
}

}  // namespace kolvar
