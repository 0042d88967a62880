// The channel's queues and its worker; see ipc_channel.h.
//
// IsSending must never read false while a message is still on its way. Each message is handed on
// before the previous holder lets go of it: the worker sets the outgoing mailbox's event before it
// removes the record from the queue, and the service counts the message as held before it clears
// that event. IsSending reads the holders in the same order (queue, mailbox, held count).
#include "ipc/ipc_channel.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/thread_start.h"
#include "platform/thread.h"

namespace kolvar {
namespace {

// A queue operation and the status it left, read as one step under the queue's lock. The worker
// works on the same queues under their own locks: read after the lock is let go, the status may
// already be that of the worker's next operation (0 after an Append), and a Get that found the
// queue empty would pass for a message received.
template <typename Operation>
Status QueueStep(RecordQueue& queue, Operation operation) {
  return queue.WithLock([&] { return operation() ? kStatusOk : queue.GetStatus(); });
}

}  // namespace

IpcChannel::IpcChannel(bool start_service, bool private_heaps) : IpcConnection(start_service) {
  incoming_ = std::make_unique<RecordQueue>(private_heaps);
  outgoing_ = std::make_unique<RecordQueue>(private_heaps);
  wake_event_.Create(u"", /*manual_reset=*/false, /*initial_state=*/false);
  arrival_event_.Create(u"", /*manual_reset=*/false, /*initial_state=*/false);
  if (GetStatus() == kStatusOk) {
    Status status = incoming_->GetStatus();
    if (status == kStatusOk) status = outgoing_->GetStatus();
    if (status == kStatusOk && (!wake_event_.IsValid() || !arrival_event_.IsValid())) {
      status = kStatusNotReady;
    }
    SetStatus(status);
  }
}

IpcChannel::~IpcChannel() { JoinWorker(); }

bool IpcChannel::StartWorker() {
  return RunLocked([&]() -> Status {
    Status status = kStatusOk;
    if (channel_index() < 0 || !wake_event_.IsValid()) {
      status = kStatusNotReady;
    } else if (!worker_.joinable()) {
      stop_requested_ = false;
      if (!StartThread(&worker_, [this] { WorkerMain(); })) status = kStatusNotReady;
    }
    return status;
  });
}

bool IpcChannel::StopWorker() {
  return RunLocked([&] {
    JoinWorker();
    return kStatusOk;
  });
}

void IpcChannel::JoinWorker() {
  if (!worker_.joinable()) return;
  stop_requested_ = true;
  wake_event_.Set();
  // The worker ends after this pass; it cannot wait for itself.
  if (worker_.get_id() == std::this_thread::get_id()) return;
  worker_.join();
}

void IpcChannel::BeforeUnregister() { JoinWorker(); }

bool IpcChannel::Send(std::u16string_view addressee, const void* data, uint32_t length) {
  return Queue(addressee, data, length, /*replaceable=*/false);
}

bool IpcChannel::SendLatest(std::u16string_view addressee, const void* data, uint32_t length) {
  return Queue(addressee, data, length, /*replaceable=*/true);
}

bool IpcChannel::Queue(std::u16string_view addressee, const void* data, uint32_t length,
                       bool replaceable) {
  bool queued = false;
  RunLocked([&] {
    if (length == 0 || length > kIpcMaxMessageLength) return kStatusBadMessageLength;
    if (data == nullptr) return kStatusBadArgument;
    if (addressee.size() > kIpcMaxNameChars || database().FindChannel(addressee) < 0) {
      return kStatusAddresseeNotRegistered;
    }
    IpcMessageRecord record{};
    NameToField(addressee, record.name);
    record.length = length;
    record.replaceable = replaceable ? 1 : 0;
    std::memcpy(record.data, data, length);
    // Only the last record can be replaced: a message sent after the old one keeps the old one
    // before it. Nor can the first: the worker reads it and deletes it once posted, outside this
    // lock. Looking and deleting are one step for the queue, so that the worker's deletion cannot
    // shift the index in between.
    return outgoing_->WithLock([&]() -> Status {
      bool replaced = false;
      const uint32_t count = outgoing_->Count();
      if (replaceable && count >= 2) {
        IpcMessageRecord last;
        if (outgoing_->Get(&last, offsetof(IpcMessageRecord, data), false, count - 1) &&
            last.replaceable != 0 &&
            std::memcmp(last.name, record.name, sizeof(record.name)) == 0) {
          replaced = outgoing_->Delete(count - 1);
        }
      }
      // A full queue is no error: nothing is queued and the caller tries again.
      if (!replaced && outgoing_->Count() >= kIpcQueueLimit) return kStatusOk;
      // The queue's status is read under its lock, before the worker's next operation.
      queued = outgoing_->Append(&record, sizeof(record));
      // Progress waits for the worker's next pass, so that a fast sender's stream of it stays a
      // trickle; anything else leaves at once.
      if (queued && !replaceable) wake_event_.Set();
      return queued ? kStatusOk : outgoing_->GetStatus();
    });
  });
  return queued;
}

bool IpcChannel::Receive(void* buffer, uint32_t* length, std::u16string* sender_name,
                         uint32_t* sender_registration) {
  return RunLocked([&]() -> Status {
    if (buffer == nullptr || length == nullptr) return kStatusBadArgument;
    IpcMessageRecord record;
    // 49 when the queue is empty.
    const Status status = QueueStep(*incoming_, [&] {
      return incoming_->Get(&record, sizeof(record), /*remove=*/true, /*index=*/0);
    });
    if (status != kStatusOk) return status;
    uint32_t n = std::min(record.length, kIpcMaxMessageLength);
    std::memcpy(buffer, record.data, n);
    *length = n;
    if (sender_name != nullptr) *sender_name = NameFromField(record.name);
    if (sender_registration != nullptr) *sender_registration = record.sender_registration;
    return kStatusOk;
  });
}

bool IpcChannel::PutBack(const void* data, uint32_t length, std::u16string_view sender_name,
                         uint32_t sender_registration) {
  return RunLocked([&]() -> Status {
    Status status = kStatusOk;
    if (length == 0 || length > kIpcMaxMessageLength) {
      status = kStatusBadMessageLength;
    } else if (data == nullptr) {
      status = kStatusBadArgument;
    } else {
      IpcMessageRecord record{};
      NameToField(sender_name, record.name);
      record.length = length;
      record.sender_registration = sender_registration;
      std::memcpy(record.data, data, length);
      status = QueueStep(*incoming_, [&] { return incoming_->Append(&record, sizeof(record)); });
    }
    return status;
  });
}

bool IpcChannel::HasMessages() {
  bool has = false;
  RunLocked([&] {
    has = incoming_->Count() > 0;
    return kStatusOk;
  });
  return has;
}

bool IpcChannel::WaitForMessages(uint32_t timeout_ms) {
  if (HasMessages()) return true;
  arrival_event_.Wait(timeout_ms);
  return HasMessages();
}

bool IpcChannel::IsSending() {
  bool sending = true;
  RunLocked([&] {
    const int32_t index = channel_index();
    sending = index < 0 || outgoing_->Count() > 0 || IsSet(mailboxes().outgoing_event) ||
              LoadShared(database().slot(static_cast<uint32_t>(index)).held_messages) > 0;
    return kStatusOk;
  });
  return sending;
}

void IpcChannel::WorkerMain() {
  platform::SetCurrentThreadPriority(platform::ThreadPriority::kHighest);
  ChannelMailboxes& boxes = mailboxes();
  platform::EventWatch watch;
  while (!stop_requested_) {
    // Watched from before the pass, so that what changes while it runs ends the sleep after it:
    // a message queued, one delivered to the incoming mailbox while there is room for it, and the
    // outgoing mailbox emptied by the service while something other than progress waits for it.
    watch.Clear();
    watch.Add(wake_event_);
    if (incoming_->Count() < kIpcQueueLimit) watch.Add(boxes.incoming_event);
    if (UrgentOutgoing()) watch.Add(boxes.outgoing_event);
    bool moved = SendFirstOutgoing();
    if (TakeIncoming()) moved = true;
    if (!moved) watch.Wait(kIpcWorkerPassMs);
  }
}

bool IpcChannel::UrgentOutgoing() {
  return outgoing_->WithLock([&] {
    IpcMessageRecord head;
    for (uint32_t i = 0; i < outgoing_->Count(); ++i) {
      if (outgoing_->Get(&head, offsetof(IpcMessageRecord, data), /*remove=*/false, i) &&
          head.replaceable == 0) {
        return true;
      }
    }
    return false;
  });
}

bool IpcChannel::SendFirstOutgoing() {
  if (outgoing_->Count() == 0) return false;
  IpcMessageRecord record;
  if (!outgoing_->Get(&record, sizeof(record), /*remove=*/false, /*index=*/0)) return false;
  int addressee = database().FindChannel(NameFromField(record.name));
  // An addressee that has gone makes the message vanish; a busy mailbox only delays it.
  if (addressee >= 0 && !Post(record, static_cast<uint32_t>(addressee))) return false;
  outgoing_->Delete(0);
  return true;
}

bool IpcChannel::Post(const IpcMessageRecord& record, uint32_t addressee_index) {
  ChannelMailboxes& boxes = mailboxes();
  if (!Acquired(boxes.outgoing_mutex.Wait())) return false;
  bool posted = false;
  if (!IsSet(boxes.outgoing_event)) {
    IpcTransferRecord& out = database().slot(static_cast<uint32_t>(channel_index())).outgoing;
    out.sequence = NextSequence();
    out.sender_index = static_cast<uint32_t>(channel_index());
    out.addressee_index = addressee_index;
    out.length = record.length;
    std::memcpy(out.data, record.data, record.length);
    posted = boxes.outgoing_event.Set();
  }
  boxes.outgoing_mutex.Release();
  return posted;
}

bool IpcChannel::TakeIncoming() {
  ChannelMailboxes& boxes = mailboxes();
  // While the incoming queue is full the message stays in the mailbox, and the service keeps the
  // ones behind it: the program's slowness delays messages but never loses one.
  if (!IsSet(boxes.incoming_event) || incoming_->Count() >= kIpcQueueLimit) return false;
  if (!Acquired(boxes.incoming_mutex.Wait())) return false;
  IpcChannelSlot& slot = database().slot(static_cast<uint32_t>(channel_index()));
  IpcMessageRecord record{};
  uint32_t length = slot.incoming_length;
  uint32_t sender = slot.incoming_sender_index;
  bool valid = length >= 1 && length <= kIpcMaxMessageLength;
  if (valid) {
    record.length = length;
    record.sender_registration = slot.incoming_sender_registration;
    std::memcpy(record.data, slot.incoming_data, length);
    if (sender < kIpcChannelCount && LoadShared(database().slot(sender).in_use) == 1) {
      std::memcpy(record.name, database().slot(sender).name, sizeof(record.name));
      record.name[kIpcNameFieldChars - 1] = u'\0';
    }
  }
  boxes.incoming_event.Reset();
  boxes.incoming_mutex.Release();
  if (valid && incoming_->Append(&record, sizeof(record))) arrival_event_.Set();
  return valid;
}

}  // namespace kolvar
