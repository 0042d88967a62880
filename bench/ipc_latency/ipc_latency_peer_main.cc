// The benchmark's other channels, one program per mode (the argument is one string of words):
// "echo NAME FROM" registers NAME and sends every message from FROM back to it, dropping others;
// "sink NAME COUNT TO" counts messages and sends "done" to TO after every COUNT of them;
// "flood NAME TARGET" sends 64-byte messages to TARGET as fast as its queue takes them.
#include <sstream>
#include <string>
#include <vector>

#include "ipc/ipc_channel.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace {

namespace platform = kolvar::platform;

void SendRetrying(kolvar::IpcChannel& channel, const std::u16string& to, const void* data,
                  uint32_t length) {
  while (!channel.Send(to, data, length) && channel.GetStatus() == 0) platform::Sleep(1);
}

}  // namespace

int main(int argc, char** argv) {
  std::istringstream words(argc > 1 ? argv[1] : "");
  std::string mode, name, third, fourth;
  words >> mode >> name >> third >> fourth;
  kolvar::IpcChannel channel(false, false);
  if (channel.GetStatus() != 0) return static_cast<int>(channel.GetStatus());
  if (!channel.Register(platform::Utf8ToUtf16Lossy(name))) {
    return static_cast<int>(channel.GetStatus());
  }
  if (!channel.StartWorker()) return static_cast<int>(channel.GetStatus());

  if (mode == "flood") {
    const std::u16string target = platform::Utf8ToUtf16Lossy(third);
    const std::string filler(64, 'f');
    for (;;) SendRetrying(channel, target, filler.data(), static_cast<uint32_t>(filler.size()));
  }

  const std::u16string peer = platform::Utf8ToUtf16Lossy(mode == "echo" ? third : fourth);
  const long sink_count = mode == "sink" ? std::stol(third) : 0;
  long received = 0;
  std::vector<char> buffer(kolvar::kIpcMaxMessageLength);
  for (;;) {
    uint32_t length = 0;
    std::u16string sender;
    if (!channel.Receive(buffer.data(), &length, &sender)) {
      platform::Sleep(1);
      continue;
    }
    if (mode == "echo" && sender == peer) {
      SendRetrying(channel, peer, buffer.data(), length);
    } else if (mode == "sink" && ++received % sink_count == 0) {
      SendRetrying(channel, peer, "done", 4);
    }
  }
}
