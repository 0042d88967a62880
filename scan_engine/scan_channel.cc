// The scan channel's commands, send rule, waits and detection hand-off; see scan_channel.h.
#include "scan_engine/scan_channel.h"

#include <cstring>

#include "platform/path.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace kolvar {
namespace {

constexpr uint32_t kSentPollMs = 5;
// After a peer is found gone, one more look for a message it sent just before it left: the own
// worker moves a delivered message into the queue within one of its 25 ms passes.
constexpr uint32_t kLastLookMs = 2 * kIpcWorkerPassMs + 10;

bool Cancelled(const CancelTest& cancelled) { return cancelled && cancelled(); }

}  // namespace

ScanCommand MakeScanCommand(uint32_t type) {
  ScanCommand command = ZeroRecord<ScanCommand>();
  command.type = type;
  return command;
}

ScanCommand MakeAttachCommand(std::u16string_view folder) {
  ScanCommand command = MakeScanCommand(kCommandAttach);
  // The field holds 261 characters; a folder keeps to the device's 260 with its terminator.
  SetWideField(command.folder, folder.substr(0, kPathFieldChars - 1));
  return command;
}

ScanCommand MakeActionCommand(uint32_t virus_id, uint8_t action) {
  ScanCommand command = MakeScanCommand(kCommandSetAction);
  command.virus_id = virus_id;
  // The main program writes the action as a 32-bit value: bytes 9 to 11 stay zero.
  command.action = action;
  return command;
}

bool DecodeScanCommand(const void* data, uint32_t length, ScanCommand* command) {
  if (length < sizeof(command->type) || length > sizeof(ScanCommand)) return false;
  *command = ZeroRecord<ScanCommand>();
  std::memcpy(command, data, length);
  return true;
}

bool DecodeScanStatus(const void* data, uint32_t length, std::u16string_view sender,
                      ScanStatus* status) {
  if (length != sizeof(ScanStatus) || sender != kScannerChannel) return false;
  std::memcpy(status, data, sizeof(ScanStatus));
  return true;
}

bool DecodeDetectionRecord(const void* data, uint32_t length, std::u16string_view sender,
                           DetectionRecord* record) {
  if (length != sizeof(DetectionRecord) || sender != kScannerChannel) return false;
  std::memcpy(record, data, sizeof(DetectionRecord));
  return true;
}

std::optional<std::u16string> AttachFolder(const ScanCommand& command) {
  const std::u16string_view folder = WideField(command.folder);
  if (folder.empty()) return std::u16string(u"\\");  // no folder chosen: the whole device
  if (folder.size() < kPathFieldChars && folder.front() == u'\\' &&
      platform::IsValidDevicePath(folder)) {
    return std::u16string(folder);
  }
  return std::nullopt;
}

bool ChannelReachable(IpcChannel& channel, std::u16string_view name) {
  return channel.IsRegistered(name) && IpcConnection::IsServiceRunning();
}

bool SendScanMessage(IpcChannel& channel, std::u16string_view addressee, const void* data,
                     uint32_t length, SendPolicy policy, const CancelTest& cancelled) {
  if (policy == SendPolicy::kLatest) return channel.SendLatest(addressee, data, length);
  for (;;) {
    if (channel.Send(addressee, data, length)) return true;
    // The status of a failed Send is not read: other threads use the same channel object.
    if (Cancelled(cancelled)) return false;
    if (!ChannelReachable(channel, addressee)) return false;
    platform::Sleep(kSendRetryMs);
  }
}

bool WaitUntilSent(IpcChannel& channel, std::u16string_view addressee,
                   const CancelTest& cancelled) {
  uint32_t since_check = 0;
  while (channel.IsSending()) {
    if (Cancelled(cancelled)) return false;
    // Registration is looked at every 50 ms: each look costs a 5 ms sleep of its own.
    if (since_check >= 50) {
      since_check = 0;
      if (!ChannelReachable(channel, addressee)) return !channel.IsSending();
    }
    platform::Sleep(kSentPollMs);
    since_check += kSentPollMs;
  }
  return true;
}

WaitOutcome WaitForMessage(IpcChannel& channel, std::u16string_view peer, uint32_t poll_ms,
                           const CancelTest& cancelled) {
  uint32_t since_check = 0;
  while (!channel.HasMessages()) {
    if (Cancelled(cancelled)) return WaitOutcome::kCancelled;
    if (since_check >= 50) {
      since_check = 0;
      if (!ChannelReachable(channel, peer)) {
        platform::Sleep(kLastLookMs);
        return channel.HasMessages() ? WaitOutcome::kReady : WaitOutcome::kPeerGone;
      }
    }
    channel.WaitForMessages(poll_ms);
    since_check += poll_ms;
  }
  return WaitOutcome::kReady;
}

HandOffOutcome HandOffDetection(IpcChannel& channel, const DetectionChooser& choose,
                                const CancelTest& cancelled, DetectionRecord* detection) {
  DetectionRecord record = ZeroRecord<DetectionRecord>();
  for (;;) {
    const WaitOutcome waited = WaitForMessage(channel, kScannerChannel, 15, cancelled);
    if (waited == WaitOutcome::kPeerGone) return HandOffOutcome::kScannerGone;
    if (waited == WaitOutcome::kCancelled) return HandOffOutcome::kCancelled;
    uint8_t buffer[kIpcMaxMessageLength];
    uint32_t length = 0;
    std::u16string sender;
    if (!channel.Receive(buffer, &length, &sender)) continue;
    if (DecodeDetectionRecord(buffer, length, sender, &record)) break;
  }
  if (detection != nullptr) *detection = record;
  return AnswerDetection(channel, record, choose ? choose(record) : kActionNone, cancelled);
}

HandOffOutcome AnswerDetection(IpcChannel& channel, const DetectionRecord& record, uint8_t action,
                               const CancelTest& cancelled) {
  const ScanCommand answer = MakeActionCommand(record.virus_id, action);
  if (!SendScanMessage(channel, kScannerChannel, &answer, sizeof(answer), SendPolicy::kMustArrive,
                       cancelled)) {
    if (Cancelled(cancelled)) return HandOffOutcome::kCancelled;
    return ChannelReachable(channel, kScannerChannel) ? HandOffOutcome::kSendRefused
                                                      : HandOffOutcome::kScannerGone;
  }
  if (!WaitUntilSent(channel, kScannerChannel, cancelled)) {
    return Cancelled(cancelled) ? HandOffOutcome::kCancelled : HandOffOutcome::kScannerGone;
  }
  return HandOffOutcome::kAnswered;
}

}  // namespace kolvar
