// The scan channel between the main program ("ANTIVIRUS") and the background scanner
// ("IPC_SCAN") as both sides use it: the channel and event names, the commands in their zero-filled
// form, the one send rule of the protocol, and the detection hand-off that the main program runs
// when the scanner asks what to do with an infected file.
//
// Send rule: a progress message replaces an older one that waits last in the sender's outgoing
// queue, and is dropped when that queue is full of others (the next one carries newer counters
// anyway, and the end of a pass carries the final ones); so progress never holds up what follows
// it. Every other message is one the receiver waits for, so its
// sender waits for room in the queue for as long as the addressee stays registered and the caller
// does not cancel. Every wait on the other program also ends when that program has gone: its
// channel is no longer registered, or the IPC service itself has ended.
#ifndef KOLVAR_SCAN_ENGINE_SCAN_CHANNEL_H_
#define KOLVAR_SCAN_ENGINE_SCAN_CHANNEL_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ipc/ipc_channel.h"
#include "scan_engine/scan_records.h"

namespace kolvar {

inline constexpr char16_t kScannerChannel[] = u"IPC_SCAN";
inline constexpr char16_t kMainChannel[] = u"ANTIVIRUS";
// Exists while the background scanner runs; setting it makes the scanner end.
inline constexpr char16_t kScannerEventName[] = u"@_KVMIPCSCAN_@";
// Exists while the main program's user interface runs.
inline constexpr char16_t kUserInterfaceEventName[] = u"@_KVMAVGUI_@";
// The main program's command word when the scanner starts it for a detection.
inline constexpr char16_t kVirusDetectedCommand[] = u"VIRUSDETECTED";
inline constexpr char16_t kMainProgram[] = u"KVAntivirus";

// Tells a wait on the other program to give up (the caller is stopping or quitting).
using CancelTest = std::function<bool()>;

enum class SendPolicy {
  kLatest,      // progress: one attempt, replacing a progress message that still waits
  kMustArrive,  // waits for room while the addressee is registered and the caller goes on
};

// How long a must-arrive message waits between attempts while the queue is full.
inline constexpr uint32_t kSendRetryMs = 10;

// A zero-filled command of `type`.
ScanCommand MakeScanCommand(uint32_t type);
// Type 21 with the folder to scan (cut to 260 characters with the terminator).
ScanCommand MakeAttachCommand(std::u16string_view folder);
// Type 20: the virus id and the action, the action written as a 32-bit value at offset 8.
ScanCommand MakeActionCommand(uint32_t virus_id, uint8_t action);

// The receivers' decoding of what arrives. A record is taken only whole (zero-filled behind what
// came), and a status or a detection only from the scanner's channel; anything else is no such
// record. The scanner keeps 4 to 532 bytes of a message as a ScanCommand.
bool DecodeScanCommand(const void* data, uint32_t length, ScanCommand* command);
bool DecodeScanStatus(const void* data, uint32_t length, std::u16string_view sender,
                      ScanStatus* status);
bool DecodeDetectionRecord(const void* data, uint32_t length, std::u16string_view sender,
                           DetectionRecord* record);
// The root folder that a type 21 asks for: "\" for an empty field, the field's text when it is a
// device path (it ends within 260 characters, begins with "\" and each of its names is the device
// name of a host name), and none otherwise: the scan then keeps its root.
std::optional<std::u16string> AttachFolder(const ScanCommand& command);

// Whether the channel `name` can still be reached: the IPC service runs and the channel is
// registered. Sleeps 5 ms first, as every registration test does.
bool ChannelReachable(IpcChannel& channel, std::u16string_view name);

// Sends under the protocol's send rule. False when the message was not queued: dropped (progress
// with a full queue), the addressee is not registered or has gone, or `cancelled` said so.
bool SendScanMessage(IpcChannel& channel, std::u16string_view addressee, const void* data,
                     uint32_t length, SendPolicy policy, const CancelTest& cancelled);

// Waits in 5 ms steps until nothing sent is still on its way. False when the addressee has gone
// or `cancelled` said so first.
bool WaitUntilSent(IpcChannel& channel, std::u16string_view addressee, const CancelTest& cancelled);

enum class WaitOutcome { kReady, kPeerGone, kCancelled };

// Waits until a message is waiting on the channel, testing every `poll_ms`. Ends with kPeerGone
// when `peer` has gone (after a last look, so that a message it sent before it left is not
// missed) and with kCancelled when `cancelled` says so.
WaitOutcome WaitForMessage(IpcChannel& channel, std::u16string_view peer, uint32_t poll_ms,
                           const CancelTest& cancelled);

enum class HandOffOutcome {
  kAnswered,     // the action was sent and has reached the scanner's mailbox
  kScannerGone,  // the scanner went away before the exchange ended
  kCancelled,    // the caller gave up
  kSendRefused,  // the answer could not be queued
};

// Chooses the action for a detection (the virus-detected dialog, or a test).
using DetectionChooser = std::function<uint8_t(const DetectionRecord& detection)>;

// The main program's side of a detection: waits for the DetectionRecord from "IPC_SCAN" (messages
// of any other size are passed over: a DetectionRecord has no type field of its own and is known
// by its size and sender), asks `choose` for the action, sends type 20 with the virus id and the
// action to the scanner and waits until it has left. *detection receives the record when one came.
HandOffOutcome HandOffDetection(IpcChannel& channel, const DetectionChooser& choose,
                                const CancelTest& cancelled, DetectionRecord* detection = nullptr);

// The answer alone: type 20 with the record's virus id and `action`, then the wait until it has
// left. A detection that cannot be put to the user now is answered with kActionNone: the scanner
// goes on, keeps the file without an action, and asks again at a later pass.
HandOffOutcome AnswerDetection(IpcChannel& channel, const DetectionRecord& record, uint8_t action,
                               const CancelTest& cancelled);

}  // namespace kolvar

#endif  // KOLVAR_SCAN_ENGINE_SCAN_CHANNEL_H_
