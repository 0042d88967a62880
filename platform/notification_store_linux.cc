// The notification service's SQLite database; see notification_store_linux.h.
#include "platform/notification_store_linux.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/error.h"
#include "platform/notification.h"
#include "platform/path.h"

namespace kolvar::platform::notification_internal {
namespace {

constexpr int kBusyTimeoutMs = 5000;
constexpr auto kBusyDeadline = std::chrono::seconds(60);

// Layout: docs/formats.md#notification-table
const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS registrations(handle INTEGER PRIMARY KEY AUTOINCREMENT,"
    " type INTEGER NOT NULL, event INTEGER NOT NULL, application TEXT NOT NULL,"
    " arguments TEXT NOT NULL, start TEXT NOT NULL, end TEXT NOT NULL, since INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS events(seq INTEGER PRIMARY KEY AUTOINCREMENT,"
    " event INTEGER NOT NULL, at TEXT NOT NULL, dispatched INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS firings(seq INTEGER NOT NULL, handle INTEGER NOT NULL,"
    " PRIMARY KEY(seq, handle));"
    "CREATE TABLE IF NOT EXISTS state(name TEXT PRIMARY KEY, value TEXT NOT NULL);"
    "PRAGMA user_version = 1;";

bool IsBusy(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

}  // namespace

std::string MomentText(const SystemTime& t) {
  char text[48];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

bool ParseMomentText(std::string_view text, SystemTime* time) {
  unsigned y, mo, d, h, mi, s;
  char rest;
  const std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &s, &rest) !=
      6) {
    return false;
  }
  *time = SystemTime{static_cast<uint16_t>(y),
                     static_cast<uint16_t>(mo),
                     0,
                     static_cast<uint16_t>(d),
                     static_cast<uint16_t>(h),
                     static_cast<uint16_t>(mi),
                     static_cast<uint16_t>(s),
                     0};
  return true;
}

Statement::Statement(sqlite3* db, const char* sql) {
  rc_ = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
}

Statement::~Statement() { sqlite3_finalize(statement_); }

Statement& Statement::Bind(int index, int64_t value) {
  if (rc_ == SQLITE_OK) rc_ = sqlite3_bind_int64(statement_, index, value);
  return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
  if (rc_ == SQLITE_OK) {
    rc_ = sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                            SQLITE_TRANSIENT);
  }
  return *this;
}

int Statement::Step() { return rc_ != SQLITE_OK ? rc_ : sqlite3_step(statement_); }

int64_t Statement::Integer(int column) const { return sqlite3_column_int64(statement_, column); }

std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(statement_, column);
  return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

Store::~Store() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
}

uint32_t Store::ErrorOf(int rc) const {
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kErrorBusy;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return kErrorBadDb;
    case SQLITE_FULL:
      return kErrorDiskFull;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
      return kErrorAccessDenied;
    case SQLITE_NOMEM:
      return kErrorNotEnoughMemory;
    default:
      return kErrorIoDevice;
  }
}

std::unique_ptr<Store> Store::Open() {
  std::string path;
  if (!NotificationDatabasePath(&path)) return nullptr;
  // Made private to the user before SQLite sees it; its WAL files take its mode.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    FailWithErrno(errno);
    return nullptr;
  }
  close(fd);
  std::unique_ptr<Store> store(new Store);
  int rc =
      sqlite3_open_v2(path.c_str(), &store->db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
  if (rc != SQLITE_OK) {
    Fail(store->ErrorOf(rc));
    return nullptr;
  }
  sqlite3_extended_result_codes(store->db_, 1);
  sqlite3_busy_timeout(store->db_, kBusyTimeoutMs);
  const auto deadline = std::chrono::steady_clock::now() + kBusyDeadline;
  for (const char* step : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL"}) {
    while (IsBusy(rc = sqlite3_exec(store->db_, step, nullptr, nullptr, nullptr)) &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (rc != SQLITE_OK) {
      Fail(store->ErrorOf(rc));
      return nullptr;
    }
  }
  if (!store->Transact(
          true, [](sqlite3* db) { return sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr); })) {
    return nullptr;
  }
  return store;
}

bool Store::Transact(bool write, const std::function<int(sqlite3*)>& work) {
  const auto deadline = std::chrono::steady_clock::now() + kBusyDeadline;
  for (int attempt = 0;; ++attempt) {
    int rc = sqlite3_exec(db_, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
      rc = work(db_);
      if (rc == SQLITE_OK || rc == SQLITE_DONE) {
        rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) return true;
      }
      if (sqlite3_get_autocommit(db_) == 0) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      }
    }
    if (IsBusy(rc) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1 + (attempt % 8) * 3));
      continue;
    }
    return Fail(ErrorOf(rc));
  }
}

}  // namespace kolvar::platform::notification_internal
