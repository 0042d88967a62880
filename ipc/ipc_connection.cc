// The connection to the IPC service and the registration exchange; see ipc_connection.h.
//
// The request area holds one request at a time, and its answer event is shared by every client.
// A client therefore posts only while no request is pending and no answer is waiting to be
// collected, and collects its own answer before anyone else may post; otherwise two programs
// registering at once would overwrite each other's request or read each other's result. A
// program that ended with an answer uncollected is detected through its process id, so it cannot
// block the others.
#include "ipc/ipc_connection.h"

#include <mutex>

#include "common/registry_key.h"
#include "ipc/ipc_names.h"
#include "platform/error.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/registry_store.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace kolvar {
namespace {

// Slices in which a client waits for the service, testing between them whether it still runs.
constexpr uint32_t kAnswerPollMs = 50;
constexpr uint32_t kBusyPollMs = 5;
constexpr uint32_t kStartPollMs = 10;

// The request area identifies a request by the process id alone, so the threads of one program
// take turns.
std::mutex& ProcessExchangeLock() {
  static std::mutex lock;
  return lock;
}

bool ProcessIsAlive(uint32_t pid) {
  platform::Process process;
  return pid != 0 && platform::Process::OpenById(static_cast<pid_t>(pid), &process) &&
         process.IsAlive();
}

bool ValidName(std::u16string_view name) {
  return !name.empty() && name.size() <= kIpcMaxNameChars &&
         name.find(u'\0') == std::u16string_view::npos;
}

}  // namespace

Status StatusOfRequestResult(uint32_t result) {
  switch (result) {
    case kIpcResultDone:
      return kStatusOk;
    case kIpcResultRefused:
      return kStatusRegistrationRefused;
    case kIpcResultAllInUse:
      return kStatusAllChannelsInUse;
    default:
      return kStatusChannelRemovalRefused;
  }
}

IpcConnection::IpcConnection(bool start_service) : LockableObject(true, kLockCriticalSection) {
  RunLocked([&] { return Connect(start_service); });
}

IpcConnection::~IpcConnection() {
  mailboxes_.Close();
  database_.Close();
}

bool IpcConnection::IsServiceRunning() { return platform::ObjectExists(kIpcServiceEventName); }

Status IpcConnection::Connect(bool start_service) {
  channel_index_ = -1;
  if (!IsServiceRunning()) {
    if (!start_service) return kStatusServiceNotRunning;
    if (Status status = StartServiceLocked(); status != kStatusOk) return status;
    // The started program needs a moment before its presence event exists.
    for (uint32_t waited = 0; !IsServiceRunning() && waited < kIpcServiceStartWaitMs;
         waited += kStartPollMs) {
      platform::Sleep(kStartPollMs);
    }
    if (!IsServiceRunning()) return kStatusServiceNotRunning;
  }
  if (!database_.OpenIPCDatabase()) return kStatusIpcDatabaseOpenFailed;
  connected_ = true;
  return kStatusOk;
}

bool IpcConnection::StartService() {
  return RunLocked([&] { return StartServiceLocked(); });
}

Status IpcConnection::StartServiceLocked() {
  RegistryKey key(kRegistryPathCompany, kRegistryRootCurrentUser);
  if (!key.OpenKey(kIpcServiceKeyName, /*relative=*/false, /*create=*/false)) {
    return kStatusServiceKeyOpenFailed;
  }
  char16_t folder[platform::kMaxPath] = {};
  uint32_t size = sizeof(folder) - sizeof(char16_t);
  if (!key.GetValue(kIpcInstallDirValue, platform::kRegSz, folder, &size)) {
    Status status = key.GetStatus();
    return status != kStatusOk ? status : kStatusValueReadFailed;
  }
  std::u16string_view install_dir(folder, platform::BoundedLength(folder, size / 2));
  platform::Process process;
  platform::StartOptions options;
  options.detached = true;
  if (!platform::Process::Start(platform::JoinPath(install_dir, kIpcServiceProgram), u"", options,
                                &process)) {
    return kStatusServiceStartFailed;
  }
  return kStatusOk;
}

bool IpcConnection::Register(std::u16string_view name) {
  return RunLocked([&]() -> Status {
    Status status = kStatusOk;
    uint32_t index = 0;
    char16_t field[kIpcNameFieldChars];
    if (!ValidName(name)) {
      status = kStatusBadArgument;
    } else if (!connected_) {
      status = GetStatus() != kStatusOk ? GetStatus() : kStatusServiceNotRunning;
    } else if (channel_index_ >= 0) {
      status = kStatusRegistrationRefused;
    } else {
      NameToField(name, field);
      status = Exchange(kIpcRequestRegister, field, &index);
    }
    if (status == kStatusOk && !mailboxes_.Open(index)) {
      // A channel that this program cannot reach must not stay registered in its name.
      uint32_t ignored;
      Exchange(kIpcRequestUnregister, field, &ignored);
      status = kStatusIpcDatabaseOpenFailed;
    }
    if (status == kStatusOk) {
      send_counter_ = 0;
      std::copy(std::begin(field), std::end(field), channel_name_);
      mailboxes_.WriteHandles(database_.slot(index));
      registration_ = LoadShared(database_.slot(index).registration);
      channel_index_ = static_cast<int32_t>(index);
    }
    return status;
  });
}

bool IpcConnection::Unregister() {
  return RunLocked([&]() -> Status {
    Status status = kStatusOk;
    if (!connected_ || channel_index_ < 0) {
      status = kStatusChannelRemovalRefused;
    } else {
      BeforeUnregister();
      uint32_t ignored;
      status = Exchange(kIpcRequestUnregister, channel_name_, &ignored);
    }
    if (status == kStatusOk) {
      mailboxes_.Close();
      channel_index_ = -1;
      registration_ = 0;
      std::fill(std::begin(channel_name_), std::end(channel_name_), u'\0');
    }
    return status;
  });
}

bool IpcConnection::IsRegistered(std::u16string_view name) {
  platform::Sleep(5);
  bool found = false;
  RunLocked([&] {
    found = connected_ && ValidName(name) && database_.FindChannel(name) >= 0;
    return connected_ ? kStatusOk : kStatusServiceNotRunning;
  });
  return found;
}

uint32_t IpcConnection::ChannelOwner(std::u16string_view name) {
  uint32_t owner = 0;
  RunLocked([&] {
    const int index = connected_ && ValidName(name) ? database_.FindChannel(name) : -1;
    if (index >= 0) owner = LoadShared(database_.slot(index).owner_pid);
    return connected_ ? kStatusOk : kStatusServiceNotRunning;
  });
  return owner;
}

uint32_t IpcConnection::ChannelRegistration(std::u16string_view name) {
  uint32_t registration = 0;
  RunLocked([&] {
    if (!connected_ || !ValidName(name)) return connected_ ? kStatusOk : kStatusServiceNotRunning;
    // The slot may be freed and taken by another name between the look-up and the read: the
    // number counts only when the name is found in the same slot again after it.
    for (;;) {
      const int index = database_.FindChannel(name);
      if (index < 0) break;
      const IpcChannelSlot& slot = database_.slot(static_cast<uint32_t>(index));
      const uint32_t read = LoadShared(slot.registration);
      if (database_.FindChannel(name) == index && LoadShared(slot.registration) == read) {
        registration = read;
        break;
      }
    }
    return kStatusOk;
  });
  return registration;
}

std::u16string IpcConnection::channel_name() const { return NameFromField(channel_name_); }

Status IpcConnection::Exchange(uint32_t code, const char16_t (&name)[kIpcNameFieldChars],
                               uint32_t* assigned_index) {
  std::lock_guard<std::mutex> turn(ProcessExchangeLock());
  if (Status status = PostRequest(code, name); status != kStatusOk) return status;
  return CollectAnswer(assigned_index);
}

Status IpcConnection::PostRequest(uint32_t code, const char16_t (&name)[kIpcNameFieldChars]) {
  IpcRequestArea& header = database_.header();
  for (;;) {
    if (!IsServiceRunning()) return kStatusServiceNotRunning;
    if (!Acquired(database_.request_mutex().Wait())) return kStatusServiceNotRunning;
    bool pending = IsSet(database_.request_posted());
    bool unanswered = IsSet(database_.request_answered());
    if (unanswered && !pending && !ProcessIsAlive(header.pid)) {
      // The program whose answer this is has ended without collecting it.
      database_.request_answered().Reset();
      unanswered = false;
    }
    if (!pending && !unanswered) {
      header.code = code;
      header.pid = static_cast<uint32_t>(platform::CurrentProcessId());
      std::copy(std::begin(name), std::end(name), header.name);
      database_.request_posted().Set();
      database_.request_mutex().Release();
      return kStatusOk;
    }
    database_.request_mutex().Release();
    platform::Sleep(kBusyPollMs);
  }
}

Status IpcConnection::CollectAnswer(uint32_t* assigned_index) {
  IpcRequestArea& header = database_.header();
  for (;;) {
    bool answered =
        database_.request_answered().Wait(kAnswerPollMs) == platform::WaitResult::kSignaled;
    bool service_gone = !answered && !IsServiceRunning();
    if (!answered && !service_gone) continue;
    if (!Acquired(database_.request_mutex().Wait())) return kStatusServiceNotRunning;
    if (IsSet(database_.request_answered())) {
      uint32_t result = header.result;
      *assigned_index = header.assigned_index;
      database_.request_answered().Reset();
      // A service killed between answering and clearing the request would leave it posted, and
      // the next service would serve it a second time with nobody left to collect that answer.
      database_.request_posted().Reset();
      database_.request_mutex().Release();
      if (result == kIpcResultDone && *assigned_index >= kIpcChannelCount) {
        return kStatusChannelRemovalRefused;
      }
      return StatusOfRequestResult(result);
    }
    // The service ended before it answered: withdraw the request, so that a service started
    // later does not act on it behind this program's back.
    database_.request_posted().Reset();
    database_.request_mutex().Release();
    return kStatusServiceNotRunning;
  }
}

}  // namespace kolvar
