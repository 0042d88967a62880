// Named mutexes, named events and named shared memory with the device's semantics, across real
// processes: one namespace for every kind in the per-user folder (KOLVAR_RUNTIME_DIR, else
// $XDG_RUNTIME_DIR/kolvar, else /dev/shm/kolvar-<uid>; a device image without KOLVAR_RUNTIME_DIR
// gets a folder of its own below that one, named from its root), an object exists exactly while
// some process holds a handle to it, and a process killed at any moment leaves nothing that blocks
// the next one. An empty name gives an unnamed, in-process object of the same kind.
#ifndef KOLVAR_PLATFORM_KERNEL_OBJECTS_H_
#define KOLVAR_PLATFORM_KERNEL_OBJECTS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kolvar::platform {

inline constexpr uint32_t kInfinite = 0xFFFFFFFF;

enum class WaitResult {
  kSignaled,   // the event was set, or the mutex is now owned
  kAbandoned,  // the mutex is owned; its former owner ended while holding it
  kTimeout,
  kFailed,  // last error set
};

// Host folder of the namespace, created 0700 when missing (with the default folder that holds a
// device's own).
std::string NamespaceFolder();

// Why named objects cannot be used in the namespace folder, in words with its path: it is
// missing, no folder, another user's, open to group or others, or it holds a file of another user
// (each refused, since others could plant or read objects). Empty when none of these holds.
std::string NamespaceFolderProblem();

// Whether an object of that name (any kind) exists now, i.e. some process holds a handle.
bool ObjectExists(std::u16string_view name);

// A recursive mutex: named ones are shared by every process that builds the same name.
class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  // Creates or opens the mutex. *already_existed tells whether another handle held it (the
  // device's 183). With initially_owned the caller owns it on success.
  bool Create(std::u16string_view name, bool initially_owned = false,
              bool* already_existed = nullptr);
  // Opens an existing named mutex; false with 2 when none exists.
  bool Open(std::u16string_view name);
  WaitResult Wait(uint32_t timeout_ms = kInfinite);
  // False with 288 when the calling thread does not own it.
  bool Release();
  void Close();
  bool IsValid() const;
  // An identifier of this handle in this process, for information fields only.
  uint32_t Id() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A manual- or auto-reset event. Set wakes every waiter; with auto reset exactly one of them
// (or the next waiter) consumes the signal.
class Event {
 public:
  Event();
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // Creates or opens; an existing event keeps its own reset kind and state.
  bool Create(std::u16string_view name, bool manual_reset, bool initial_state,
              bool* already_existed = nullptr);
  bool Open(std::u16string_view name);  // false with 2 when none exists
  bool Set();
  bool Reset();
  // kSignaled or kTimeout; timeout 0 tests without waiting.
  WaitResult Wait(uint32_t timeout_ms = kInfinite);
  void Close();
  bool IsValid() const;
  uint32_t Id() const;

 private:
  friend class EventWatch;
  struct State;
  std::unique_ptr<State> state_;
};

// Sleeps until one of several events changes: for a thread that serves several events at once (a
// mailbox worker), which adds them, looks at them and does its work, then sleeps until any of them
// was Set or Reset by anyone after it was added, or the timeout passes. A change made while it
// worked ends the sleep at once, so nothing is missed between the look and the sleep. Consumes
// nothing; it may wake early, so the caller looks again.
class EventWatch {
 public:
  EventWatch();
  ~EventWatch();
  EventWatch(const EventWatch&) = delete;
  EventWatch& operator=(const EventWatch&) = delete;

  // Watches the event from its state now; true when it is set now. An invalid event is skipped.
  bool Add(Event& event);
  void Clear();
  void Wait(uint32_t timeout_ms);

 private:
  struct Watched {
    void* word;
    uint32_t seen;
    bool shared;
  };
  std::vector<Watched> watched_;
};

// A named block of shared memory. Its file in the namespace folder holds exactly its bytes, so
// any tool can read it; a new block (or a crash leftover with no holder) starts zero-filled.
class SharedMemory {
 public:
  SharedMemory();
  ~SharedMemory();
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Creates or opens a block of `size` bytes. An existing block smaller than `size` fails with 5.
  bool Create(std::u16string_view name, size_t size, bool* already_existed = nullptr);
  bool Open(std::u16string_view name, size_t size);  // false with 2 when none exists
  void Close();
  bool IsValid() const;
  void* data() const;
  size_t size() const;
  uint32_t Id() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_KERNEL_OBJECTS_H_
