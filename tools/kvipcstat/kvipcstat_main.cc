// kvipcstat: prints the IPC database as the service sees it (the channel count, and for every
// slot whether it is in use, its name, owner, the messages the service holds for it and whether
// its mailboxes are full). It only opens what exists and changes nothing: it creates no object,
// takes no lock, and reads a snapshot of the shared memory.
#include <cstdio>
#include <cstring>
#include <memory>

#include "ipc/ipc_layout.h"
#include "ipc/ipc_names.h"
#include "platform/kernel_objects.h"
#include "tools/kvipcstat/ipc_status_report.h"

namespace {

using kolvar::MailboxState;

MailboxState LookAt(kolvar::MailboxObject object, uint32_t index) {
  kolvar::platform::Event event;
  if (!event.Open(kolvar::MailboxObjectName(object, index))) return MailboxState::kUnknown;
  return event.Wait(0) == kolvar::platform::WaitResult::kSignaled ? MailboxState::kFull
                                                                  : MailboxState::kEmpty;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    std::fprintf(stderr, "usage: %s\nPrints the IPC database of the running service.\n", argv[0]);
    return 2;
  }
  kolvar::platform::SharedMemory memory;
  if (!memory.Open(kolvar::kIpcDatabaseName, kolvar::kIpcDatabaseSize)) {
    std::fprintf(stderr,
                 "The IPC database does not exist: neither the service nor any program holds "
                 "it.\n");
    return 1;
  }
  auto snapshot = std::make_unique<kolvar::IpcDatabaseLayout>();
  std::memcpy(snapshot.get(), memory.data(), sizeof(*snapshot));
  kolvar::SlotMailboxes mailboxes[kolvar::kIpcChannelCount];
  for (uint32_t i = 0; i < kolvar::kIpcChannelCount; ++i) {
    if (snapshot->slots[i].in_use != 1) continue;
    mailboxes[i].incoming = LookAt(kolvar::MailboxObject::kIncomingEvent, i);
    mailboxes[i].outgoing = LookAt(kolvar::MailboxObject::kOutgoingEvent, i);
  }
  memory.Close();
  std::fputs(kolvar::FormatIpcStatus(*snapshot, mailboxes).c_str(), stdout);
  return 0;
}
