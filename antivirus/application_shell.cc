// Start-up and shutdown of the windowless front end; see application_shell.h.
#include "antivirus/application_shell.h"

#include <functional>

#include "antivirus/resource_strings.h"
#include "common/configuration.h"
#include "common/object_names.h"
#include "common/status.h"
#include "ipc/ipc_channel.h"
#include "ipc/ipc_names.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "scan_engine/repository.h"
#include "scan_engine/scan_channel.h"
#include "scan_engine/scan_engine.h"
#include "scan_engine/scan_records.h"

namespace kolvar {
namespace {

// How long a started service has to show its presence. It needs far less; the bound only keeps a
// service that cannot start from holding the front end.
constexpr uint32_t kServiceStartWaitMs = 10000;
// How long the leave-taking waits for its last message to reach the scanner. The device waits
// without limit; a service that ended meanwhile must not hold the front end for ever.
constexpr uint32_t kDetachSendWaitMs = 5000;
// How often the leave-taking looks whether its last message has left.
constexpr uint32_t kDetachLookMs = 2;

// Tests `condition` every `step_ms` until it holds or `limit_ms` have passed; its last result.
bool WaitUntil(uint32_t limit_ms, uint32_t step_ms, const std::function<bool()>& condition) {
  const uint32_t start = platform::TickCount();
  while (!condition()) {
    if (platform::TickCount() - start >= limit_ms) return condition();
    platform::Sleep(step_ms);
  }
  return true;
}

}  // namespace

ApplicationShell::ApplicationShell(const InstallPaths& paths, UserNotice notice)
    : paths_(paths), notice_(std::move(notice)) {}

ApplicationShell::~ApplicationShell() {
  Detach();
  presence_event_.Close();
  instance_mutex_.Close();
}

void ApplicationShell::Tell(std::u16string_view text) {
  if (notice_) notice_(text, platform::kMbOk | platform::kMbIconError);
}

bool ApplicationShell::ClaimSingleInstance() {
  bool existed = false;
  if (!instance_mutex_.Create(LockName(kMainInstanceLockName), false, &existed)) return false;
  if (existed) {
    instance_mutex_.Close();
    another_instance_runs_ = true;
    return false;
  }
  // Auto-reset and not signalled, as the scanner expects; only its existence is read.
  if (!presence_event_.Create(kUserInterfaceEventName, false, false)) {
    instance_mutex_.Close();
    return false;
  }
  return true;
}

void ApplicationShell::OpenConfiguration() {
  kolvar::OpenConfiguration(false, &configuration_);
  if (!configuration_->damage_notice().empty()) Tell(configuration_->damage_notice());
}

bool ApplicationShell::BackgroundScanningEnabled() {
  if (configuration_ == nullptr) OpenConfiguration();
  bool readable = false;
  const bool on = CurrentBackgroundScanning(*configuration_, &readable);
  if (!readable) Tell(strings::kCannotLoadBackgroundValue);
  return on;
}

bool ApplicationShell::CheckDataFiles() {
  if (!platform::FileExists(paths_.signature_database)) {
    Tell(strings::kVirusDatabaseNotFound);
    return false;
  }
  if (!platform::FileExists(paths_.virus_details)) {
    Tell(strings::kVirusDetailDatabaseNotFound);
    return false;
  }
  if (!CreateQuarantineFolder(paths_.quarantine_folder)) {
    Tell(strings::kCannotCreateQuarantine);
    return false;
  }
  return true;
}

bool ApplicationShell::StartDaemon(std::u16string_view file_name) {
  platform::Process process;
  platform::StartOptions options;
  options.detached = true;
  options.output_file = DaemonOutputFile();
  return platform::Process::Start(paths_.Program(file_name), u"", options, &process);
}

bool ApplicationShell::StartServiceWhenMissing() {
  if (IpcConnection::IsServiceRunning()) return true;
  // The service records where clients may start it only once it has run; until then the front
  // end starts it from its own folder, as the scanner does.
  if (!StartDaemon(kIpcServiceProgram)) return false;
  return WaitUntil(kServiceStartWaitMs, 5, [] { return IpcConnection::IsServiceRunning(); });
}

bool ApplicationShell::StartScannerWhenMissing() {
  if (channel_->IsRegistered(kScannerChannel)) return true;
  if (!StartDaemon(kScannerProgram)) return false;
  started_scanner_ = true;
  return WaitUntil((kScannerChannelTests - 1) * kScannerChannelTestIntervalMs,
                   kScannerChannelLookMs,
                   [this] { return channel_->IsRegistered(kScannerChannel); });
}

void ApplicationShell::TellIpcFailure(std::u16string_view text) {
  uint32_t system_error = 0;
  const Status status = channel_ != nullptr ? channel_->GetStatus(&system_error) : kStatusOk;
  Tell(WithCause(text, IpcFailureCause(status, system_error)));
}

bool ApplicationShell::StartIpc() {
  StartServiceWhenMissing();  // a failure shows in the channel's status below
  channel_ = std::make_unique<IpcChannel>(/*start_service=*/true, /*private_heaps=*/false);
  if (channel_->GetStatus() != kStatusOk) {
    TellIpcFailure(strings::kIpcServiceFailed);
    channel_.reset();
    return false;
  }
  if (!channel_->Register(kMainChannel)) {
    TellIpcFailure(strings::kCannotRegisterChannel);
    channel_.reset();
    return false;
  }
  if (!channel_->StartWorker() || channel_->GetStatus() != kStatusOk) {
    TellIpcFailure(strings::kIpcFailed);
    Detach();
    return false;
  }
  if (!channel_->IsRegistered(kMainChannel)) {
    TellIpcFailure(strings::kGuiChannelFailed);
    Detach();
    return false;
  }
  if (!StartScannerWhenMissing()) {
    TellIpcFailure(strings::kIpcFailed);
    Detach();
    return false;
  }
  return true;
}

void ApplicationShell::Detach() {
  if (channel_ == nullptr) return;
  if (channel_->channel_index() >= 0) {
    ScanCommand detach = ZeroRecord<ScanCommand>();
    detach.type = kCommandDetach;
    // The channel tells when its last message has left (IsSending stays true from the queue
    // through the service's delivery), so it is asked at once and often rather than after a
    // fixed pause; the front end's exit waits on nothing else.
    if (channel_->Send(kScannerChannel, &detach, sizeof(detach))) {
      WaitUntil(kDetachSendWaitMs, kDetachLookMs, [this] { return !channel_->IsSending(); });
    }
    // Unregistering waits for the service's answer, so nothing is left to wait for after it.
    if (channel_->IsRegistered(kMainChannel)) {
      channel_->StopWorker();
      channel_->Unregister();
    }
  }
  channel_->StopWorker();
  channel_.reset();
}

}  // namespace kolvar
