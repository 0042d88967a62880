// The four named objects of one channel slot: the incoming mailbox's mutex and "holds a message"
// event, and the same pair for the outgoing mailbox. The service and the slot's owner each open
// them by name ("KVCMSICEV%02d", "KVCMSICSY%02d", "KVCMSOGEV%02d", "KVCMSOGSY%02d", in that order)
// and use their own handles.
#ifndef KOLVAR_IPC_CHANNEL_MAILBOXES_H_
#define KOLVAR_IPC_CHANNEL_MAILBOXES_H_

#include <cstdint>

#include "ipc/ipc_layout.h"
#include "platform/kernel_objects.h"

namespace kolvar {

struct ChannelMailboxes {
  // Creates or opens the four objects of slot `index`; on failure none stays open.
  bool Open(uint32_t index);
  void Close();
  bool IsOpen() const { return incoming_event.IsValid(); }
  // Writes this process's identifiers of the four objects into the slot, for information.
  void WriteHandles(IpcChannelSlot& slot) const;

  platform::Event incoming_event;
  platform::Mutex incoming_mutex;
  platform::Event outgoing_event;
  platform::Mutex outgoing_mutex;
};

// A wait on a mailbox mutex that ended with the mutex owned: a former owner that was killed while
// holding it left nothing half-published, since the events are set only after a whole copy.
inline bool Acquired(platform::WaitResult result) {
  return result == platform::WaitResult::kSignaled || result == platform::WaitResult::kAbandoned;
}

// True when the event is set now (tested without waiting and without consuming it).
inline bool IsSet(platform::Event& event) {
  return event.Wait(0) == platform::WaitResult::kSignaled;
}

}  // namespace kolvar

#endif  // KOLVAR_IPC_CHANNEL_MAILBOXES_H_
