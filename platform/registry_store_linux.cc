// The device registry on SQLite; see registry_store.h.
//
// Schema (user_version 1):
//
//   keys(id INTEGER PRIMARY KEY AUTOINCREMENT,  -- never reused: a stale handle names no new key
//        parent INTEGER NOT NULL,               -- id of the parent key; 0 for a root
//        name TEXT NOT NULL,                    -- spelling at creation, UTF-8
//        fold TEXT NOT NULL,                    -- upper-cased name (registry_fold.h), UTF-8
//        UNIQUE(parent, fold))
//   vals(key INTEGER NOT NULL,                  -- keys.id
//        name TEXT NOT NULL, fold TEXT NOT NULL,  -- as in keys; "" is the default value
//        type INTEGER NOT NULL,                 -- the device's value type
//        data BLOB NOT NULL,                    -- the value's bytes exactly as set
//        UNIQUE(key, fold))
//   keys_by_parent ON keys(parent), vals_by_key ON vals(key): children and values in row order
//
// The roots are the rows 1 to 4 (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
// HKEY_USERS), so a root's row id is its handle value minus 0x80000000, plus 1. Subkeys and values
// enumerate in row order, which is creation order; replacing a value keeps its row.
//
// Concurrency: WAL mode lets readers run beside the one writer; every write runs in a BEGIN
// IMMEDIATE transaction, so a writer waits (busy time-out) for the write lock at its start instead
// of failing half-way when its read snapshot went stale. SQLITE_BUSY that still comes through (the
// first switch to WAL, a recovering WAL) restarts the whole transaction until a deadline.
// synchronous=NORMAL: a commit survives the program being killed at any moment; after a power loss
// the database is whole, without the last commits.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

#include "platform/error.h"
#include "platform/path.h"
#include "platform/registry_fold.h"
#include "platform/registry_store.h"
#include "platform/text.h"

namespace kolvar::platform {
namespace registry_internal {

namespace {

constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 5000;
// The longest a call keeps retrying a database that other programs hold busy.
constexpr auto kBusyDeadline = std::chrono::seconds(60);
constexpr char16_t kDatabaseName[] = u"registry.db";

constexpr int64_t kFirstRootId = 1;
constexpr int64_t kLastRootId = 4;

const char* const kSchema =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
    " name TEXT NOT NULL, fold TEXT NOT NULL, UNIQUE(parent, fold));"
    "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL, fold TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, fold));"
    "CREATE INDEX keys_by_parent ON keys(parent);"
    "CREATE INDEX vals_by_key ON vals(key);"
    "INSERT INTO keys(id, parent, name, fold) VALUES"
    " (1, 0, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'),"
    " (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),"
    " (3, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),"
    " (4, 0, 'HKEY_USERS', 'HKEY_USERS');"
    "PRAGMA user_version = 1;";

bool IsBusy(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

}  // namespace

// One connection per database file per process, shared by every handle opened through it and
// serialised by its own mutex.
class Database {
 public:
  Database(std::string path, dev_t device, ino_t inode)
      : path_(std::move(path)), device_(device), inode_(inode) {}
  ~Database() {
    for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
    if (db_ != nullptr) sqlite3_close_v2(db_);
  }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // The database of the current device root, opened (and set up) on first use.
  static std::shared_ptr<Database> Current();

  bool Is(const std::string& path, dev_t device, ino_t inode) const {
    return path_ == path && device_ == device && inode_ == inode;
  }

  // The outcome of one try at a piece of work: an SQLite result (a busy one restarts the work)
  // or a device error of the work's own (which ends it).
  struct Outcome {
    int rc = SQLITE_OK;
    uint32_t error = kErrorSuccess;
  };

  // Runs `work` in one transaction, restarting it while the database is busy. Not reentrant. Sets
  // the last error and returns false on failure; a failed write leaves the database unchanged.
  template <typename Work>
  bool Transact(bool write, Work&& work) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto deadline = std::chrono::steady_clock::now() + kBusyDeadline;
    for (int attempt = 0;; ++attempt) {
      Outcome outcome = TryOnce(write, work);
      if (outcome.rc == SQLITE_OK && outcome.error == kErrorSuccess) return true;
      if (outcome.rc != SQLITE_OK && IsBusy(outcome.rc) &&
          std::chrono::steady_clock::now() < deadline) {
        // Spread the retries of competing programs; the busy handler already waited.
        std::this_thread::sleep_for(std::chrono::milliseconds(1 + (attempt % 8) * 3));
        continue;
      }
      return Fail(outcome.rc != SQLITE_OK ? ErrorOf(outcome.rc) : outcome.error);
    }
  }

  // A prepared statement, reset and cleared, kept for the connection's life.
  sqlite3_stmt* Statement(const char* sql, int* rc) {
    auto it = statements_.find(sql);
    if (it != statements_.end()) {
      sqlite3_reset(it->second);
      sqlite3_clear_bindings(it->second);
      *rc = SQLITE_OK;
      return it->second;
    }
    sqlite3_stmt* statement = nullptr;
    *rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    if (*rc != SQLITE_OK) return nullptr;
    statements_.emplace(sql, statement);
    return statement;
  }

  // The device error for an SQLite result.
  uint32_t ErrorOf(int rc) const {
    switch (rc & 0xFF) {
      case SQLITE_BUSY:
      case SQLITE_LOCKED:
        return kErrorBusy;
      case SQLITE_CORRUPT:
      case SQLITE_NOTADB:
      case SQLITE_FORMAT:
      case SQLITE_SCHEMA:
      case SQLITE_ERROR:  // a statement that does not fit the file: not our schema
      case SQLITE_MISMATCH:
      case SQLITE_CONSTRAINT:
        return kErrorBadDb;
      case SQLITE_FULL:
        return kErrorDiskFull;
      case SQLITE_READONLY:
      case SQLITE_PERM:
      case SQLITE_AUTH:
        return kErrorAccessDenied;
      case SQLITE_NOMEM:
        return kErrorNotEnoughMemory;
      case SQLITE_TOOBIG:
      case SQLITE_RANGE:
        return kErrorInvalidParameter;
      case SQLITE_IOERR:
      case SQLITE_CANTOPEN: {
        const int system_errno = db_ != nullptr ? sqlite3_system_errno(db_) : 0;
        return system_errno != 0 ? ErrorFromErrno(system_errno) : kErrorRegistryIoFailed;
      }
      default:
        return kErrorRegistryIoFailed;
    }
  }

  // Opens the connection and sets the file up; called once, before the database is shared.
  bool Open();
  sqlite3* connection() const { return db_; }

 private:
  template <typename Work>
  Outcome TryOnce(bool write, Work& work) {
    int rc = sqlite3_exec(db_, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return {rc, kErrorSuccess};
    Outcome outcome = work(*this);
    // No statement may keep its read position past the transaction.
    for (auto& [sql, statement] : statements_) sqlite3_reset(statement);
    if (outcome.rc == SQLITE_OK && outcome.error == kErrorSuccess) {
      rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
      if (rc == SQLITE_OK) return outcome;
      outcome.rc = rc;
    }
    if (sqlite3_get_autocommit(db_) == 0) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return outcome;
  }

  // Runs a set-up step (one or more statements outside a work transaction) until it is not busy.
  int SetUpStep(const char* sql, std::string* first_column = nullptr);
  int Classify(std::string* kind);

  std::string path_;
  dev_t device_;
  ino_t inode_;
  sqlite3* db_ = nullptr;
  std::mutex mutex_;
  std::unordered_map<const char*, sqlite3_stmt*> statements_;
};

namespace {

std::mutex current_mutex;
std::shared_ptr<Database> current_database;

// Creates the database file private to the user when it is missing (the WAL and shared-memory
// files that SQLite adds take its mode) and identifies it, so that a file replaced under the same
// path is opened anew. An existing file is never opened here: closing any descriptor of a file
// drops every POSIX lock this process holds on it, SQLite's included.
bool PrepareFile(const std::string& path, struct stat* info) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) {
    close(fd);
  } else if (errno != EEXIST) {
    return FailWithErrno(errno);
  }
  if (lstat(path.c_str(), info) != 0) return FailWithErrno(errno);
  if (!S_ISREG(info->st_mode)) return Fail(kErrorAccessDenied);
  return true;
}

}  // namespace

std::shared_ptr<Database> Database::Current() {
  std::string path;
  if (!RegistryDatabasePath(&path)) return nullptr;
  struct stat info;
  if (!PrepareFile(path, &info)) return nullptr;
  std::lock_guard<std::mutex> guard(current_mutex);
  if (current_database != nullptr && current_database->Is(path, info.st_dev, info.st_ino)) {
    return current_database;
  }
  // A file made by someone else with a wider mode becomes private before SQLite opens it (by
  // path, for the reason above).
  if ((info.st_mode & 077) != 0 && info.st_uid == geteuid()) chmod(path.c_str(), 0600);
  auto database = std::make_shared<Database>(path, info.st_dev, info.st_ino);
  if (!database->Open()) return nullptr;
  current_database = database;
  return database;
}

int Database::SetUpStep(const char* sql, std::string* first_column) {
  const auto deadline = std::chrono::steady_clock::now() + kBusyDeadline;
  for (;;) {
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr);
    if (rc == SQLITE_OK) {
      rc = sqlite3_step(statement);
      if (rc == SQLITE_ROW && first_column != nullptr) {
        const unsigned char* text = sqlite3_column_text(statement, 0);
        *first_column = text != nullptr ? reinterpret_cast<const char*>(text) : "";
      }
      if (rc == SQLITE_ROW || rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    sqlite3_finalize(statement);
    if (!IsBusy(rc) || std::chrono::steady_clock::now() >= deadline) return rc;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// What the file holds, read without writing to it: "ours", "empty" (free to set up) or "foreign"
// (another program's database, or a later format), which is left alone.
int Database::Classify(std::string* kind) {
  return SetUpStep(
      "SELECT CASE WHEN v = 1 AND t = 2 THEN 'ours' WHEN v = 0 AND n = 0 THEN 'empty'"
      " ELSE 'foreign' END FROM (SELECT"
      " (SELECT user_version FROM pragma_user_version) AS v,"
      " (SELECT count(*) FROM sqlite_schema) AS n,"
      " (SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN ('keys', 'vals'))"
      " AS t)",
      kind);
}

bool Database::Open() {
  int rc =
      sqlite3_open_v2(path_.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
  if (rc != SQLITE_OK) return Fail(ErrorOf(rc));
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  // Switching to WAL rewrites the file header, so the file is inspected first.
  std::string kind;
  rc = Classify(&kind);
  if (rc != SQLITE_OK) return Fail(ErrorOf(rc));
  if (kind == "foreign") return Fail(kErrorBadDb);
  std::string mode;
  rc = SetUpStep("PRAGMA journal_mode=WAL", &mode);
  if (rc != SQLITE_OK) return Fail(ErrorOf(rc));
  if (mode != "wal") return Fail(kErrorRegistryIoFailed);
  rc = SetUpStep("PRAGMA synchronous=NORMAL");
  if (rc != SQLITE_OK) return Fail(ErrorOf(rc));
  if (kind == "ours") return true;
  // The first program sets the tables up; the others, waiting for the write lock, find them made.
  return Transact(true, [](Database& db) -> Outcome {
    std::string inner;
    const int inner_rc = db.Classify(&inner);
    if (inner_rc != SQLITE_OK) return {inner_rc, kErrorSuccess};
    if (inner == "ours") return {};
    if (inner == "foreign") return {SQLITE_OK, kErrorBadDb};
    return {sqlite3_exec(db.db_, kSchema, nullptr, nullptr, nullptr), kErrorSuccess};
  });
}

}  // namespace registry_internal

namespace {

using registry_internal::Database;
using Outcome = Database::Outcome;

struct Name {
  std::string text;  // UTF-8 spelling
  std::string fold;  // UTF-8 upper-cased
};

bool MakeName(std::u16string_view name, size_t max_length, Name* out) {
  if (name.size() > max_length || !IsValidUtf16(name) ||
      name.find(u'\0') != std::u16string_view::npos) {
    return false;
  }
  out->text = Utf16ToUtf8(name);
  out->fold = Utf16ToUtf8(FoldRegistryName(name));
  return true;
}

// Splits a key path into its levels, skipping empty ones. False for a level that cannot be a key
// name.
bool SplitKeyPath(std::u16string_view path, std::vector<Name>* levels) {
  levels->clear();
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) {
      Name level;
      if (!MakeName(path.substr(start, end - start), kMaxRegistryKeyName, &level)) return false;
      levels->push_back(std::move(level));
    }
    start = end + 1;
  }
  return true;
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::u16string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  const int length = sqlite3_column_bytes(statement, column);
  return text != nullptr ? Utf8ToUtf16Lossy(std::string_view(text, length)) : std::u16string();
}

// Whether the key's row still exists: 1018 once it was deleted.
Outcome KeyAlive(Database& db, int64_t key_id) {
  int rc;
  sqlite3_stmt* s = db.Statement("SELECT 1 FROM keys WHERE id = ?1", &rc);
  if (s == nullptr) return {rc, kErrorSuccess};
  sqlite3_bind_int64(s, 1, key_id);
  rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) return {};
  if (rc == SQLITE_DONE) return {SQLITE_OK, kErrorKeyDeleted};
  return {rc, kErrorSuccess};
}

// The child of `parent` with the folded name, or 0.
Outcome FindChild(Database& db, int64_t parent, const Name& name, int64_t* child) {
  int rc;
  sqlite3_stmt* s = db.Statement("SELECT id FROM keys WHERE parent = ?1 AND fold = ?2", &rc);
  if (s == nullptr) return {rc, kErrorSuccess};
  sqlite3_bind_int64(s, 1, parent);
  BindText(s, 2, name.fold);
  rc = sqlite3_step(s);
  *child = rc == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 0;
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) return {};
  return {rc, kErrorSuccess};
}

Outcome InsertChild(Database& db, int64_t parent, const Name& name, int64_t* child) {
  int rc;
  sqlite3_stmt* s =
      db.Statement("INSERT INTO keys(parent, name, fold) VALUES (?1, ?2, ?3) RETURNING id", &rc);
  if (s == nullptr) return {rc, kErrorSuccess};
  sqlite3_bind_int64(s, 1, parent);
  BindText(s, 2, name.text);
  BindText(s, 3, name.fold);
  rc = sqlite3_step(s);
  if (rc != SQLITE_ROW) return {rc == SQLITE_DONE ? SQLITE_ERROR : rc, kErrorSuccess};
  *child = sqlite3_column_int64(s, 0);
  sqlite3_reset(s);
  return {};
}

// Walks the levels from `start`; with `create` adds the missing ones.
Outcome WalkPath(Database& db, int64_t start, const std::vector<Name>& levels, bool create,
                 int64_t* found, bool* created) {
  Outcome outcome = KeyAlive(db, start);
  if (outcome.rc != SQLITE_OK || outcome.error != kErrorSuccess) return outcome;
  int64_t current = start;
  if (created != nullptr) *created = false;
  for (const Name& level : levels) {
    int64_t child = 0;
    outcome = FindChild(db, current, level, &child);
    if (outcome.rc != SQLITE_OK) return outcome;
    if (child == 0) {
      if (!create) return {SQLITE_OK, kErrorFileNotFound};
      outcome = InsertChild(db, current, level, &child);
      if (outcome.rc != SQLITE_OK) return outcome;
      if (created != nullptr && &level == &levels.back()) *created = true;
    }
    current = child;
  }
  *found = current;
  return {};
}

}  // namespace

// Gives the free functions below access to a handle's insides.
class RegistryAccess {
 public:
  // The database and row of a handle (a root resolves the current database). False with the last
  // error set.
  static bool Resolve(const RegistryHandle& handle, std::shared_ptr<Database>* database,
                      int64_t* key_id) {
    if (handle.key_id_ == 0) return Fail(kErrorInvalidHandle);
    *key_id = handle.key_id_;
    *database = handle.database_ != nullptr ? handle.database_ : Database::Current();
    return *database != nullptr;
  }

  static void Assign(RegistryHandle* handle, std::shared_ptr<Database> database, int64_t key_id) {
    handle->Close();
    handle->database_ = std::move(database);
    handle->key_id_ = key_id;
  }

  using Cursor = RegistryHandle::EnumCursor;
  static Cursor* KeyCursor(const RegistryHandle& handle) { return &handle.key_cursor_; }
  static Cursor* ValueCursor(const RegistryHandle& handle) { return &handle.value_cursor_; }
};

namespace {

// Binds the query for the index-th row of an enumeration: the row after the cursor when the
// cursor stands on the index before (`next_sql`), else by counting (`offset_sql`). Both take the
// key as ?1 and the row or the offset as ?2.
sqlite3_stmt* EnumStatement(Database& db, const RegistryAccess::Cursor& cursor, uint32_t index,
                            int64_t key_id, const char* next_sql, const char* offset_sql, int* rc) {
  const bool follows =
      cursor.database == &db && cursor.row != 0 && index != 0 && index == cursor.index + 1;
  sqlite3_stmt* s = db.Statement(follows ? next_sql : offset_sql, rc);
  if (s == nullptr) return nullptr;
  sqlite3_bind_int64(s, 1, key_id);
  sqlite3_bind_int64(s, 2, follows ? cursor.row : static_cast<int64_t>(index));
  return s;
}

}  // namespace

RegistryHandle::RegistryHandle(RegistryRoot root) {
  const uint32_t index =
      static_cast<uint32_t>(root) - static_cast<uint32_t>(RegistryRoot::kClassesRoot);
  if (index <=
      static_cast<uint32_t>(registry_internal::kLastRootId - registry_internal::kFirstRootId)) {
    key_id_ = registry_internal::kFirstRootId + index;
  }
}

RegistryHandle::~RegistryHandle() { Close(); }

RegistryHandle::RegistryHandle(RegistryHandle&& other) noexcept
    : database_(std::move(other.database_)),
      key_id_(std::exchange(other.key_id_, 0)),
      key_cursor_(std::exchange(other.key_cursor_, {})),
      value_cursor_(std::exchange(other.value_cursor_, {})) {}

RegistryHandle& RegistryHandle::operator=(RegistryHandle&& other) noexcept {
  if (this != &other) {
    database_ = std::move(other.database_);
    key_id_ = std::exchange(other.key_id_, 0);
    key_cursor_ = std::exchange(other.key_cursor_, {});
    value_cursor_ = std::exchange(other.value_cursor_, {});
  }
  return *this;
}

bool RegistryHandle::IsRoot() const {
  return key_id_ >= registry_internal::kFirstRootId && key_id_ <= registry_internal::kLastRootId;
}

void RegistryHandle::Close() {
  database_.reset();
  key_id_ = 0;
  key_cursor_ = {};
  value_cursor_ = {};
}

bool RegistryDatabasePath(std::string* host_path) {
  std::u16string windows;
  if (!GetSpecialFolder(SpecialFolder::kWindows, &windows)) return false;
  *host_path = HostPath(JoinPath(windows, registry_internal::kDatabaseName));
  return true;
}

namespace {

bool OpenOrCreate(const RegistryHandle& parent, std::u16string_view path, bool create,
                  RegistryHandle* key, bool* created) {
  std::vector<Name> levels;
  if (!SplitKeyPath(path, &levels)) return Fail(kErrorInvalidParameter);
  std::shared_ptr<Database> database;
  int64_t start = 0;
  if (!RegistryAccess::Resolve(parent, &database, &start)) return false;
  int64_t found = 0;
  bool made = false;
  if (!database->Transact(create, [&](Database& db) {
        return WalkPath(db, start, levels, create, &found, &made);
      })) {
    return false;
  }
  if (created != nullptr) *created = made;
  RegistryAccess::Assign(key, std::move(database), found);
  return true;
}

}  // namespace

bool OpenRegistryKey(const RegistryHandle& parent, std::u16string_view path, RegistryHandle* key) {
  return OpenOrCreate(parent, path, false, key, nullptr);
}

bool CreateRegistryKey(const RegistryHandle& parent, std::u16string_view path, RegistryHandle* key,
                       bool* created) {
  return OpenOrCreate(parent, path, true, key, created);
}

bool DeleteRegistryKey(const RegistryHandle& parent, std::u16string_view path) {
  std::vector<Name> levels;
  if (!SplitKeyPath(path, &levels)) return Fail(kErrorInvalidParameter);
  if (levels.empty()) return Fail(kErrorAccessDenied);
  std::shared_ptr<Database> database;
  int64_t start = 0;
  if (!RegistryAccess::Resolve(parent, &database, &start)) return false;
  return database->Transact(true, [&](Database& db) -> Outcome {
    int64_t target = 0;
    Outcome outcome = WalkPath(db, start, levels, false, &target, nullptr);
    if (outcome.rc != SQLITE_OK || outcome.error != kErrorSuccess) return outcome;
    static const char* const kDeletes[] = {
        "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
        " SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id)"
        " DELETE FROM vals WHERE key IN tree",
        "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
        " SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id)"
        " DELETE FROM keys WHERE id IN tree",
    };
    for (const char* sql : kDeletes) {
      int rc;
      sqlite3_stmt* s = db.Statement(sql, &rc);
      if (s == nullptr) return {rc, kErrorSuccess};
      sqlite3_bind_int64(s, 1, target);
      rc = sqlite3_step(s);
      if (rc != SQLITE_DONE) return {rc, kErrorSuccess};
    }
    return {};
  });
}

bool EnumRegistryKey(const RegistryHandle& key, uint32_t index, std::u16string* name) {
  std::shared_ptr<Database> database;
  int64_t key_id = 0;
  if (!RegistryAccess::Resolve(key, &database, &key_id)) return false;
  return database->Transact(false, [&](Database& db) -> Outcome {
    Outcome outcome = KeyAlive(db, key_id);
    if (outcome.rc != SQLITE_OK || outcome.error != kErrorSuccess) return outcome;
    RegistryAccess::Cursor* cursor = RegistryAccess::KeyCursor(key);
    int rc;
    sqlite3_stmt* s = EnumStatement(
        db, *cursor, index, key_id,
        "SELECT id, name FROM keys WHERE parent = ?1 AND id > ?2 ORDER BY id LIMIT 1",
        "SELECT id, name FROM keys WHERE parent = ?1 ORDER BY id LIMIT 1 OFFSET ?2", &rc);
    if (s == nullptr) return {rc, kErrorSuccess};
    rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) return {SQLITE_OK, kErrorNoMoreItems};
    if (rc != SQLITE_ROW) return {rc, kErrorSuccess};
    *cursor = {&db, index, sqlite3_column_int64(s, 0)};
    *name = ColumnText(s, 1);
    return {};
  });
}

namespace {

void CopyData(sqlite3_stmt* s, int column, std::vector<uint8_t>* data) {
  const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(s, column));
  const int size = sqlite3_column_bytes(s, column);
  if (bytes == nullptr || size <= 0) {
    data->clear();
  } else {
    data->assign(bytes, bytes + size);
  }
}

}  // namespace

bool EnumRegistryValue(const RegistryHandle& key, uint32_t index, RegistryValue* value) {
  std::shared_ptr<Database> database;
  int64_t key_id = 0;
  if (!RegistryAccess::Resolve(key, &database, &key_id)) return false;
  return database->Transact(false, [&](Database& db) -> Outcome {
    Outcome outcome = KeyAlive(db, key_id);
    if (outcome.rc != SQLITE_OK || outcome.error != kErrorSuccess) return outcome;
    RegistryAccess::Cursor* cursor = RegistryAccess::ValueCursor(key);
    int rc;
    sqlite3_stmt* s = EnumStatement(
        db, *cursor, index, key_id,
        "SELECT rowid, name, type, data FROM vals WHERE key = ?1 AND rowid > ?2"
        " ORDER BY rowid LIMIT 1",
        "SELECT rowid, name, type, data FROM vals WHERE key = ?1 ORDER BY rowid LIMIT 1"
        " OFFSET ?2",
        &rc);
    if (s == nullptr) return {rc, kErrorSuccess};
    rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) return {SQLITE_OK, kErrorNoMoreItems};
    if (rc != SQLITE_ROW) return {rc, kErrorSuccess};
    *cursor = {&db, index, sqlite3_column_int64(s, 0)};
    value->name = ColumnText(s, 1);
    value->type = static_cast<uint32_t>(sqlite3_column_int64(s, 2));
    CopyData(s, 3, &value->data);
    return {};
  });
}

namespace {

// The steps every value operation shares: check the name, find the key, and run `work` in one
// transaction once the key is known to be alive.
template <typename Work>
bool TransactOnValue(const RegistryHandle& key, std::u16string_view name, bool write, Work work) {
  Name value_name;
  if (!MakeName(name, kMaxRegistryValueName, &value_name)) return Fail(kErrorInvalidParameter);
  std::shared_ptr<Database> database;
  int64_t key_id = 0;
  if (!RegistryAccess::Resolve(key, &database, &key_id)) return false;
  return database->Transact(write, [&](Database& db) -> Outcome {
    Outcome outcome = KeyAlive(db, key_id);
    if (outcome.rc != SQLITE_OK || outcome.error != kErrorSuccess) return outcome;
    return work(db, key_id, value_name);
  });
}

// Reads one value into `value` (its name is left as it is).
bool ReadValue(const RegistryHandle& key, std::u16string_view name, uint32_t* type,
               std::vector<uint8_t>* data) {
  return TransactOnValue(
      key, name, false, [&](Database& db, int64_t key_id, const Name& value_name) -> Outcome {
        int rc;
        sqlite3_stmt* s =
            db.Statement("SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2", &rc);
        if (s == nullptr) return {rc, kErrorSuccess};
        sqlite3_bind_int64(s, 1, key_id);
        BindText(s, 2, value_name.fold);
        rc = sqlite3_step(s);
        if (rc == SQLITE_DONE) return {SQLITE_OK, kErrorFileNotFound};
        if (rc != SQLITE_ROW) return {rc, kErrorSuccess};
        *type = static_cast<uint32_t>(sqlite3_column_int64(s, 0));
        CopyData(s, 1, data);
        sqlite3_reset(s);
        return {};
      });
}

}  // namespace

bool QueryRegistryValue(const RegistryHandle& key, std::u16string_view name, uint32_t* type,
                        void* data, uint32_t* size) {
  if (data != nullptr && size == nullptr) return Fail(kErrorInvalidParameter);
  uint32_t stored_type = kRegNone;
  std::vector<uint8_t> bytes;
  if (!ReadValue(key, name, &stored_type, &bytes)) return false;
  if (type != nullptr) *type = stored_type;
  const auto needed = static_cast<uint32_t>(bytes.size());
  if (data != nullptr) {
    if (*size < needed) {
      *size = needed;
      return Fail(kErrorMoreData);
    }
    if (needed != 0) std::memcpy(data, bytes.data(), needed);
  }
  if (size != nullptr) *size = needed;
  return true;
}

bool ReadRegistryValue(const RegistryHandle& key, std::u16string_view name, RegistryValue* value) {
  if (!ReadValue(key, name, &value->type, &value->data)) return false;
  value->name.assign(name);
  return true;
}

bool SetRegistryValue(const RegistryHandle& key, std::u16string_view name, uint32_t type,
                      const void* data, uint32_t size) {
  if (data == nullptr && size != 0) return Fail(kErrorInvalidParameter);
  return TransactOnValue(
      key, name, true, [&](Database& db, int64_t key_id, const Name& value_name) -> Outcome {
        int rc;
        sqlite3_stmt* s = db.Statement(
            "INSERT INTO vals(key, name, fold, type, data) VALUES (?1, ?2, ?3, ?4, ?5)"
            " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
            &rc);
        if (s == nullptr) return {rc, kErrorSuccess};
        sqlite3_bind_int64(s, 1, key_id);
        BindText(s, 2, value_name.text);
        BindText(s, 3, value_name.fold);
        sqlite3_bind_int64(s, 4, type);
        if (size == 0) {
          sqlite3_bind_zeroblob(s, 5, 0);
        } else {
          sqlite3_bind_blob64(s, 5, data, size, SQLITE_TRANSIENT);
        }
        rc = sqlite3_step(s);
        if (rc != SQLITE_DONE) return {rc, kErrorSuccess};
        return {};
      });
}

bool DeleteRegistryValue(const RegistryHandle& key, std::u16string_view name) {
  return TransactOnValue(
      key, name, true, [&](Database& db, int64_t key_id, const Name& value_name) -> Outcome {
        int rc;
        sqlite3_stmt* s = db.Statement("DELETE FROM vals WHERE key = ?1 AND fold = ?2", &rc);
        if (s == nullptr) return {rc, kErrorSuccess};
        sqlite3_bind_int64(s, 1, key_id);
        BindText(s, 2, value_name.fold);
        rc = sqlite3_step(s);
        if (rc != SQLITE_DONE) return {rc, kErrorSuccess};
        if (sqlite3_changes(db.connection()) == 0) return {SQLITE_OK, kErrorFileNotFound};
        return {};
      });
}

}  // namespace kolvar::platform
