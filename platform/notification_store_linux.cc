// The notification service's SQLite database; see notification_store_linux.h.
#include "platform/notification_store_linux.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

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

// The tables of user_version 1 with their columns in order; a file that holds them is ours.
constexpr std::pair<const char*, const char*> kTables[] = {
    {"registrations", "handle,type,event,application,arguments,start,end,since"},
    {"events", "seq,event,at,dispatched"},
    {"firings", "seq,handle"},
    {"state", "name,value"},
};

enum class Kind { kOurs, kEmpty, kForeign };

std::atomic<uint64_t> g_page_checks{0};

// The identity and change times of the file that this process last found sound page by page.
// Every change of the file's bytes moves its ctime, which no program can set back.
struct FileStamp {
  dev_t device;
  ino_t inode;
  off_t size;
  timespec modified;
  timespec changed;

  static FileStamp Of(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  }
  bool operator==(const FileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
  }
};

// A file changed this recently may change again within the same tick of its file system's clock
// (whole seconds, or two, on some) and keep its stamp: it is checked again until it has settled.
constexpr int64_t kSettledSeconds = 3;

std::mutex g_checked_mutex;
std::optional<std::pair<std::string, FileStamp>> g_checked;  // guarded by g_checked_mutex

bool CheckedUnchanged(const std::string& path, const FileStamp& stamp) {
  std::lock_guard<std::mutex> lock(g_checked_mutex);
  return g_checked && g_checked->first == path && g_checked->second == stamp;
}

// Remembers the file as sound when it is settled and still the one stamped before the check.
void RememberChecked(const std::string& path, const FileStamp& before) {
  struct stat now_st {};
  timespec now{};
  if (stat(path.c_str(), &now_st) != 0 || !(FileStamp::Of(now_st) == before) ||
      clock_gettime(CLOCK_REALTIME, &now) != 0 ||
      before.changed.tv_sec > now.tv_sec - kSettledSeconds) {
    return;
  }
  std::lock_guard<std::mutex> lock(g_checked_mutex);
  g_checked.emplace(path, before);
}

// What the file holds, found by reading alone: our tables at our version, nothing at all (a new
// file, or one that another program was setting up and left empty), or anything else (another
// program's database, a later format of ours, or ours damaged), which must be left as it is.
// `check_pages` false takes the pages of our tables as sound (this process has checked them).
int Classify(sqlite3* db, bool check_pages, Kind* kind) {
  Statement head(db,
                 "SELECT (SELECT user_version FROM pragma_user_version),"
                 " (SELECT count(*) FROM sqlite_schema)");
  int rc = head.Step();
  if (rc != SQLITE_ROW) return rc;
  const int64_t version = head.Integer(0);
  const int64_t objects = head.Integer(1);
  if (version == 0 && objects == 0) {
    *kind = Kind::kEmpty;
    return SQLITE_OK;
  }
  *kind = Kind::kForeign;
  if (version != 1) return SQLITE_OK;
  for (const auto& [table, columns] : kTables) {
    Statement names(db, "SELECT group_concat(name, ',') FROM pragma_table_info(?)");
    names.Bind(1, std::string_view(table));
    if ((rc = names.Step()) != SQLITE_ROW) return rc;
    if (names.Text(0) != columns) return SQLITE_OK;
  }
  if (!check_pages) {
    *kind = Kind::kOurs;
    return SQLITE_OK;
  }
  // Our tables over damaged pages: refused before anything is written over them.
  g_page_checks.fetch_add(1, std::memory_order_relaxed);
  Statement check(db, "PRAGMA quick_check(1)");
  if ((rc = check.Step()) != SQLITE_ROW) return rc;
  if (check.Text(0) == "ok") *kind = Kind::kOurs;
  return SQLITE_OK;
}

}  // namespace

uint64_t PageChecksRun() { return g_page_checks.load(std::memory_order_relaxed); }

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
    case SQLITE_FORMAT:
      return kErrorFileCorrupt;
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
  struct stat opened {};
  const bool stamped = fstat(fd, &opened) == 0;
  close(fd);
  const FileStamp stamp = FileStamp::Of(opened);
  // The page check reads the whole file; a file this process has checked and that has not
  // changed since is not read again.
  const bool check_pages = !stamped || !CheckedUnchanged(path, stamp);
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
  // Switching to WAL rewrites the file's header, so what the file holds is settled first.
  Kind kind = Kind::kForeign;
  while (IsBusy(rc = Classify(store->db_, check_pages, &kind)) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (rc != SQLITE_OK) {
    Fail(store->ErrorOf(rc));
    return nullptr;
  }
  if (kind == Kind::kForeign) {
    Fail(kErrorFileCorrupt);
    return nullptr;
  }
  if (kind == Kind::kOurs && check_pages && stamped) RememberChecked(path, stamp);
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
  if (kind == Kind::kOurs) return store;
  // The first program sets the tables up; the others, waiting for the write lock, find them made
  // (or find that something else was written meanwhile, which stays as it is).
  bool foreign = false;
  if (!store->Transact(true, [&](sqlite3* db) {
        foreign = false;
        Kind inner = Kind::kForeign;
        if (int inner_rc = Classify(db, /*check_pages=*/true, &inner); inner_rc != SQLITE_OK) {
          return inner_rc;
        }
        if (inner == Kind::kOurs) return SQLITE_OK;
        if (inner == Kind::kForeign) {
          foreign = true;
          return SQLITE_OK;
        }
        return sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
      })) {
    return nullptr;
  }
  if (foreign) {
    Fail(kErrorFileCorrupt);
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
