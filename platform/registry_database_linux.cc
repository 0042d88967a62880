// The registry's SQLite connection: opening and setting up the database file, its schema, and the
// mapping of SQLite results to device errors; see registry_database_linux.h.
#include "platform/registry_database_linux.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "platform/registry_store.h"

namespace kolvar::platform::registry_internal {
namespace {

constexpr int kBusyTimeoutMs = 5000;

// Layout: docs/formats.md#registry-database
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

}  // namespace

Database::~Database() {
  for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
  if (db_ != nullptr) sqlite3_close_v2(db_);
}

sqlite3_stmt* Database::Statement(const char* sql, int* rc) {
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

uint32_t Database::ErrorOf(int rc) const {
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

}  // namespace kolvar::platform::registry_internal
