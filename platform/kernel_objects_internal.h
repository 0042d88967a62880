// Internals shared by the mutex, event and shared-memory implementations: the per-process table
// of named objects (one descriptor, one mapping and one handle count per name and process), the
// namespace folder with its lock, the mapping of wide names to file names, and the companion record
// that keeps an object's kind beside its file.
//
// Liveness is the kernel's: every process that holds a handle keeps a shared flock on the object's
// file, so an exclusive non-blocking flock succeeds exactly when nobody holds it. All creating,
// opening and closing runs under an exclusive flock of the namespace folder's lock file, because a
// flock cannot be converted atomically. A process killed at any moment loses its flocks with its
// descriptors, which leaves at worst a file without holders; that file counts as absent and is
// reset by the next create.
#ifndef KOLVAR_PLATFORM_KERNEL_OBJECTS_INTERNAL_H_
#define KOLVAR_PLATFORM_KERNEL_OBJECTS_INTERNAL_H_

#include <sys/types.h>
#include <time.h>

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kolvar::platform::kobj {

enum class ObjectKind : uint32_t { kMutex = 1, kEvent = 2, kSharedMemory = 3 };

// The companion file ".<file name>.kind" beside every object file. Written once by the creator
// under the namespace lock, read by every opener, so that all of them agree on kind and flags.
// Layout: docs/formats.md#named-objects
inline constexpr uint32_t kRecordMagic = 0x4F424B4B;  // "KKBO" read as little-endian bytes
inline constexpr uint32_t kFlagManualReset = 1;

struct ObjectRecord {
  uint32_t magic;
  uint32_t kind;
  uint32_t flags;
  uint32_t reserved;
  uint64_t size;  // bytes of the object file
};
static_assert(sizeof(ObjectRecord) == 24);
static_assert(offsetof(ObjectRecord, kind) == 4);
static_assert(offsetof(ObjectRecord, flags) == 8);
static_assert(offsetof(ObjectRecord, size) == 16);
static_assert(std::endian::native == std::endian::little, "records are stored in host order");

// Longest file name an object name may map to; the companion adds 6 characters and must still fit
// a file name of 255 bytes.
inline constexpr size_t kMaxObjectFileName = 240;

// Maps an object name to its file name: letters, digits and "_@.-" stay, every other UTF-16 unit
// (and a leading ".", which marks our own bookkeeping files) becomes "%" and four upper-case hex
// digits. Fixed-width escapes of a character that never stays plain make the mapping injective.
// False with 206 when the result would be too long, with 87 for an empty name.
bool ObjectFileName(std::u16string_view name, std::string* file_name);

// Host folder of the namespace from the environment, without creating it: KOLVAR_RUNTIME_DIR when
// set; else the default folder ($XDG_RUNTIME_DIR/kolvar, else /dev/shm/kolvar-<uid>) in the host
// profile, and a folder of the device's own below it for a device image.
std::string NamespaceFolderPath();

// The default folder that holds a device's own namespace folder; empty when the namespace folder
// stands alone (KOLVAR_RUNTIME_DIR, or the host profile).
std::string NamespaceBasePath();

// Characters of the root's last component kept in a device's namespace name.
inline constexpr size_t kDeviceNamespaceLabelChars = 24;
// Name of a device's own namespace folder, from its canonical root: the root's last component
// (letters, digits and "_-." kept, anything else "_", at most 24 characters) and "-" with 16 hex
// digits of a hash of the whole root.
std::string DeviceNamespaceName(std::string_view canonical_root);

// One object as this process holds it. Named objects are shared by every handle of the process
// that names them; unnamed ones belong to one handle.
struct SharedObject {
  SharedObject() = default;
  ~SharedObject();
  SharedObject(const SharedObject&) = delete;
  SharedObject& operator=(const SharedObject&) = delete;

  ObjectKind kind = ObjectKind::kMutex;
  bool named = false;
  std::string key;        // folder identity + "/" + file name (named objects)
  std::string folder;     // host folder (named objects)
  std::string file_name;  // in the folder (named objects)
  dev_t folder_dev = 0;
  ino_t folder_ino = 0;
  int fd = -1;
  void* view = nullptr;
  size_t view_size = 0;
  uint32_t flags = 0;
  uint64_t size = 0;  // bytes of the object (the file's size for named ones)
  int handles = 0;    // guarded by the table's lock

  // Mutex bookkeeping of this process: the owning thread and its recursion count. Only the owner
  // writes either; other threads only compare `owner` with their own id.
  std::atomic<pid_t> owner{0};
  uint32_t recursion = 0;

  // Called under the table's lock when the last handle of this process closes. True keeps the
  // object mapped (a mutex still owned by another thread of this process, whose robust-list entry
  // lives in the mapping).
  bool (*keep_on_last_close)(SharedObject&) = nullptr;
};

struct ObjectRequest {
  ObjectKind kind = ObjectKind::kMutex;
  bool create = false;
  uint32_t flags = 0;  // for a new object
  // New object: its size. Existing shared memory: the least size it must have (0 = any).
  uint64_t size = 0;
  // Runs on a new (zero-filled, mapped) object before anyone else can open it.
  std::function<bool(SharedObject&)> initialise;
  // Given to a new object of this process (see SharedObject).
  bool (*keep_on_last_close)(SharedObject&) = nullptr;
};

// Creates or opens the object. *already_existed (create only) tells whether some handle held it.
// Null with the last error set on failure: 2 on open of a missing object, 6 when the name belongs
// to another kind, 5 for shared memory smaller than asked or a foreign namespace folder.
std::shared_ptr<SharedObject> AcquireObject(std::u16string_view name, const ObjectRequest& request,
                                            bool* already_existed);
// Drops one handle. The last handle in the system removes the object's files.
void ReleaseObject(std::shared_ptr<SharedObject> object);

// A new identifier for a handle of this process.
uint32_t NextHandleId();
// The calling thread's kernel id.
pid_t CurrentThreadId();
// The CLOCK_MONOTONIC time `timeout_ms` from now, for absolute-deadline waits.
timespec DeadlineAfter(uint32_t timeout_ms);

}  // namespace kolvar::platform::kobj

#endif  // KOLVAR_PLATFORM_KERNEL_OBJECTS_INTERNAL_H_
