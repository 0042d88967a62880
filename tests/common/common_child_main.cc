// A child program for the common library's cross-program tests. Its one command-line argument
// names a role:
//
//   lock KIND NAME         takes LockableObject(true, KIND, NAME)'s lock, sets the event
//                          "C14HELD", waits for "C14RELEASE", unlocks and ends with 0
//   hang KIND NAME         takes the lock, sets "C14HELD" and waits to be killed
//   block NAME SIZE HEX    opens SharedBlock(NAME, SIZE), expects it not new and holding the bytes
//                          HEX, writes them back reversed and ends with 0 (10-13 on failure)
#include <chrono>
#include <cstdint>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/lockable_object.h"
#include "common/shared_block.h"
#include "platform/kernel_objects.h"

namespace {

using kolvar::LockableObject;
using kolvar::SharedBlock;
using kolvar::platform::Event;
using kolvar::platform::WaitResult;

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::vector<unsigned char> FromHex(const std::string& hex) {
  std::vector<unsigned char> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

bool SignalHeld() {
  Event held;
  return held.Create(u"C14HELD", true, false) && held.Set();
}

int HoldLock(int kind, const std::string& name, bool hang) {
  LockableObject object(true, kind, Wide(name));
  object.Lock();
  if (!SignalHeld()) return 2;
  if (hang) {
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  Event release;
  if (!release.Create(u"C14RELEASE", true, false)) return 3;
  const bool released = release.Wait(60000) == WaitResult::kSignaled;
  object.Unlock();
  return released ? 0 : 4;
}

int CheckBlock(const std::string& name, uint32_t size, const std::string& hex) {
  SharedBlock block(Wide(name), size);
  if (!block.IsReady()) return 10;
  if (block.IsNew()) return 11;
  const std::vector<unsigned char> expected = FromHex(hex);
  std::vector<unsigned char> read(size);
  if (!block.Read(read.data(), size) || read != expected) return 12;
  std::vector<unsigned char> reversed(expected.rbegin(), expected.rend());
  return block.Write(reversed.data(), size) ? 0 : 13;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  std::istringstream in(argv[1]);
  std::string role, name;
  in >> role;
  if (role == "lock" || role == "hang") {
    int kind = 0;
    in >> kind >> name;
    return HoldLock(kind, name, role == "hang");
  }
  if (role == "block") {
    uint32_t size = 0;
    std::string hex;
    in >> name >> size >> hex;
    return CheckBlock(name, size, hex);
  }
  return 1;
}
