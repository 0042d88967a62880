// One pass of the IPC service's worker; see ipc_service_worker.h.
#include "ipcsrv/ipc_service_worker.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <random>

namespace kolvar {
namespace {

bool NameIsEmpty(const char16_t (&name)[kIpcNameFieldChars]) { return name[0] == u'\0'; }

bool SameName(const char16_t (&a)[kIpcNameFieldChars], const char16_t (&b)[kIpcNameFieldChars]) {
  for (uint32_t i = 0; i < kIpcNameFieldChars; ++i) {
    if (a[i] != b[i]) return false;
    if (a[i] == u'\0') return true;
  }
  return true;
}

}  // namespace

IpcServiceWorker::IpcServiceWorker(KVCIPCDB* database)
    : database_(database), next_registration_(std::random_device()()) {
  // Only the worker thread touches the queue.
  queue_.SetLocking(false);
}

uint32_t IpcServiceWorker::NewRegistration() {
  for (;;) {
    const uint32_t candidate = next_registration_++;
    if (candidate == 0) continue;
    bool taken = false;
    for (const SlotState& state : slots_) taken = taken || state.registration == candidate;
    if (!taken) return candidate;
  }
}

void IpcServiceWorker::AdoptChannels() {
  uint32_t count = 0;
  for (uint32_t i = 0; i < kIpcChannelCount; ++i) {
    IpcChannelSlot& slot = database_->slot(i);
    SlotState& state = slots_[i];
    if (LoadShared(slot.in_use) != 1) continue;
    platform::Process owner;
    if (platform::Process::OpenById(static_cast<pid_t>(slot.owner_pid), &owner) &&
        owner.IsAlive() && state.boxes.Open(i)) {
      state.owner = std::move(owner);
      state.registered = true;
      // A living channel keeps its number: its peers may have told it apart by that number.
      const uint32_t kept = LoadShared(slot.registration);
      bool duplicate = kept == 0;
      for (uint32_t j = 0; j < i; ++j) duplicate = duplicate || slots_[j].registration == kept;
      state.registration = duplicate ? NewRegistration() : kept;
      StoreShared(slot.registration, state.registration);
      state.boxes.WriteHandles(slot);
      StoreShared(slot.held_messages, 0);
      ++count;
    } else {
      ClearSlot(slot);
    }
  }
  StoreShared(database_->header().channel_count, count);
}

bool IpcServiceWorker::RunPass() {
  changed_ = false;
  ServeRequest();
  Collect();
  DeliverFirst();
  FreeEndedOwners();
  return changed_;
}

void IpcServiceWorker::Watch(platform::EventWatch* watch) {
  watch->Add(database_->request_posted());
  for (SlotState& state : slots_) {
    if (!state.registered) continue;
    watch->Add(state.boxes.outgoing_event);
    watch->Add(state.boxes.incoming_event);
  }
}

void IpcServiceWorker::FreeAllChannels() {
  for (uint32_t i = 0; i < kIpcChannelCount; ++i) {
    if (slots_[i].registered) FreeSlot(i);
  }
}

void IpcServiceWorker::ServeRequest() {
  platform::Mutex& mutex = database_->request_mutex();
  if (!Acquired(mutex.Wait(kIpcServiceLockWaitMs))) return;
  if (IsSet(database_->request_posted())) {
    IpcRequestArea& header = database_->header();
    uint32_t code = header.code;
    uint32_t pid = header.pid;
    char16_t name[kIpcNameFieldChars];
    std::copy(std::begin(header.name), std::end(header.name), name);
    name[kIpcNameFieldChars - 1] = u'\0';
    uint32_t result = kIpcResultNotServed;
    uint32_t index = 0;
    if (code == kIpcRequestRegister) {
      result = RegisterChannel(pid, name, &index);
      if (result == kIpcResultDone) header.assigned_index = index;
    } else if (code == kIpcRequestUnregister) {
      result = UnregisterChannel(pid);
    }
    header.result = result;
    changed_ = true;
    database_->request_answered().Reset();
    database_->request_answered().Set();
    database_->request_posted().Reset();
  }
  mutex.Release();
}

uint32_t IpcServiceWorker::RegisterChannel(uint32_t pid, const char16_t (&name)[kIpcNameFieldChars],
                                           uint32_t* index) {
  // A program that ended a moment ago must not keep its name or its process id (which the system
  // may already have given to the program now asking) until the liveness step runs.
  FreeEndedOwners();
  if (pid == 0 || NameIsEmpty(name)) return kIpcResultNotServed;
  if (LoadShared(database_->header().channel_count) >= kIpcChannelCount) return kIpcResultAllInUse;
  int free_index = -1;
  for (uint32_t i = 0; i < kIpcChannelCount; ++i) {
    if (!slots_[i].registered) {
      if (free_index < 0) free_index = static_cast<int>(i);
      continue;
    }
    const IpcChannelSlot& slot = database_->slot(i);
    if (slot.owner_pid == pid || SameName(slot.name, name)) return kIpcResultRefused;
  }
  if (free_index < 0) return kIpcResultAllInUse;
  uint32_t n = static_cast<uint32_t>(free_index);
  SlotState& state = slots_[n];
  platform::Process owner;
  if (!platform::Process::OpenById(static_cast<pid_t>(pid), &owner) || !owner.IsAlive()) {
    return kIpcResultNotServed;  // the requester has ended; nobody reads this answer
  }
  changed_ = true;
  if (!state.boxes.Open(n)) return kIpcResultNotServed;
  // The objects may outlive an earlier owner of the slot that still holds them: start empty.
  state.boxes.incoming_event.Reset();
  state.boxes.outgoing_event.Reset();
  IpcChannelSlot& slot = database_->slot(n);
  ClearSlot(slot);
  std::memset(&slot.incoming_sender_registration, 0,
              offsetof(IpcChannelSlot, held_messages) -
                  offsetof(IpcChannelSlot, incoming_sender_registration));
  std::memset(&slot.outgoing, 0, sizeof(slot.outgoing));
  state.registration = NewRegistration();
  StoreShared(slot.owner_pid, pid);
  StoreShared(slot.registration, state.registration);
  std::copy(std::begin(name), std::end(name), slot.name);
  state.boxes.WriteHandles(slot);
  state.owner = std::move(owner);
  state.registered = true;
  StoreShared(slot.in_use, 1);
  IpcRequestArea& header = database_->header();
  StoreShared(header.channel_count, LoadShared(header.channel_count) + 1);
  *index = n;
  return kIpcResultDone;
}

uint32_t IpcServiceWorker::UnregisterChannel(uint32_t pid) {
  for (uint32_t i = 0; i < kIpcChannelCount; ++i) {
    if (slots_[i].registered && database_->slot(i).owner_pid == pid) {
      FreeSlot(i);
      return kIpcResultDone;
    }
  }
  return kIpcResultNotServed;
}

void IpcServiceWorker::Collect() {
  for (uint32_t k = 0; k < kIpcChannelCount; ++k) {
    if (queue_.Count() >= kIpcTransferQueueLimit) break;
    uint32_t i = (collect_start_ + k) % kIpcChannelCount;
    if (slots_[i].registered) CollectFrom(i);
  }
  // Starting each pass one slot further keeps a nearly full queue from favouring low slots.
  collect_start_ = (collect_start_ + 1) % kIpcChannelCount;
}

bool IpcServiceWorker::CollectFrom(uint32_t index) {
  SlotState& state = slots_[index];
  if (!IsSet(state.boxes.outgoing_event)) return false;
  if (!Acquired(state.boxes.outgoing_mutex.Wait(kIpcServiceLockWaitMs))) return false;
  IpcChannelSlot& slot = database_->slot(index);
  QueuedTransfer transfer;
  std::memcpy(&transfer.record, &slot.outgoing, sizeof(transfer.record));
  // The message counts as held before the mailbox is seen empty, so that its sender never finds
  // it in neither place.
  StoreShared(slot.held_messages, LoadShared(slot.held_messages) + 1);
  state.boxes.outgoing_event.Reset();
  changed_ = true;
  state.boxes.outgoing_mutex.Release();

  // The sender is the slot it came from, whatever the record claims.
  transfer.record.sender_index = index;
  transfer.sender_registration = state.registration;
  uint32_t addressee = transfer.record.addressee_index;
  transfer.addressee_registration = addressee < kIpcChannelCount && slots_[addressee].registered
                                        ? slots_[addressee].registration
                                        : 0;
  bool well_formed = transfer.record.length >= 1 && transfer.record.length <= kIpcMaxMessageLength;
  if (!well_formed || !queue_.Append(&transfer, sizeof(transfer))) {
    ReleaseHeld(transfer);
    return false;
  }
  return true;
}

void IpcServiceWorker::DeliverFirst() {
  // The oldest message whose addressee can take it now goes; a busy addressee's messages wait in
  // their place, so each addressee gets its messages in the order they were collected while the
  // others are not held up behind it.
  uint32_t busy = 0;  // one bit per addressee found busy in this pass
  for (uint32_t i = 0; i < queue_.Count(); ++i) {
    // The head of the record names the addressee; the whole record is copied only to deliver it.
    IpcTransferRecord head;
    if (!queue_.Get(&head, offsetof(IpcTransferRecord, data), /*remove=*/false, i)) return;
    uint32_t bit = head.addressee_index < kIpcChannelCount ? 1u << head.addressee_index : 0;
    if ((busy & bit) != 0) continue;
    QueuedTransfer transfer;
    if (!queue_.Get(&transfer, sizeof(transfer), /*remove=*/false, i)) return;
    if (TryDeliver(transfer)) {
      changed_ = true;
      queue_.Delete(i);
      ReleaseHeld(transfer);
      return;
    }
    busy |= bit;
  }
}

bool IpcServiceWorker::TryDeliver(const QueuedTransfer& transfer) {
  uint32_t addressee = transfer.record.addressee_index;
  if (addressee >= kIpcChannelCount || !slots_[addressee].registered ||
      slots_[addressee].registration != transfer.addressee_registration) {
    return true;  // the addressee has gone: the message is dropped and counts as delivered
  }
  ChannelMailboxes& boxes = slots_[addressee].boxes;
  if (IsSet(boxes.incoming_event)) return false;
  if (!Acquired(boxes.incoming_mutex.Wait(kIpcServiceLockWaitMs))) return false;
  IpcChannelSlot& slot = database_->slot(addressee);
  slot.incoming_sender_registration = transfer.sender_registration;
  slot.incoming_sender_index = transfer.record.sender_index;
  slot.incoming_addressee_index = addressee;
  slot.incoming_length = transfer.record.length;
  std::memcpy(slot.incoming_data, transfer.record.data, transfer.record.length);
  boxes.incoming_event.Set();
  boxes.incoming_mutex.Release();
  return true;
}

void IpcServiceWorker::ReleaseHeld(const QueuedTransfer& transfer) {
  uint32_t sender = transfer.record.sender_index;
  if (sender >= kIpcChannelCount || !slots_[sender].registered ||
      slots_[sender].registration != transfer.sender_registration) {
    return;
  }
  IpcChannelSlot& slot = database_->slot(sender);
  StoreShared(slot.held_messages, LoadShared(slot.held_messages) - 1);
}

void IpcServiceWorker::FreeEndedOwners() {
  for (uint32_t i = 0; i < kIpcChannelCount; ++i) {
    if (slots_[i].registered && !slots_[i].owner.IsAlive()) FreeSlot(i);
  }
}

void IpcServiceWorker::FreeSlot(uint32_t index) {
  SlotState& state = slots_[index];
  IpcChannelSlot& slot = database_->slot(index);
  ClearSlot(slot);
  IpcRequestArea& header = database_->header();
  uint32_t count = LoadShared(header.channel_count);
  StoreShared(header.channel_count, count > 0 ? count - 1 : 0);
  state.boxes.Close();
  changed_ = true;
  state.owner.Close();
  state.registered = false;
  state.registration = 0;
}

void IpcServiceWorker::ClearSlot(IpcChannelSlot& slot) {
  // Readers that find the slot in use read its name next, so the flag goes first.
  StoreShared(slot.in_use, 0);
  StoreShared(slot.owner_pid, 0);
  StoreShared(slot.registration, 0);
  std::fill(std::begin(slot.name), std::end(slot.name), u'\0');
  StoreShared(slot.held_messages, 0);
  StoreShared(slot.incoming_mutex_handle, 0);
  StoreShared(slot.incoming_event_handle, 0);
  StoreShared(slot.outgoing_mutex_handle, 0);
  StoreShared(slot.outgoing_event_handle, 0);
}

}  // namespace kolvar
