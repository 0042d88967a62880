// The fixture of the IPC tests: a device image with kvipcsrv, the test client program and
// kvipcstat installed, helpers that start them and wait (with bounds of seconds) for what they do,
// and a read-only look at the IPC database.
#ifndef KOLVAR_TESTS_IPC_IPC_TEST_SUPPORT_H_
#define KOLVAR_TESTS_IPC_IPC_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ipc/ipc_channel.h"
#include "ipc/ipc_database.h"
#include "platform/process.h"
#include "tests/testing/test_device.h"

namespace kolvar {

struct ReceivedMessage {
  std::u16string sender;
  std::string data;
};

class IpcTest : public ::testing::Test {
 protected:
  IpcTest();

  // Starts kvipcsrv from the image without waiting.
  platform::Process LaunchService();
  // Starts kvipcsrv and waits until its presence event exists.
  platform::Process StartService();
  // Starts the test client with its argument words.
  platform::Process StartClient(std::string_view words);
  // Starts a client that registers `name` and waits until the channel exists.
  platform::Process StartRegisteredClient(std::string_view name, std::string_view more_words = {});

  // Maps the IPC database and its request objects, as every client does.
  KVCIPCDB& Database();
  // Pid of the owner of slot `index`, 0 when free.
  uint32_t OwnerOf(uint32_t index);
  int SlotOf(std::u16string_view name);

  testing::TestDevice device_;
  std::u16string folder_;

 private:
  KVCIPCDB database_;
};

// Polls until `condition` holds, for at most `seconds`. Returns the last result.
bool WaitUntil(const std::function<bool()>& condition, double seconds = 15);
// Takes the next message from the channel, waiting at most `seconds`.
std::optional<ReceivedMessage> ReceiveWithin(IpcChannel& channel, double seconds = 15);
// Sends a text, retrying while the outgoing queue is full.
bool SendText(IpcChannel& channel, std::u16string_view to, std::string_view text);
// Waits until the process has ended and returns its exit code (or 259 when it did not end).
uint32_t ExitCodeWithin(platform::Process& process, double seconds = 15);

}  // namespace kolvar

#endif  // KOLVAR_TESTS_IPC_IPC_TEST_SUPPORT_H_
