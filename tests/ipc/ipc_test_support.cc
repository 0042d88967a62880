// The IPC tests' fixture and helpers; see ipc_test_support.h.
#include "tests/ipc/ipc_test_support.h"

#include <chrono>
#include <thread>

#include "ipc/ipc_names.h"
#include "platform/error.h"
#include "platform/kernel_objects.h"
#include "platform/path.h"
#include "platform/text.h"

namespace kolvar {

IpcTest::IpcTest() {
  folder_ = device_.InstallPrograms({"kvipcsrv", "ipc_test_client", "kvipcstat"});
}

platform::Process IpcTest::LaunchService() {
  platform::Process process;
  EXPECT_TRUE(
      platform::Process::Start(platform::JoinPath(folder_, kIpcServiceProgram), u"", {}, &process));
  return process;
}

platform::Process IpcTest::StartService() {
  platform::Process process = LaunchService();
  EXPECT_TRUE(WaitUntil([] { return IpcConnection::IsServiceRunning(); }));
  return process;
}

platform::Process IpcTest::StartClient(std::string_view words) {
  platform::Process process;
  EXPECT_TRUE(platform::Process::Start(platform::JoinPath(folder_, u"ipc_test_client"),
                                       platform::Utf8ToUtf16Lossy(words), {}, &process));
  return process;
}

platform::Process IpcTest::StartRegisteredClient(std::string_view name,
                                                 std::string_view more_words) {
  std::string words = "name=" + std::string(name) + " " + std::string(more_words);
  platform::Process process = StartClient(words);
  std::u16string wide = platform::Utf8ToUtf16Lossy(name);
  EXPECT_TRUE(WaitUntil([&] { return SlotOf(wide) >= 0 || !process.IsAlive(); }));
  EXPECT_GE(SlotOf(wide), 0) << "client " << name << " did not register";
  return process;
}

KVCIPCDB& IpcTest::Database() {
  if (!database_.IsOpen()) {
    EXPECT_TRUE(WaitUntil([&] { return database_.OpenIPCDatabase(); }));
  }
  return database_;
}

uint32_t IpcTest::OwnerOf(uint32_t index) {
  const IpcChannelSlot& slot = Database().slot(index);
  return LoadShared(slot.in_use) == 1 ? LoadShared(slot.owner_pid) : 0;
}

int IpcTest::SlotOf(std::u16string_view name) { return Database().FindChannel(name); }

bool WaitUntil(const std::function<bool()>& condition, double seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::optional<ReceivedMessage> ReceiveWithin(IpcChannel& channel, double seconds) {
  char buffer[kIpcMaxMessageLength];
  uint32_t length = 0;
  ReceivedMessage message;
  if (!WaitUntil([&] { return channel.Receive(buffer, &length, &message.sender); }, seconds)) {
    return std::nullopt;
  }
  message.data.assign(buffer, length);
  return message;
}

bool SendText(IpcChannel& channel, std::u16string_view to, std::string_view text) {
  return WaitUntil([&] {
           return channel.Send(to, text.data(), static_cast<uint32_t>(text.size())) ||
                  channel.GetStatus() != kStatusOk;
         }) &&
         channel.GetStatus() == kStatusOk;
}

uint32_t ExitCodeWithin(platform::Process& process, double seconds) {
  process.Wait(static_cast<uint32_t>(seconds * 1000));
  uint32_t code = platform::kStillActive;
  process.GetExitCode(&code);
  return code;
}

}  // namespace kolvar
