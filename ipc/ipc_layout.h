// The IPC database: the bytes of the shared memory "KVCIPCSHMEM" that the service and every client
// map, laid out exactly as the programs agree (a 96-byte request area, then 24 channel slots of
// 4224 bytes each). One definition serves the service, the clients and the status tool, so a
// field can never be read at another offset than it was written. All integers are little-endian.
#ifndef KOLVAR_IPC_IPC_LAYOUT_H_
#define KOLVAR_IPC_IPC_LAYOUT_H_

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace kolvar {

static_assert(std::endian::native == std::endian::little,
              "the IPC database is little-endian and is mapped as it stands");

inline constexpr uint32_t kIpcChannelCount = 24;
inline constexpr uint32_t kIpcMaxMessageLength = 2048;
// A channel name is at most 31 UTF-16 characters and its NUL in a 64-byte field.
inline constexpr uint32_t kIpcNameFieldChars = 32;
inline constexpr uint32_t kIpcMaxNameChars = kIpcNameFieldChars - 1;

// Request codes written by a client, and the service's results.
inline constexpr uint32_t kIpcRequestRegister = 1;
inline constexpr uint32_t kIpcRequestUnregister = 2;
inline constexpr uint32_t kIpcResultDone = 0;
inline constexpr uint32_t kIpcResultRefused = 1;    // owner or name already registered
inline constexpr uint32_t kIpcResultAllInUse = 2;   // all 24 slots taken
inline constexpr uint32_t kIpcResultNotServed = 3;  // no channel to remove, or a bad request

// What the service copies out of an outgoing mailbox into its transfer queue (2064 bytes).
// Layout: docs/formats.md#ipc-database
struct IpcTransferRecord {
  uint32_t sequence;  // the sender's count of posted messages
  uint32_t sender_index;
  uint32_t addressee_index;
  uint32_t length;  // 1 to 2048
  uint8_t data[kIpcMaxMessageLength];
};

// One of the 24 channel slots.
// Layout: docs/formats.md#ipc-database
struct IpcChannelSlot {
  uint32_t in_use;  // 1 or 0
  uint32_t owner_pid;
  // On the device, the handle of the owner process that the service opened at this registration.
  // Here the service writes in its place a registration number of its own, distinct for every
  // registration (0 while the slot is free), so that a program tells a channel registered anew,
  // by the same process under the same name too, from the one before it.
  uint32_t registration;
  char16_t name[kIpcNameFieldChars];
  uint32_t incoming_mutex_handle;  // "KVCMSICSY%02d", information only
  uint32_t incoming_event_handle;  // "KVCMSICEV%02d", information only
  // The registration of the incoming message's sender as the service collected it (0 from a
  // service that does not tell): stays right with the message when the sender has gone, or
  // registered again, before the message is taken.
  uint32_t incoming_sender_registration;
  uint32_t incoming_sender_index;
  uint32_t incoming_addressee_index;
  uint32_t incoming_length;
  uint8_t incoming_data[kIpcMaxMessageLength];
  int32_t held_messages;           // this channel's messages in the service's queue
  uint32_t outgoing_mutex_handle;  // "KVCMSOGSY%02d", information only
  uint32_t outgoing_event_handle;  // "KVCMSOGEV%02d", information only
  IpcTransferRecord outgoing;
};

// The request area at the start of the database.
// Layout: docs/formats.md#ipc-database
struct IpcRequestArea {
  uint32_t request_mutex_handle;   // "KVCIPCCPLEV", information only
  uint32_t posted_event_handle;    // "KVCIPCSYNC", information only
  uint32_t answered_event_handle;  // "KVCIPCREQEV", information only
  uint32_t result;
  uint32_t assigned_index;
  uint32_t code;
  uint32_t pid;
  char16_t name[kIpcNameFieldChars];
  uint32_t channel_count;
};

// The whole shared memory "KVCIPCSHMEM".
// Layout: docs/formats.md#ipc-database
struct IpcDatabaseLayout {
  IpcRequestArea header;
  IpcChannelSlot slots[kIpcChannelCount];
};

inline constexpr size_t kIpcDatabaseSize = 101472;
// The part of the request area that a request occupies: code, pid and name.
inline constexpr size_t kIpcRequestSize = 72;

static_assert(std::is_standard_layout_v<IpcDatabaseLayout> &&
              std::is_trivially_copyable_v<IpcDatabaseLayout>);
static_assert(sizeof(IpcTransferRecord) == 2064);
static_assert(offsetof(IpcTransferRecord, sequence) == 0);
static_assert(offsetof(IpcTransferRecord, sender_index) == 4);
static_assert(offsetof(IpcTransferRecord, addressee_index) == 8);
static_assert(offsetof(IpcTransferRecord, length) == 12);
static_assert(offsetof(IpcTransferRecord, data) == 16);

static_assert(sizeof(IpcChannelSlot) == 4224);
static_assert(offsetof(IpcChannelSlot, in_use) == 0);
static_assert(offsetof(IpcChannelSlot, owner_pid) == 4);
static_assert(offsetof(IpcChannelSlot, registration) == 8);
static_assert(offsetof(IpcChannelSlot, name) == 12);
static_assert(offsetof(IpcChannelSlot, incoming_mutex_handle) == 76);
static_assert(offsetof(IpcChannelSlot, incoming_event_handle) == 80);
static_assert(offsetof(IpcChannelSlot, incoming_sender_registration) == 84);
static_assert(offsetof(IpcChannelSlot, incoming_sender_index) == 88);
static_assert(offsetof(IpcChannelSlot, incoming_addressee_index) == 92);
static_assert(offsetof(IpcChannelSlot, incoming_length) == 96);
static_assert(offsetof(IpcChannelSlot, incoming_data) == 100);
static_assert(offsetof(IpcChannelSlot, held_messages) == 2148);
static_assert(offsetof(IpcChannelSlot, outgoing_mutex_handle) == 2152);
static_assert(offsetof(IpcChannelSlot, outgoing_event_handle) == 2156);
static_assert(offsetof(IpcChannelSlot, outgoing) == 2160);
static_assert(offsetof(IpcChannelSlot, outgoing) + offsetof(IpcTransferRecord, length) == 2172);
static_assert(offsetof(IpcChannelSlot, outgoing) + offsetof(IpcTransferRecord, data) == 2176);

static_assert(sizeof(IpcRequestArea) == 96);
static_assert(offsetof(IpcRequestArea, request_mutex_handle) == 0);
static_assert(offsetof(IpcRequestArea, posted_event_handle) == 4);
static_assert(offsetof(IpcRequestArea, answered_event_handle) == 8);
static_assert(offsetof(IpcRequestArea, result) == 12);
static_assert(offsetof(IpcRequestArea, assigned_index) == 16);
static_assert(offsetof(IpcRequestArea, code) == 20);
static_assert(offsetof(IpcRequestArea, pid) == 24);
static_assert(offsetof(IpcRequestArea, name) == 28);
static_assert(offsetof(IpcRequestArea, channel_count) == 92);
static_assert(offsetof(IpcRequestArea, channel_count) - offsetof(IpcRequestArea, code) ==
              kIpcRequestSize);

static_assert(sizeof(IpcDatabaseLayout) == kIpcDatabaseSize);
static_assert(offsetof(IpcDatabaseLayout, slots) == 96);
static_assert(offsetof(IpcDatabaseLayout, slots[1]) == 96 + 4224);

// Fields that one process writes while others read them without a lock (the in-use flags, the
// counts, the handle fields) go through these, so every access is one whole 32-bit word.
inline uint32_t LoadShared(const uint32_t& field) {
  return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(field)).load(std::memory_order_acquire);
}
inline int32_t LoadShared(const int32_t& field) {
  return std::atomic_ref<int32_t>(const_cast<int32_t&>(field)).load(std::memory_order_acquire);
}
inline void StoreShared(uint32_t& field, uint32_t value) {
  std::atomic_ref<uint32_t>(field).store(value, std::memory_order_release);
}
inline void StoreShared(int32_t& field, int32_t value) {
  std::atomic_ref<int32_t>(field).store(value, std::memory_order_release);
}

}  // namespace kolvar

#endif  // KOLVAR_IPC_IPC_LAYOUT_H_
