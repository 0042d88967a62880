// The IPC service's decoding of what clients put into the shared database: registration and
// removal requests (any code, process id and name, terminated or not) and the transfer records
// of the outgoing mailboxes (any sender, addressee and length). The input is a list of steps, each
// a client's write or a pass of the service's worker. After every pass the channel table must
// stay sound: the count is the number of channels, each channel's name ends within its field,
// no two channels share a name or an owner, and every delivered message fits its mailbox.
#include <unistd.h>

#include <cstring>
#include <memory>

#include "fuzz/fuzz_support.h"
#include "ipc/channel_mailboxes.h"
#include "ipc/ipc_database.h"
#include "ipcsrv/ipc_service_worker.h"

namespace {

using namespace kolvar;

enum Step : uint8_t { kRequest, kOutgoing, kTakeIncoming, kPass, kStepCount };

KVCIPCDB* g_database;
ChannelMailboxes* g_boxes;  // the clients' handles of every slot's mailboxes

uint32_t ProcessId(fuzz::Input& input) {
  switch (input.Take<uint8_t>() % 4) {
    case 0:
      return static_cast<uint32_t>(getpid());
    case 1:
      return static_cast<uint32_t>(getppid());
    case 2:
      return 0;
    default:
      return input.Take<uint32_t>();
  }
}

void PostRequest(fuzz::Input& input) {
  IpcRequestArea& header = g_database->header();
  const uint8_t code = input.Take<uint8_t>();
  header.code = code < 200 ? code % 3 : input.Take<uint32_t>();
  header.pid = ProcessId(input);
  const std::span<const uint8_t> name =
      input.TakeBytes(input.Take<uint8_t>() % (sizeof(header.name) + 1));
  std::memset(header.name, 0, sizeof(header.name));
  std::memcpy(header.name, name.data(), name.size());
  g_database->request_posted().Set();
}

void FillOutgoing(fuzz::Input& input) {
  const uint32_t index = input.Take<uint8_t>() % kIpcChannelCount;
  IpcTransferRecord& out = g_database->slot(index).outgoing;
  out.sequence = input.Take<uint32_t>();
  out.sender_index = input.Take<uint8_t>();
  const uint8_t addressee = input.Take<uint8_t>();
  out.addressee_index = addressee < 200 ? addressee % kIpcChannelCount : input.Take<uint32_t>();
  const uint16_t length = input.Take<uint16_t>();
  out.length = length < 60000 ? length % (kIpcMaxMessageLength + 2) : input.Take<uint32_t>();
  const std::span<const uint8_t> data = input.TakeBytes(std::min<size_t>(out.length, 64));
  std::memcpy(out.data, data.data(), data.size());
  g_boxes[index].outgoing_event.Set();
}

void CheckTable(IpcServiceWorker& worker) {
  uint32_t in_use = 0;
  for (uint32_t i = 0; i < kIpcChannelCount; ++i) {
    const IpcChannelSlot& slot = g_database->slot(i);
    if (slot.in_use != 1) continue;
    ++in_use;
    fuzz::Check(slot.name[kIpcNameFieldChars - 1] == u'\0' && slot.name[0] != u'\0',
                "a channel's name is empty or runs past its field");
    fuzz::Check(slot.incoming_length <= kIpcMaxMessageLength,
                "a delivered message is longer than a mailbox");
    for (uint32_t j = i + 1; j < kIpcChannelCount; ++j) {
      const IpcChannelSlot& other = g_database->slot(j);
      if (other.in_use != 1) continue;
      fuzz::Check(other.owner_pid != slot.owner_pid, "two channels have one owner");
      fuzz::Check(std::memcmp(other.name, slot.name, sizeof(slot.name)) != 0,
                  "two channels have one name");
    }
  }
  fuzz::Check(g_database->header().channel_count == in_use, "the channel count is wrong");
  fuzz::Check(worker.QueuedCount() <= kIpcTransferQueueLimit + kIpcChannelCount,
              "the service's queue grows past its limit");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpDevice();
  g_database = new KVCIPCDB();
  if (!g_database->OpenIPCDatabase()) fuzz::Fail("the IPC database cannot be opened");
  g_boxes = new ChannelMailboxes[kIpcChannelCount];
  for (uint32_t i = 0; i < kIpcChannelCount; ++i) {
    if (!g_boxes[i].Open(i)) fuzz::Fail("the mailboxes cannot be opened");
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::memset(g_database->layout(), 0, sizeof(IpcDatabaseLayout));
  g_database->request_posted().Reset();
  g_database->request_answered().Reset();
  for (uint32_t i = 0; i < kIpcChannelCount; ++i) {
    g_boxes[i].incoming_event.Reset();
    g_boxes[i].outgoing_event.Reset();
  }
  auto worker = std::make_unique<IpcServiceWorker>(g_database);
  fuzz::Input input(data, size);
  for (int steps = 0; steps < 64 && !input.empty(); ++steps) {
    switch (input.Take<uint8_t>() % kStepCount) {
      case kRequest:
        PostRequest(input);
        break;
      case kOutgoing:
        FillOutgoing(input);
        break;
      case kTakeIncoming:
        g_boxes[input.Take<uint8_t>() % kIpcChannelCount].incoming_event.Reset();
        break;
      default:
        worker->RunPass();
        CheckTable(*worker);
        break;
    }
  }
  worker->RunPass();
  CheckTable(*worker);
  worker->FreeAllChannels();
  return 0;
}
