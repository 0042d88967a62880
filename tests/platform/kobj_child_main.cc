// A driver for kernel-object tests across processes: it reads one command per line from standard
// input, works on mutexes, events and shared memory kept in named slots, and answers each command
// with one line on standard output. Tests start several of these, script them, and kill them at
// chosen moments. "-" as an object name stands for the empty name (an unnamed object).
//
//   mutex SLOT create NAME OWNED | open NAME | wait MS | release
//   event SLOT create NAME MANUAL INITIAL | open NAME | set | reset | wait MS
//   shm SLOT create NAME SIZE | open NAME SIZE | write OFFSET TEXT | read OFFSET LENGTH
//   close SLOT | exists NAME | count MUTEX BLOCK TIMES | churn ROUNDS NAME... | fds | exit
#include <dirent.h>
#include <sched.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/kernel_objects.h"

namespace {

using kolvar::platform::Event;
using kolvar::platform::GetLastError;
using kolvar::platform::Mutex;
using kolvar::platform::SharedMemory;
using kolvar::platform::WaitResult;

std::u16string Wide(const std::string& name) {
  if (name == "-") return {};
  return std::u16string(name.begin(), name.end());  // the tests use ASCII names
}

std::string Result(WaitResult result) {
  switch (result) {
    case WaitResult::kSignaled:
      return "signaled";
    case WaitResult::kAbandoned:
      return "abandoned";
    case WaitResult::kTimeout:
      return "timeout";
    case WaitResult::kFailed:
      break;
  }
  return "failed " + std::to_string(GetLastError());
}

std::string Status(bool ok) { return ok ? "ok" : "err " + std::to_string(GetLastError()); }

std::string Created(bool ok, bool existed) {
  return ok ? std::string("ok ") + (existed ? "1" : "0") : Status(false);
}

struct Slots {
  std::map<std::string, std::unique_ptr<Mutex>> mutexes;
  std::map<std::string, std::unique_ptr<Event>> events;
  std::map<std::string, std::unique_ptr<SharedMemory>> blocks;

  template <typename T>
  T& Get(std::map<std::string, std::unique_ptr<T>>& map, const std::string& slot) {
    auto& entry = map[slot];
    if (!entry) entry = std::make_unique<T>();
    return *entry;
  }
};

std::string DoMutex(Mutex& mutex, const std::string& verb, std::istringstream& in) {
  std::string name;
  if (verb == "create") {
    int owned = 0;
    in >> name >> owned;
    bool existed = false;
    bool ok = mutex.Create(Wide(name), owned != 0, &existed);
    return Created(ok, existed);
  }
  if (verb == "open") {
    in >> name;
    return Status(mutex.Open(Wide(name)));
  }
  if (verb == "wait") {
    uint32_t ms = 0;
    in >> ms;
    return Result(mutex.Wait(ms));
  }
  if (verb == "release") return Status(mutex.Release());
  return "bad command";
}

std::string DoEvent(Event& event, const std::string& verb, std::istringstream& in) {
  std::string name;
  if (verb == "create") {
    int manual = 0, initial = 0;
    in >> name >> manual >> initial;
    bool existed = false;
    bool ok = event.Create(Wide(name), manual != 0, initial != 0, &existed);
    return Created(ok, existed);
  }
  if (verb == "open") {
    in >> name;
    return Status(event.Open(Wide(name)));
  }
  if (verb == "set") return Status(event.Set());
  if (verb == "reset") return Status(event.Reset());
  if (verb == "wait") {
    uint32_t ms = 0;
    in >> ms;
    return Result(event.Wait(ms));
  }
  return "bad command";
}

std::string DoBlock(SharedMemory& block, const std::string& verb, std::istringstream& in) {
  std::string name;
  size_t size = 0;
  if (verb == "create") {
    in >> name >> size;
    bool existed = false;
    bool ok = block.Create(Wide(name), size, &existed);
    return Created(ok, existed);
  }
  if (verb == "open") {
    in >> name >> size;
    return Status(block.Open(Wide(name), size));
  }
  size_t offset = 0;
  in >> offset;
  if (verb == "write") {
    std::string text;
    in >> text;
    if (!block.IsValid() || offset + text.size() > block.size()) return "err range";
    std::memcpy(static_cast<char*>(block.data()) + offset, text.data(), text.size());
    return "ok";
  }
  if (verb == "read") {
    size_t length = 0;
    in >> length;
    if (!block.IsValid() || offset + length > block.size()) return "err range";
    std::string hex = "ok ";
    const auto* bytes = static_cast<const unsigned char*>(block.data()) + offset;
    for (size_t i = 0; i < length; ++i) {
      char digits[3];
      std::snprintf(digits, sizeof(digits), "%02x", bytes[i]);
      hex += digits;
    }
    return hex;
  }
  return "bad command";
}

// Increments a 64-bit counter at the start of a block under a named mutex, with a yield between
// read and write so that any lapse of exclusion loses counts.
std::string Count(const std::string& mutex_name, const std::string& block_name, int times) {
  Mutex mutex;
  SharedMemory block;
  if (!mutex.Create(Wide(mutex_name)) || !block.Open(Wide(block_name), sizeof(int64_t)))
    return Status(false);
  auto* counter = static_cast<volatile int64_t*>(block.data());
  for (int i = 0; i < times; ++i) {
    const WaitResult result = mutex.Wait();
    if (result != WaitResult::kSignaled) return Result(result);
    const int64_t seen = *counter;
    sched_yield();
    *counter = seen + 1;
    if (!mutex.Release()) return Status(false);
  }
  return "ok";
}

// Creates, uses and closes a mutex, an event and a block for every name, round after round; any
// failure is counted. Abandoned mutexes are expected when the test kills other churners.
std::string Churn(int rounds, const std::vector<std::string>& names) {
  int failures = 0;
  for (int round = 0; round < rounds; ++round) {
    for (const std::string& name : names) {
      Mutex mutex;
      Event event;
      SharedMemory block;
      if (!mutex.Create(Wide("M" + name))) {
        ++failures;
        continue;
      }
      const WaitResult result = mutex.Wait(30000);
      if (result != WaitResult::kSignaled && result != WaitResult::kAbandoned) {
        ++failures;
        continue;
      }
      if (!event.Create(Wide("E" + name), (round & 1) != 0, false) ||
          !block.Create(Wide("S" + name), 4096)) {
        ++failures;
      } else {
        static_cast<unsigned char*>(block.data())[round % 4096] = 1;
        event.Set();
        event.Wait(0);
      }
      if (!mutex.Release()) ++failures;
    }
  }
  return "ok " + std::to_string(failures);
}

// Descriptors open in this process beyond the standard three (the listing's own excepted).
std::string OpenDescriptors() {
  std::string listing = "ok";
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return "err";
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || std::stoi(name) == dirfd(dir) || std::stoi(name) <= 2)
      continue;
    char target[512] = {};
    ssize_t n = readlink(("/proc/self/fd/" + name).c_str(), target, sizeof(target) - 1);
    listing += " " + name + "=" + (n > 0 ? std::string(target, static_cast<size_t>(n)) : "?");
  }
  closedir(dir);
  return listing;
}

std::string Execute(Slots& slots, const std::string& line) {
  std::istringstream in(line);
  std::string command, slot, verb;
  in >> command;
  if (command == "mutex" || command == "event" || command == "shm") {
    in >> slot >> verb;
    if (command == "mutex") return DoMutex(slots.Get(slots.mutexes, slot), verb, in);
    if (command == "event") return DoEvent(slots.Get(slots.events, slot), verb, in);
    return DoBlock(slots.Get(slots.blocks, slot), verb, in);
  }
  if (command == "close") {
    in >> slot;
    slots.mutexes.erase(slot);
    slots.events.erase(slot);
    slots.blocks.erase(slot);
    return "ok";
  }
  if (command == "exists") {
    std::string name;
    in >> name;
    return kolvar::platform::ObjectExists(Wide(name)) ? "1" : "0";
  }
  if (command == "count") {
    std::string mutex_name, block_name;
    int times = 0;
    in >> mutex_name >> block_name >> times;
    return Count(mutex_name, block_name, times);
  }
  if (command == "churn") {
    int rounds = 0;
    in >> rounds;
    std::vector<std::string> names;
    for (std::string name; in >> name;) names.push_back(name);
    return Churn(rounds, names);
  }
  if (command == "fds") return OpenDescriptors();
  return "bad command";
}

}  // namespace

int main() {
  Slots slots;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line == "exit") break;
    const std::string reply = Execute(slots, line) + "\n";
    if (write(STDOUT_FILENO, reply.data(), reply.size()) < 0) return 1;
  }
  return 0;
}
