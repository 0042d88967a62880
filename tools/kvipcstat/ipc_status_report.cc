// Formatting of the IPC database for kvipcstat; see ipc_status_report.h.
#include "tools/kvipcstat/ipc_status_report.h"

#include <cstdio>

#include "ipc/ipc_database.h"
#include "platform/text.h"

namespace kolvar {
namespace {

const char* StateText(MailboxState state) {
  switch (state) {
    case MailboxState::kEmpty:
      return "empty";
    case MailboxState::kFull:
      return "full";
    case MailboxState::kUnknown:
      break;
  }
  return "-";
}

std::string Line(const char* format, auto... args) {
  char buffer[256];
  std::snprintf(buffer, sizeof(buffer), format, args...);
  return buffer;
}

}  // namespace

std::string FormatIpcStatus(const IpcDatabaseLayout& snapshot,
                            const SlotMailboxes (&mailboxes)[kIpcChannelCount]) {
  const IpcRequestArea& header = snapshot.header;
  std::string out;
  out += Line("IPC database: %zu bytes, %u channels registered\n", sizeof(snapshot),
              header.channel_count);
  out += Line("Last request: code %u, pid %u, name \"%s\", result %u, assigned index %u\n",
              header.code, header.pid, platform::Utf16ToUtf8(NameFromField(header.name)).c_str(),
              header.result, header.assigned_index);
  out += Line("%-5s %-6s %-5s %-32s %-8s %-5s %-8s %-8s\n", "Slot", "InUse", "Index", "Name",
              "Owner", "Held", "Incoming", "Outgoing");
  for (uint32_t i = 0; i < kIpcChannelCount; ++i) {
    const IpcChannelSlot& slot = snapshot.slots[i];
    out += Line("%-5u %-6s %-5u %-32s %-8u %-5d %-8s %-8s\n", i, slot.in_use == 1 ? "yes" : "no", i,
                platform::Utf16ToUtf8(NameFromField(slot.name)).c_str(), slot.owner_pid,
                slot.held_messages, StateText(mailboxes[i].incoming),
                StateText(mailboxes[i].outgoing));
  }
  return out;
}

}  // namespace kolvar
