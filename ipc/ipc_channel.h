// IpcChannel: a program's one channel to the other programs of the suite. Send queues a message of
// up to 2048 bytes for a channel named by the caller, Receive takes the next message addressed to
// this channel with its sender's name; a worker thread moves messages between these in-process
// queues (50 records each) and the channel's two mailboxes in the IPC database, one each way per
// pass, so that apart from Register and Unregister the program never waits on the service. Passes
// follow each other at once while they move messages; an idle worker sleeps until a message is
// queued (progress excepted: it waits for the next pass), one is delivered, the outgoing mailbox
// is emptied while a message waits for it, or 25 ms pass.
// A program that falls behind in reading is never robbed of messages: while its incoming queue is
// full the next message stays in its mailbox and the service keeps the ones behind it.
//
// Calling order: construct, check the status, Register, StartWorker, then Send / Receive /
// HasMessages / IsSending / IsRegistered from any thread, StopWorker, Unregister, destroy.
#ifndef KOLVAR_IPC_IPC_CHANNEL_H_
#define KOLVAR_IPC_IPC_CHANNEL_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "common/record_queue.h"
#include "ipc/ipc_connection.h"
#include "platform/kernel_objects.h"

namespace kolvar {

inline constexpr uint32_t kIpcQueueLimit = 50;
inline constexpr uint32_t kIpcWorkerPassMs = 25;

// The unit of both in-process queues: the addressee (outgoing) or the sender (incoming).
struct IpcMessageRecord {
  char16_t name[kIpcNameFieldChars];
  uint32_t length;
  uint32_t replaceable;  // outgoing: sent with SendLatest
  uint32_t sender_registration;  // incoming: see Receive
  uint8_t data[kIpcMaxMessageLength];
};

class IpcChannel : public IpcConnection {
 public:
  // See IpcConnection for the connection's status. private_heaps gives each queue its own heap.
  IpcChannel(bool start_service, bool private_heaps);
  // Stops the worker. Does not unregister: programs call Unregister themselves before ending.
  ~IpcChannel() override;

  // Only when registered: starts the worker thread at the highest priority. 3 when the channel is
  // not registered.
  bool StartWorker();
  // Stops the worker after its current pass and waits for it to end.
  bool StopWorker();

  // 39 for a length of 0 or over 2048, 34 when no channel of that name is registered now, 1 for
  // missing data. True when queued; false with status 0 when 50 messages already wait to go out.
  bool Send(std::u16string_view addressee, const void* data, uint32_t length);
  // Send for a message of which only the newest matters (progress): when the last message waiting
  // in the outgoing queue is an earlier SendLatest message to the same addressee, and not the one
  // the worker is passing on, this one takes its place. So such messages never pile up, and what
  // is sent after one is never held up behind a pile of them; a message sent between two keeps
  // the earlier one before it. False with status 0 when the queue is full and nothing was replaced.
  bool SendLatest(std::u16string_view addressee, const void* data, uint32_t length);
  // Takes the next message: its bytes into `buffer` (at least 2048 bytes), its length, its
  // sender's name and, when asked, the registration number of the channel that sent it (as
  // ChannelRegistration tells it; 0 when the service does not tell), which stays that of the
  // sender also when the sender has gone or registered again before the message was taken.
  // False (49) when none waits.
  bool Receive(void* buffer, uint32_t* length, std::u16string* sender_name,
               uint32_t* sender_registration = nullptr);
  // Puts a message at the end of the incoming queue, beyond the 50-record limit, so that a later
  // Receive takes it again, with the same sender. 39 for a bad length.
  bool PutBack(const void* data, uint32_t length, std::u16string_view sender_name,
               uint32_t sender_registration = 0);
  bool HasMessages();
  // HasMessages, after waiting up to timeout_ms for a message to arrive when none waits now. One
  // of several threads waiting may sleep out its time.
  bool WaitForMessages(uint32_t timeout_ms);
  // True while a sent message has not yet reached its addressee's mailbox (in the outgoing queue,
  // in the own outgoing mailbox, or held by the service), and while the channel is not registered.
  bool IsSending();

 protected:
  void BeforeUnregister() override;

 private:
  bool Queue(std::u16string_view addressee, const void* data, uint32_t length, bool replaceable);
  void WorkerMain();
  // Whether a message other than progress waits to go out.
  bool UrgentOutgoing();
  // Each true when it moved a message on.
  bool SendFirstOutgoing();
  bool TakeIncoming();
  // True when posted; false when the service has not collected the previous message yet.
  bool Post(const IpcMessageRecord& record, uint32_t addressee_index);
  void JoinWorker();

  std::unique_ptr<RecordQueue> incoming_;
  std::unique_ptr<RecordQueue> outgoing_;
  std::thread worker_;
  // Ends the worker's sleep: for a message queued, or for a stop.
  platform::Event wake_event_;
  std::atomic<bool> stop_requested_{false};
  // Set when the worker put a message in the incoming queue; see WaitForMessages.
  platform::Event arrival_event_;
};

}  // namespace kolvar

#endif  // KOLVAR_IPC_IPC_CHANNEL_H_
