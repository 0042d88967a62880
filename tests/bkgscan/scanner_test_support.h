// The fixture of the background scanner's tests: a device image with kvipcsrv and KVBkgScan
// installed beside a signature database of two test viruses, the configuration written as another
// program would, the message-box log, and the test program's own channel "ANTIVIRUS" through which
// it speaks the scan protocol byte by byte (or lends it to a ScanClient).
#ifndef KOLVAR_TESTS_BKGSCAN_SCANNER_TEST_SUPPORT_H_
#define KOLVAR_TESTS_BKGSCAN_SCANNER_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ipc/ipc_channel.h"
#include "platform/kernel_objects.h"
#include "platform/process.h"
#include "scan_engine/infection_list.h"
#include "scan_engine/scan_records.h"
#include "tests/testing/test_device.h"

namespace kolvar {

inline constexpr uint32_t kVirusA = 0x41;
inline constexpr uint32_t kVirusB = 0x42;
inline constexpr char16_t kInstallFolder[] = u"\\Program Files\\Kolvar";
inline constexpr char16_t kQuarantine[] = u"\\Program Files\\Kolvar\\Quarantine";
inline constexpr char16_t kRepositoryIndex[] = u"\\Program Files\\Kolvar\\KVRepository.dat";
inline constexpr char16_t kResultFile[] = u"\\Temp\\inffile.lst";

std::string CleanBytes(size_t size);
// `size` bytes holding the signature of `virus` (kVirusA or kVirusB).
std::string InfectedBytes(size_t size, uint32_t virus);

// Polls until `condition` holds, for at most `seconds` (a failure bound, not an expectation).
bool WaitUntil(const std::function<bool()>& condition, double seconds = 60);

struct Message {
  std::u16string sender;
  std::string data;

  bool IsStatus() const { return data.size() == sizeof(ScanStatus); }
  bool IsCommand() const { return data.size() == sizeof(ScanCommand); }
  bool IsDetection() const { return data.size() == sizeof(DetectionRecord); }
  ScanStatus status() const;
  ScanCommand command() const;
  DetectionRecord detection() const;
  // The type of a status, 0 for anything else.
  uint32_t StatusType() const { return IsStatus() ? status().type : 0; }
};

class ScannerTest : public ::testing::Test {
 protected:
  ScannerTest();
  ~ScannerTest() override;

  // The configuration file as another program leaves it; nullopt leaves a key out.
  void WriteConfiguration(std::optional<uint32_t> background, std::optional<uint32_t> pacing);
  void StartService();
  // Registers "ANTIVIRUS" (or `name`) on the test program's channel, and with `user_interface`
  // creates the event by which the scanner knows that the user interface runs.
  void ConnectAs(std::u16string_view name = u"ANTIVIRUS", bool user_interface = true);
  // Unregisters the test program's channel.
  void Disconnect();
  platform::Process StartScanner();
  // Starts the scanner and waits until its channel is registered.
  platform::Process StartConnectedScanner();
  IpcChannel& channel() { return *channel_; }

  void Send(const ScanCommand& command);
  std::optional<Message> Next(double seconds = 60);
  // Takes messages until a status of `type` comes; the statuses before it land in *before.
  std::optional<ScanStatus> NextStatusOfType(uint32_t type,
                                             std::vector<ScanStatus>* before = nullptr,
                                             double seconds = 120);
  // Takes messages until the reply 22 comes.
  std::optional<ScanCommand> Attach(std::u16string_view folder);
  // True when no message at all arrives within `seconds` (used only after a barrier message has
  // shown that everything sent before has arrived).
  bool QuietFor(double seconds);

  // The boxes shown so far, as JSON lines of the box log.
  std::vector<std::string> Boxes() const;
  // The JSON line of a box of the scanner.
  static std::string ScannerBox(std::u16string_view text, uint32_t style = 16);
  bool WaitForBox(const std::string& line, double seconds = 60) const;

  // Exit code of an ended process (259 when it did not end within `seconds`).
  static uint32_t ExitCodeWithin(platform::Process& process, double seconds = 60);
  std::vector<InfectionRecord> ResultRecords(uint32_t* declared = nullptr) const;

  testing::TestDevice device_;
  std::u16string folder_;
  std::string box_log_;
  platform::Process service_;
  std::unique_ptr<IpcChannel> channel_;
  platform::Event user_interface_;
};

}  // namespace kolvar

#endif  // KOLVAR_TESTS_BKGSCAN_SCANNER_TEST_SUPPORT_H_
