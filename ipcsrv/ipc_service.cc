// Start-up, main wait and shutdown of the IPC service; see ipc_service.h.
#include "ipcsrv/ipc_service.h"

#include <cerrno>
#include <cstdio>
#include <thread>

#include "common/status.h"
#include "common/thread_start.h"
#include "ipc/ipc_database.h"
#include "ipc/ipc_names.h"
#include "ipcsrv/ipc_service_worker.h"
#include "ipcsrv/service_registry.h"
#include "platform/error.h"
#include "platform/kernel_objects.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace kolvar {
namespace {

// The service has no window: its failures go where the platform sends the boxes of windowless
// programs (standard error, the system log, and the box log of tests).
// The error's meaning follows on a line of its own, or the namespace folder's problem when that is
// the cause.
void ShowFailure(const char* format, uint32_t error) {
  char text[128];
  std::snprintf(text, sizeof(text), format, static_cast<long>(error));
  std::u16string cause = NamespaceFolderCause();
  if (cause.empty()) cause = SystemErrorText(error);
  platform::MessageBox(kIpcServiceProgram, kIpcServiceTitle,
                       WithCause(platform::Utf8ToUtf16Lossy(text), cause),
                       platform::kMbOk | platform::kMbIconError);
}

void WorkerMain(IpcServiceWorker* worker, platform::Event* leave) {
  platform::SetCurrentThreadPriority(platform::ThreadPriority::kHighest);
  platform::EventWatch watch;
  while (leave->Wait(0) != platform::WaitResult::kSignaled) {
    // Watched from before the pass: what changes while it runs ends the sleep after it.
    watch.Clear();
    watch.Add(*leave);
    worker->Watch(&watch);
    if (worker->RunPass()) continue;
    watch.Wait(kIpcServicePassMs);
  }
}

// A database left open by programs may still hold an answer of an earlier service; a fresh start
// reports nothing.
void ResetResult(KVCIPCDB& database) {
  if (!Acquired(database.request_mutex().Wait())) return;
  database.header().result = kIpcResultDone;
  database.request_mutex().Release();
}

}  // namespace

int RunIpcService() {
  platform::Event presence;
  bool existed = false;
  if (!presence.Create(kIpcServiceEventName, /*manual_reset=*/false, /*initial_state=*/false,
                       &existed)) {
    ShowFailure(kPresenceFailedFormat, platform::GetLastError());
    return 0;
  }
  if (existed) return 0;  // another instance runs

  RecordServiceInRegistry();

  KVCIPCDB database;
  if (!database.OpenIPCDatabase()) {
    ShowFailure(kOpenDatabaseFailedFormat, database.last_error());
    return 0;
  }
  ResetResult(database);

  IpcServiceWorker worker(&database);
  if (worker.status() != kStatusOk) return 0;
  worker.AdoptChannels();

  platform::Event leave;
  if (!leave.Create(u"", /*manual_reset=*/true, /*initial_state=*/false)) {
    ShowFailure(kCreateThreadFailedFormat, platform::GetLastError());
    return 0;
  }
  std::thread thread;
  if (!StartThread(&thread, [&] { WorkerMain(&worker, &leave); })) {
    ShowFailure(kCreateThreadFailedFormat, platform::GetLastError());
    return 0;
  }

  presence.Wait(platform::kInfinite);

  leave.Set();
  thread.join();
  worker.FreeAllChannels();
  database.Close();
  presence.Close();
  return 0;
}

}  // namespace kolvar
