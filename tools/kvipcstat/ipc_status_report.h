// The text that kvipcstat prints: the request area and every channel slot of a snapshot of the IPC
// database, with whether each slot's mailboxes hold a message.
#ifndef KOLVAR_TOOLS_KVIPCSTAT_IPC_STATUS_REPORT_H_
#define KOLVAR_TOOLS_KVIPCSTAT_IPC_STATUS_REPORT_H_

#include <string>

#include "ipc/ipc_layout.h"

namespace kolvar {

// What a mailbox event said when the tool looked; kUnknown when the event did not exist.
enum class MailboxState { kEmpty, kFull, kUnknown };

struct SlotMailboxes {
  MailboxState incoming = MailboxState::kUnknown;
  MailboxState outgoing = MailboxState::kUnknown;
};

std::string FormatIpcStatus(const IpcDatabaseLayout& snapshot,
                            const SlotMailboxes (&mailboxes)[kIpcChannelCount]);

}  // namespace kolvar

#endif  // KOLVAR_TOOLS_KVIPCSTAT_IPC_STATUS_REPORT_H_
