// ipc_test_client: a small program of the IPC tests that owns one channel. Its one argument is a
// list of words: "name=X" registers channel X; "ctl=T" names the controlling channel, whose
// messages are commands; "echo" sends every other message back to its sender; "report=R" forwards
// "<sender>|<length>|<data>" of every other message to channel R ("<sender>#<its registration
// number>|..." with the word "registration"); "gate=E" waits for the
// named event E after registering and before the worker starts; "then=unregister" unregisters
// instead of starting the worker once the gate opens; "start" lets the channel start the service;
// "lock=M ready=E" only takes the named mutex M, sets event E and sleeps (to be killed holding it).
//
// Commands from the controller: "send <to> <count> <size> <tag>" sends count messages of size
// bytes, each beginning "<tag>#<i>;" (retrying while the outgoing queue is full); "exit".
// Exit codes: 0 after "exit", otherwise the status that made it stop (33, 37, 40, ...).
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ipc/ipc_channel.h"
#include "platform/kernel_objects.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace {

using kolvar::IpcChannel;
namespace platform = kolvar::platform;

struct Options {
  std::map<std::string, std::string> values;
  bool Has(const std::string& key) const { return values.count(key) != 0; }
  std::u16string Wide(const std::string& key) const {
    auto it = values.find(key);
    return it == values.end() ? u"" : platform::Utf8ToUtf16Lossy(it->second);
  }
};

Options Parse(const char* line) {
  Options options;
  std::istringstream words(line == nullptr ? "" : line);
  std::string word;
  while (words >> word) {
    size_t eq = word.find('=');
    if (eq == std::string::npos) {
      options.values[word] = "";
    } else {
      options.values[word.substr(0, eq)] = word.substr(eq + 1);
    }
  }
  return options;
}

[[noreturn]] void SleepForever() {
  for (;;) platform::Sleep(1000);
}

int HoldMutex(const Options& options) {
  platform::Mutex mutex;
  platform::Event ready;
  if (!mutex.Create(options.Wide("lock")) || !kolvar::Acquired(mutex.Wait())) return 1;
  if (!ready.Create(options.Wide("ready"), true, false)) return 1;
  ready.Set();
  SleepForever();
}

std::string Payload(const std::string& tag, int i, size_t size) {
  std::string text = tag + "#" + std::to_string(i) + ";";
  std::string data(size, '\0');
  for (size_t k = 0; k < size; ++k) {
    data[k] = k < text.size() ? text[k] : static_cast<char>('a' + (k * 7 + i) % 26);
  }
  return data;
}

void SendAll(IpcChannel& channel, const std::u16string& to, int count, size_t size,
             const std::string& tag) {
  for (int i = 0; i < count; ++i) {
    std::string data = Payload(tag, i, size);
    while (!channel.Send(to, data.data(), static_cast<uint32_t>(data.size()))) {
      if (channel.GetStatus() != 0) return;  // the addressee has gone
      platform::Sleep(5);
    }
  }
}

// Returns an exit code when the program should end, -1 to go on.
int Command(IpcChannel& channel, const std::string& text) {
  std::istringstream words(text);
  std::string verb;
  words >> verb;
  if (verb == "exit") {
    channel.StopWorker();
    channel.Unregister();
    return 0;
  }
  if (verb == "send") {
    std::string to, tag;
    int count = 0;
    size_t size = 0;
    words >> to >> count >> size >> tag;
    SendAll(channel, platform::Utf8ToUtf16Lossy(to), count, size, tag);
  }
  return -1;
}

void Forward(IpcChannel& channel, const Options& options, const std::u16string& sender,
             uint32_t registration, const std::string& data) {
  if (options.Has("echo")) {
    while (!channel.Send(sender, data.data(), static_cast<uint32_t>(data.size())) &&
           channel.GetStatus() == 0) {
      platform::Sleep(5);
    }
  }
  if (options.Has("report")) {
    std::string report = platform::Utf16ToUtf8(sender);
    if (options.Has("registration")) report += "#" + std::to_string(registration);
    report += "|" + std::to_string(data.size()) + "|" + data.substr(0, 64);
    while (!channel.Send(options.Wide("report"), report.data(),
                         static_cast<uint32_t>(report.size())) &&
           channel.GetStatus() == 0) {
      platform::Sleep(5);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options = Parse(argc > 1 ? argv[1] : nullptr);
  if (options.Has("lock")) return HoldMutex(options);

  IpcChannel channel(options.Has("start"), false);
  if (channel.GetStatus() != 0) return static_cast<int>(channel.GetStatus());
  if (!channel.Register(options.Wide("name"))) return static_cast<int>(channel.GetStatus());

  if (options.Has("gate")) {
    platform::Event gate;
    if (!gate.Create(options.Wide("gate"), true, false)) return 1;
    gate.Wait();
    if (options.values["then"] == "unregister") {
      int status = channel.Unregister() ? 0 : static_cast<int>(channel.GetStatus());
      if (status != 0) return status;
      SleepForever();
    }
  }
  if (!channel.StartWorker()) return static_cast<int>(channel.GetStatus());

  const std::u16string ctl = options.Wide("ctl");
  std::vector<char> buffer(kolvar::kIpcMaxMessageLength);
  for (;;) {
    uint32_t length = 0;
    std::u16string sender;
    uint32_t registration = 0;
    if (!channel.Receive(buffer.data(), &length, &sender, &registration)) {
      platform::Sleep(5);
      continue;
    }
    std::string data(buffer.data(), length);
    if (!ctl.empty() && sender == ctl) {
      if (int code = Command(channel, data); code >= 0) return code;
    } else {
      Forward(channel, options, sender, registration, data);
    }
  }
}
