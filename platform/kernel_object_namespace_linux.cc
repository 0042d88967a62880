// The namespace of named kernel objects: the per-user folder and its lock, the mapping of names to
// files, and the per-process table through which mutexes, events and shared memory create, open
// and close their files. See kernel_objects_internal.h for the locking rules.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/error.h"
#include "platform/kernel_objects.h"
#include "platform/kernel_objects_internal.h"
#include "platform/path.h"

namespace kolvar::platform {
namespace kobj {
namespace {

constexpr char kLockFileName[] = ".lock";
constexpr char kCompanionSuffix[] = ".kind";

bool StaysPlain(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         c == u'_' || c == u'@' || c == u'.' || c == u'-';
}

std::string CompanionName(const std::string& file_name) {
  return "." + file_name + kCompanionSuffix;
}

// flock that survives signals.
int LockFile(int fd, int operation) {
  int rc;
  do {
    rc = flock(fd, operation);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

// The namespace folder, opened and checked: a directory of ours that nobody else may enter. A
// folder that others can reach could let them plant or read objects, so it is refused rather than
// repaired.
class Folder {
 public:
  ~Folder() {
    if (lock_fd_ >= 0) close(lock_fd_);
    if (dir_fd_ >= 0) close(dir_fd_);
  }

  // `base`, when given, is the user's folder that holds this one (a device's own namespace below
  // the default one); it must be as private as the folder, or others could swap the folder away.
  bool Open(const std::string& path, bool create, const std::string& base = {}) {
    path_ = path;
    if (path.empty()) return Fail(kErrorPathNotFound);
    if (!base.empty() && !CheckBase(base, create)) return false;
    dir_fd_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd_ < 0 && errno == ENOENT && create) {
      if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return FailWithErrno(errno);
      dir_fd_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (dir_fd_ < 0) return FailWithErrno(errno == ENOENT ? ENOTDIR : errno);
    struct stat st;
    if (fstat(dir_fd_, &st) != 0) return FailWithErrno(errno);
    if (st.st_uid != geteuid() || (st.st_mode & 077) != 0) return Fail(kErrorAccessDenied);
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    return true;
  }

  static bool CheckBase(const std::string& base, bool create) {
    if (create && mkdir(base.c_str(), 0700) != 0 && errno != EEXIST) return FailWithErrno(errno);
    struct stat st;
    if (stat(base.c_str(), &st) != 0) return FailWithErrno(errno == ENOENT ? ENOTDIR : errno);
    if (!S_ISDIR(st.st_mode)) return FailWithErrno(ENOTDIR);
    if (st.st_uid != geteuid() || (st.st_mode & 077) != 0) return Fail(kErrorAccessDenied);
    return true;
  }

  // Exclusive lock of the whole namespace, released by close (or by the kernel when we die).
  bool Lock() {
    lock_fd_ = openat(dir_fd_, kLockFileName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lock_fd_ < 0) return FailWithErrno(errno);
    // Another user's lock file would let that user hold every program of ours up.
    struct stat st;
    if (fstat(lock_fd_, &st) != 0) return FailWithErrno(errno);
    if (st.st_uid != geteuid()) return Fail(kErrorAccessDenied);
    if (LockFile(lock_fd_, LOCK_EX) != 0) return FailWithErrno(errno);
    return true;
  }

  // The companion goes first: a process killed in between leaves an object file without holders
  // and without record, which every later look treats as a leftover and clears.
  void RemoveObjectFiles(const std::string& file_name) const {
    unlinkat(dir_fd_, CompanionName(file_name).c_str(), 0);
    unlinkat(dir_fd_, file_name.c_str(), 0);
  }

  int dir_fd() const { return dir_fd_; }
  dev_t dev() const { return dev_; }
  ino_t ino() const { return ino_; }
  const std::string& path() const { return path_; }
  std::string Key(const std::string& file_name) const {
    return std::to_string(dev_) + ":" + std::to_string(ino_) + "/" + file_name;
  }

 private:
  std::string path_;
  int dir_fd_ = -1;
  int lock_fd_ = -1;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
};

// Named objects this process holds, by folder identity and file name. Also holds objects whose
// last handle closed while another thread still owned them (handles == 0), so that a later open in
// this process finds the object that still exists.
struct Table {
  std::mutex mutex;
  std::unordered_map<std::string, std::shared_ptr<SharedObject>> objects;
  std::vector<std::shared_ptr<SharedObject>> kept_unnamed;  // never reopened, kept mapped
};

Table& TheTable() {
  static Table* table = new Table;  // never destroyed: handles may close during static teardown
  return *table;
}

// Held elsewhere in this process under the same name: no flock test, since the process's own
// descriptor is the holder.
std::shared_ptr<SharedObject> AddHandle(const std::shared_ptr<SharedObject>& object,
                                        const ObjectRequest& request, bool* already_existed) {
  if (object->kind != request.kind) return Fail(kErrorInvalidHandle), nullptr;
  if (request.kind == ObjectKind::kSharedMemory && request.size > object->size)
    return Fail(kErrorAccessDenied), nullptr;
  ++object->handles;
  if (already_existed) *already_existed = true;
  return object;
}

bool WriteRecord(const Folder& folder, const std::string& file_name, const ObjectRecord& record) {
  int fd = openat(folder.dir_fd(), CompanionName(file_name).c_str(),
                  O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return FailWithErrno(errno);
  ssize_t n;
  do {
    n = write(fd, &record, sizeof(record));
  } while (n < 0 && errno == EINTR);
  int saved = errno;
  close(fd);
  if (n != static_cast<ssize_t>(sizeof(record))) return FailWithErrno(n < 0 ? saved : ENOSPC);
  return true;
}

// The companion of an object that some process holds. Its creator wrote it under the namespace
// lock before anyone could open the object, so anything unreadable here was tampered with.
bool ReadRecord(const Folder& folder, const std::string& file_name, ObjectRecord* record) {
  int fd =
      openat(folder.dir_fd(), CompanionName(file_name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return Fail(kErrorInvalidHandle);
  *record = {};
  ssize_t n;
  do {
    n = read(fd, record, sizeof(*record));
  } while (n < 0 && errno == EINTR);
  close(fd);
  if (n != static_cast<ssize_t>(sizeof(*record)) || record->magic != kRecordMagic)
    return Fail(kErrorInvalidHandle);
  return true;
}

bool MapObject(SharedObject* object, size_t size) {
  if (size == 0) return Fail(kErrorInvalidParameter);
  void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, object->fd, 0);
  if (view == MAP_FAILED) return FailWithErrno(errno);
  object->view = view;
  object->view_size = size;
  return true;
}

// Nobody holds the file (we have it exclusively): it is new or left by a process that died. Make
// it new: the record first, then the contents zero-filled to the size. posix_fallocate reserves
// the pages now, so a full tmpfs fails here instead of raising SIGBUS on a later store.
bool ResetObject(const Folder& folder, SharedObject* object, const ObjectRequest& request) {
  if (request.size == 0 || request.size > static_cast<uint64_t>(SIZE_MAX / 2))
    return Fail(kErrorInvalidParameter);
  ObjectRecord record{};
  record.magic = kRecordMagic;
  record.kind = static_cast<uint32_t>(request.kind);
  record.flags = request.flags;
  record.size = request.size;
  if (!WriteRecord(folder, object->file_name, record)) return false;
  fchmod(object->fd, 0600);
  if (ftruncate(object->fd, 0) != 0) return FailWithErrno(errno);
  if (int rc = posix_fallocate(object->fd, 0, static_cast<off_t>(request.size)); rc != 0) {
    return FailWithErrno(rc);
  }
  object->flags = request.flags;
  object->size = request.size;
  if (!MapObject(object, static_cast<size_t>(request.size))) return false;
  if (request.initialise && !request.initialise(*object)) return false;
  return true;
}

bool ExpectedFileSize(const ObjectRequest& request, uint64_t file_size) {
  if (request.kind == ObjectKind::kSharedMemory) return file_size > 0;
  return file_size == request.size;
}

// Some other process holds the object: take it as it stands.
bool JoinObject(const Folder& folder, SharedObject* object, const ObjectRequest& request) {
  ObjectRecord record;
  if (!ReadRecord(folder, object->file_name, &record)) return false;
  if (record.kind != static_cast<uint32_t>(request.kind)) return Fail(kErrorInvalidHandle);
  struct stat st;
  if (fstat(object->fd, &st) != 0) return FailWithErrno(errno);
  const uint64_t file_size = static_cast<uint64_t>(st.st_size);
  if (!ExpectedFileSize(request, file_size) || file_size != record.size)
    return Fail(kErrorInvalidHandle);
  if (request.kind == ObjectKind::kSharedMemory && request.size > file_size)
    return Fail(kErrorAccessDenied);
  object->flags = record.flags;
  object->size = file_size;
  return MapObject(object, static_cast<size_t>(file_size));
}

// Where the namespace lies: its folder, and the user's default folder that holds it when it is a
// device's own (empty when the folder stands alone).
struct NamespaceLocation {
  std::string folder;
  std::string base;
};

// A relative runtime folder is not a runtime folder (the XDG rules say to ignore it).
std::string DefaultNamespaceFolder() {
  if (const char* xdg = getenv("XDG_RUNTIME_DIR"); xdg && xdg[0] == '/')
    return std::string(xdg) + "/kolvar";
  return "/dev/shm/kolvar-" + std::to_string(geteuid());
}

// Every device image has a namespace of its own unless the user names one: programs of two
// devices that met in one namespace would take each other for their own (a scanner would serve
// a front end of another device and scan the wrong tree).
NamespaceLocation CurrentNamespace() {
  if (const char* dir = getenv("KOLVAR_RUNTIME_DIR"); dir && *dir) return {dir, {}};
  const std::string base = DefaultNamespaceFolder();
  if (!IsDeviceImage()) return {base, {}};
  return {base + "/" + DeviceNamespaceName(CanonicalDeviceRoot()), base};
}

std::shared_ptr<SharedObject> AcquireNamed(std::u16string_view name, const ObjectRequest& request,
                                           bool* already_existed) {
  std::string file_name;
  if (!ObjectFileName(name, &file_name)) return nullptr;
  const NamespaceLocation location = CurrentNamespace();
  Folder folder;
  if (!folder.Open(location.folder, /*create=*/true, location.base)) return nullptr;
  const std::string key = folder.Key(file_name);

  Table& table = TheTable();
  std::lock_guard<std::mutex> guard(table.mutex);
  if (auto it = table.objects.find(key); it != table.objects.end())
    return AddHandle(it->second, request, already_existed);

  if (!folder.Lock()) return nullptr;
  auto object = std::make_shared<SharedObject>();
  object->kind = request.kind;
  object->keep_on_last_close = request.keep_on_last_close;
  object->named = true;
  object->key = key;
  object->folder = folder.path();
  object->file_name = file_name;
  object->folder_dev = folder.dev();
  object->folder_ino = folder.ino();
  int flags = O_RDWR | O_NOFOLLOW | O_CLOEXEC | (request.create ? O_CREAT : 0);
  object->fd = openat(folder.dir_fd(), file_name.c_str(), flags, 0600);
  if (object->fd < 0) return FailWithErrno(errno), nullptr;
  struct stat st;
  if (fstat(object->fd, &st) != 0) return FailWithErrno(errno), nullptr;
  if (!S_ISREG(st.st_mode) || st.st_uid != geteuid()) return Fail(kErrorAccessDenied), nullptr;

  bool existed;
  if (LockFile(object->fd, LOCK_EX | LOCK_NB) == 0) {
    // No holder anywhere: a new name, or the leftover of a process that died.
    if (!request.create || !ResetObject(folder, object.get(), request)) {
      const uint32_t error = request.create ? GetLastError() : kErrorFileNotFound;
      folder.RemoveObjectFiles(file_name);
      return Fail(error), nullptr;
    }
    existed = false;
  } else if (errno == EWOULDBLOCK) {
    if (!JoinObject(folder, object.get(), request)) return nullptr;
    existed = true;
  } else {
    return FailWithErrno(errno), nullptr;
  }
  // Converting the lock is not atomic, which is why it happens under the namespace lock.
  if (LockFile(object->fd, LOCK_SH) != 0) {
    const uint32_t error = ErrorFromErrno(errno);
    if (!existed) folder.RemoveObjectFiles(file_name);
    return Fail(error), nullptr;
  }
  object->handles = 1;
  table.objects.emplace(key, object);
  if (already_existed) *already_existed = existed;
  return object;
}

std::shared_ptr<SharedObject> AcquireUnnamed(const ObjectRequest& request) {
  if (request.size == 0 || request.size > static_cast<uint64_t>(SIZE_MAX / 2))
    return Fail(kErrorInvalidParameter), nullptr;
  auto object = std::make_shared<SharedObject>();
  object->kind = request.kind;
  object->keep_on_last_close = request.keep_on_last_close;
  object->flags = request.flags;
  object->size = request.size;
  void* view = mmap(nullptr, static_cast<size_t>(request.size), PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (view == MAP_FAILED) return FailWithErrno(errno), nullptr;
  object->view = view;
  object->view_size = static_cast<size_t>(request.size);
  if (request.initialise && !request.initialise(*object)) return nullptr;
  object->handles = 1;
  return object;
}

// The last handle in this process has closed: if no other process holds the object either, its
// files go, so that its contents vanish as the device's objects do.
void Dispose(SharedObject& object) {
  Folder folder;
  if (folder.Open(object.folder, /*create=*/false) && folder.dev() == object.folder_dev &&
      folder.ino() == object.folder_ino && folder.Lock()) {
    if (LockFile(object.fd, LOCK_EX | LOCK_NB) == 0) folder.RemoveObjectFiles(object.file_name);
    if (object.view) munmap(object.view, object.view_size);
    object.view = nullptr;
    close(object.fd);
    object.fd = -1;
  }
  // Without the folder (removed under us) the destructor just lets go of the file.
}

}  // namespace

SharedObject::~SharedObject() {
  if (view) munmap(view, view_size);
  if (fd >= 0) close(fd);
}

bool ObjectFileName(std::u16string_view name, std::string* file_name) {
  if (name.empty()) return Fail(kErrorInvalidParameter);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (StaysPlain(c) && !(i == 0 && c == u'.')) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(c >> shift) & 0xF]);
    }
    if (out.size() > kMaxObjectFileName) return Fail(kErrorFilenameExcedRange);
  }
  *file_name = std::move(out);
  return true;
}

std::string NamespaceFolderPath() { return CurrentNamespace().folder; }

std::string NamespaceBasePath() { return CurrentNamespace().base; }

std::string DeviceNamespaceName(std::string_view canonical_root) {
  // FNV-1a: the name only has to tell roots apart; a clash is caught where it matters, since a
  // front end checks which device the scanner it meets serves.
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : canonical_root) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  // The root's last component keeps the name recognisable to a person looking at the folder.
  std::string_view last = canonical_root;
  if (const size_t slash = last.rfind('/'); slash != std::string_view::npos)
    last.remove_prefix(slash + 1);
  std::string name;
  for (const char c : last.substr(0, kDeviceNamespaceLabelChars)) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '_' || c == '-' || (c == '.' && !name.empty());
    name.push_back(plain ? c : '_');
  }
  if (name.empty()) name = "device";
  static constexpr char kHex[] = "0123456789abcdef";
  name.push_back('-');
  for (int shift = 60; shift >= 0; shift -= 4) name.push_back(kHex[(hash >> shift) & 0xF]);
  return name;
}

std::shared_ptr<SharedObject> AcquireObject(std::u16string_view name, const ObjectRequest& request,
                                            bool* already_existed) {
  if (name.empty()) {
    if (!request.create) return Fail(kErrorInvalidParameter), nullptr;
    auto object = AcquireUnnamed(request);
    if (object && already_existed) *already_existed = false;
    return object;
  }
  return AcquireNamed(name, request, already_existed);
}

void ReleaseObject(std::shared_ptr<SharedObject> object) {
  if (!object) return;
  Table& table = TheTable();
  std::lock_guard<std::mutex> guard(table.mutex);
  if (--object->handles > 0) return;
  if (object->keep_on_last_close && object->keep_on_last_close(*object)) {
    if (!object->named) table.kept_unnamed.push_back(std::move(object));
    return;
  }
  if (!object->named) return;  // unmapped when the last reference goes
  table.objects.erase(object->key);
  Dispose(*object);
}

uint32_t NextHandleId() {
  static std::atomic<uint32_t> next{0x100};
  return next.fetch_add(4, std::memory_order_relaxed);
}

pid_t CurrentThreadId() {
  thread_local pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
  return tid;
}

timespec DeadlineAfter(uint32_t timeout_ms) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  timespec deadline;
  deadline.tv_sec = now.tv_sec + static_cast<time_t>(timeout_ms / 1000);
  deadline.tv_nsec = now.tv_nsec + static_cast<long>(timeout_ms % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_nsec -= 1000000000L;
    ++deadline.tv_sec;
  }
  return deadline;
}

}  // namespace kobj

std::string NamespaceFolder() {
  const kobj::NamespaceLocation location = kobj::CurrentNamespace();
  if (!location.base.empty() && access(location.base.c_str(), F_OK) != 0)
    mkdir(location.base.c_str(), 0700);
  if (access(location.folder.c_str(), F_OK) != 0) mkdir(location.folder.c_str(), 0700);
  return location.folder;
}

bool ObjectExists(std::u16string_view name) {
  std::string file_name;
  if (!kobj::ObjectFileName(name, &file_name)) return false;
  const kobj::NamespaceLocation location = kobj::CurrentNamespace();
  kobj::Folder folder;
  if (!folder.Open(location.folder, /*create=*/false, location.base)) return false;
  kobj::Table& table = kobj::TheTable();
  std::lock_guard<std::mutex> guard(table.mutex);
  if (table.objects.count(folder.Key(file_name)) != 0) return true;
  if (!folder.Lock()) return false;
  int fd = openat(folder.dir_fd(), file_name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return FailWithErrno(errno);
  bool held = true;
  if (kobj::LockFile(fd, LOCK_EX | LOCK_NB) == 0) {
    // A leftover of a process that died: clear it away while we hold the namespace.
    folder.RemoveObjectFiles(file_name);
    held = false;
  }
  close(fd);
  SetLastError(held ? kErrorSuccess : kErrorFileNotFound);
  return held;
}

}  // namespace kolvar::platform
