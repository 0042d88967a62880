// A stand-in for the main program that the scanner starts with "VIRUSDETECTED" when it finds a
// virus while no user interface runs: it registers "ANTIVIRUS" as the main program does, records
// its command line and the first message it gets, answers the detection with the action named by
// KOLVAR_TEST_ANSWER and ends. Its report goes to the host file KOLVAR_TEST_REPORT.
#include <stdlib.h>

#include <cstring>
#include <fstream>
#include <string>

#include "ipc/ipc_channel.h"
#include "platform/kernel_objects.h"
#include "platform/text.h"
#include "scan_engine/scan_channel.h"

int main(int argc, char** argv) {
  using namespace kolvar;
  const char* report_path = getenv("KOLVAR_TEST_REPORT");
  const char* answer_text = getenv("KOLVAR_TEST_ANSWER");
  if (report_path == nullptr) return 2;
  std::ofstream report(report_path, std::ios::app);
  report << "command=" << (argc > 1 ? argv[1] : "") << "\n" << std::flush;

  platform::Event user_interface;
  user_interface.Create(kUserInterfaceEventName, false, false);
  IpcChannel channel(/*start_service=*/true, /*private_heaps=*/false);
  if (channel.GetStatus() != kStatusOk || !channel.Register(kMainChannel) ||
      !channel.StartWorker()) {
    report << "channel=failed\n";
    return 3;
  }

  // The first message is looked at as it comes; the hand-off then runs as the main program's.
  if (WaitForMessage(channel, kScannerChannel, 15, nullptr) != WaitOutcome::kReady) {
    report << "first=none\n";
    return 4;
  }
  uint8_t buffer[kIpcMaxMessageLength];
  uint32_t length = 0;
  std::u16string sender;
  channel.Receive(buffer, &length, &sender);
  report << "first=" << length << "\n" << std::flush;
  DetectionRecord detection = ZeroRecord<DetectionRecord>();
  const uint8_t action = static_cast<uint8_t>(answer_text != nullptr ? atoi(answer_text) : 0);
  if (length == sizeof(DetectionRecord)) {
    std::memcpy(&detection, buffer, sizeof(detection));
    const ScanCommand answer = MakeActionCommand(detection.virus_id, action);
    SendScanMessage(channel, kScannerChannel, &answer, sizeof(answer), SendPolicy::kMustArrive,
                    nullptr);
    WaitUntilSent(channel, kScannerChannel, nullptr);
  } else {
    HandOffDetection(
        channel, [&](const DetectionRecord&) { return action; }, nullptr, &detection);
  }
  report << "path=" << platform::Utf16ToUtf8(WideField(detection.path)) << "\n"
         << "virus=" << detection.virus_id << "\n"
         << "done\n"
         << std::flush;
  channel.StopWorker();
  channel.Unregister();
  return 0;
}
