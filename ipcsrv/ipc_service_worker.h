// The IPC service's work, one pass at a time: serve the request posted in the request area,
// collect full outgoing mailboxes into the transfer queue, deliver the oldest queued message whose
// addressee's incoming mailbox is free (so that no addressee ever gets its messages out of order),
// and free the channels of programs that have ended. Passes follow each other at once while they
// move messages; an idle worker sleeps until a request, a mailbox's event or 25 ms pass. The worker
// is the only writer of the channel table; it never waits more than 15 ms for a mailbox or the
// request area, so one program that holds a lock cannot stall the others.
#ifndef KOLVAR_IPCSRV_IPC_SERVICE_WORKER_H_
#define KOLVAR_IPCSRV_IPC_SERVICE_WORKER_H_

#include <cstdint>

#include "common/record_queue.h"
#include "ipc/channel_mailboxes.h"
#include "ipc/ipc_database.h"
#include "platform/kernel_objects.h"
#include "platform/process.h"

namespace kolvar {

inline constexpr uint32_t kIpcServicePassMs = 25;
inline constexpr uint32_t kIpcServiceLockWaitMs = 15;
inline constexpr uint32_t kIpcTransferQueueLimit = 250;

class IpcServiceWorker {
 public:
  // The database must stay open while the worker exists.
  explicit IpcServiceWorker(KVCIPCDB* database);
  IpcServiceWorker(const IpcServiceWorker&) = delete;
  IpcServiceWorker& operator=(const IpcServiceWorker&) = delete;

  // The transfer queue's status: 0 when the worker can run.
  Status status() { return queue_.GetStatus(); }

  // Takes over the channels that a database still holds from an earlier service (one that was
  // killed while programs kept the database open): channels of living owners stay, the others
  // are freed. The earlier service's queue is gone, so no message counts as held any more.
  void AdoptChannels();
  // One pass: requests, collect, deliver, liveness. True when it changed anything (a request
  // served, a message collected or delivered, a channel opened or freed): more may wait.
  bool RunPass();
  // Adds what an idle worker waits for: the request area's event and both mailbox events of every
  // registered channel. Valid until the next pass, which may close a channel's events.
  void Watch(platform::EventWatch* watch);
  // Frees every channel still registered (at shutdown).
  void FreeAllChannels();

  uint32_t QueuedCount() { return queue_.Count(); }

 private:
  // A queued message with the registrations of its sender and addressee at collection time, so
  // that a slot reused by another program meanwhile neither receives the message nor has it
  // counted as its own, and its addressee learns which registration sent it.
  struct QueuedTransfer {
    IpcTransferRecord record;
    uint32_t sender_registration;
    uint32_t addressee_registration;
  };

  struct SlotState {
    bool registered = false;
    uint32_t registration = 0;  // the slot's field of that name; 0 while free, and never matches
    ChannelMailboxes boxes;
    platform::Process owner;
  };

  // A registration number that no registered slot holds, never 0.
  uint32_t NewRegistration();

  void ServeRequest();
  uint32_t RegisterChannel(uint32_t pid, const char16_t (&name)[kIpcNameFieldChars],
                           uint32_t* index);
  uint32_t UnregisterChannel(uint32_t pid);
  void Collect();
  bool CollectFrom(uint32_t index);
  void DeliverFirst();
  bool TryDeliver(const QueuedTransfer& transfer);
  void ReleaseHeld(const QueuedTransfer& transfer);
  void FreeEndedOwners();
  void FreeSlot(uint32_t index);
  void ClearSlot(IpcChannelSlot& slot);

  KVCIPCDB* database_;
  SlotState slots_[kIpcChannelCount];
  RecordQueue queue_;
  // Numbers go up from a random start, so that a service started after one that was killed does
  // not hand out again the numbers that its programs may still remember.
  uint32_t next_registration_;
  uint32_t collect_start_ = 0;
  bool changed_ = false;  // in this pass; see RunPass
};

}  // namespace kolvar

#endif  // KOLVAR_IPCSRV_IPC_SERVICE_WORKER_H_
