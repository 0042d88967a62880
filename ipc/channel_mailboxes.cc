// Opening the mailbox objects of a channel slot by name; see channel_mailboxes.h.
#include "ipc/channel_mailboxes.h"

#include "ipc/ipc_names.h"
#include "platform/error.h"

namespace kolvar {

bool ChannelMailboxes::Open(uint32_t index) {
  Close();
  bool ok = incoming_event.Create(MailboxObjectName(MailboxObject::kIncomingEvent, index),
                                  /*manual_reset=*/true, /*initial_state=*/false) &&
            incoming_mutex.Create(MailboxObjectName(MailboxObject::kIncomingMutex, index)) &&
            outgoing_event.Create(MailboxObjectName(MailboxObject::kOutgoingEvent, index),
                                  /*manual_reset=*/true, /*initial_state=*/false) &&
            outgoing_mutex.Create(MailboxObjectName(MailboxObject::kOutgoingMutex, index));
  if (!ok) {
    uint32_t error = platform::GetLastError();
    Close();
    platform::SetLastError(error);
  }
  return ok;
}

void ChannelMailboxes::Close() {
  outgoing_mutex.Close();
  outgoing_event.Close();
  incoming_mutex.Close();
  incoming_event.Close();
}

void ChannelMailboxes::WriteHandles(IpcChannelSlot& slot) const {
  StoreShared(slot.incoming_mutex_handle, incoming_mutex.Id());
  StoreShared(slot.incoming_event_handle, incoming_event.Id());
  StoreShared(slot.outgoing_mutex_handle, outgoing_mutex.Id());
  StoreShared(slot.outgoing_event_handle, outgoing_event.Id());
}

}  // namespace kolvar
