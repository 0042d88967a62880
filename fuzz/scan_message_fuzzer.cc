// The scan channel's messages from outside, decoded as each receiver decodes them: a command as
// the scanner takes it (its attach folder, its action for the infection list), and a status or a
// detection record as the main program takes it (the progress text, the path shown and mapped
// to the host). The first byte says who sent it; the rest is the message.
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scan_engine/infection_list.h"
#include "scan_engine/scan_channel.h"
#include "scan_engine/scan_client.h"

namespace {

using namespace kolvar;

const char16_t* const kSenders[] = {u"IPC_SCAN", u"ANTIVIRUS", u""};

void CheckBelowRoot(std::u16string_view device_path) {
  const std::string root = platform::DeviceRoot();
  const std::string host = platform::HostPath(device_path);
  fuzz::Check(host.compare(0, root.size(), root) == 0, "a path from a message leaves the root");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpDevice();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  const std::u16string sender = kSenders[input.Take<uint8_t>() % 3];
  const std::span<const uint8_t> message = input.Rest();
  const uint32_t length = static_cast<uint32_t>(message.size());

  ScanCommand command;
  if (DecodeScanCommand(message.data(), length, &command)) {
    if (const std::optional<std::u16string> folder = AttachFolder(command)) {
      fuzz::Check(!folder->empty() && folder->front() == u'\\' && folder->size() < 260,
                  "an attach folder that is no device path was taken");
      CheckBelowRoot(*folder);
    }
    InfectionList list;
    RememberedActions remembered;
    list.Append(u"\\Fix", u"x.exe", 0, command.virus_id, kActionNone);
    const bool set = SetInfectionAction(list, remembered, command.virus_id, command.action);
    fuzz::Check(set == (command.action >= kActionDelete && command.action <= kActionIgnoreAll),
                "an action was set that is none, or a sound one was not");
  }
  ScanStatus status;
  if (DecodeScanStatus(message.data(), length, sender, &status)) {
    platform::Utf16ToUtf8(ProgressText(status));
  }
  DetectionRecord record;
  if (DecodeDetectionRecord(message.data(), length, sender, &record)) {
    const std::u16string_view path = WideField(record.path);
    platform::Utf16ToUtf8(path);
    std::string host;
    if (platform::CheckedHostPath(path, &host)) CheckBelowRoot(path);
  }
  return 0;
}
