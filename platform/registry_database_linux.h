// The SQLite side of the device registry, internal to platform/: one connection per database file
// per process, the file's set-up and schema, and transactions that ride out a database other
// programs hold busy. registry_store_linux.cc builds the key and value API on it.
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
#ifndef KOLVAR_PLATFORM_REGISTRY_DATABASE_LINUX_H_
#define KOLVAR_PLATFORM_REGISTRY_DATABASE_LINUX_H_

#include <sqlite3.h>
#include <sys/types.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "platform/error.h"

namespace kolvar::platform::registry_internal {

inline constexpr char16_t kDatabaseName[] = u"registry.db";
inline constexpr int64_t kFirstRootId = 1;
inline constexpr int64_t kLastRootId = 4;
// The longest a call keeps retrying a database that other programs hold busy.
inline constexpr auto kBusyDeadline = std::chrono::seconds(60);

inline bool IsBusy(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// One connection per database file per process, shared by every handle opened through it and
// serialised by its own mutex.
class Database {
 public:
  Database(std::string path, dev_t device, ino_t inode)
      : path_(std::move(path)), device_(device), inode_(inode) {}
  ~Database();
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
    bool ok() const { return rc == SQLITE_OK && error == kErrorSuccess; }
  };

  // Runs `work` in one transaction, restarting it while the database is busy. Not reentrant. Sets
  // the last error and returns false on failure; a failed write leaves the database unchanged.
  template <typename Work>
  bool Transact(bool write, Work&& work) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto deadline = std::chrono::steady_clock::now() + kBusyDeadline;
    for (int attempt = 0;; ++attempt) {
      Outcome outcome = TryOnce(write, work);
      if (outcome.ok()) return true;
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
  sqlite3_stmt* Statement(const char* sql, int* rc);
  // The device error for an SQLite result.
  uint32_t ErrorOf(int rc) const;

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
    if (outcome.ok()) {
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

}  // namespace kolvar::platform::registry_internal

#endif  // KOLVAR_PLATFORM_REGISTRY_DATABASE_LINUX_H_
