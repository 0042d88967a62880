// The SQLite side of the notification service, internal to platform/: the database file
// "notify.db" in the Windows folder, its schema and transactions that ride out other programs
// holding it busy. notification_linux.cc (the registering side) and the dispatcher build on it.
//
// Schema (user_version 1):
//
//   registrations(handle INTEGER PRIMARY KEY AUTOINCREMENT,  -- never reused
//                 type INTEGER, event INTEGER,               -- trigger type; event number
//                 application TEXT, arguments TEXT,          -- device texts, UTF-8
//                 start TEXT, end TEXT,                      -- local "YYYY-MM-DD HH:MM:SS"
//                 since INTEGER)                             -- last event number when made
//   events(seq INTEGER PRIMARY KEY AUTOINCREMENT,            -- occurrences of system events
//          event INTEGER, at TEXT, dispatched INTEGER)
//   firings(seq INTEGER, handle INTEGER, PRIMARY KEY(seq, handle))
//   state(name TEXT PRIMARY KEY, value TEXT)                 -- boot id, network state, slept ms
//
// Firing is claimed by the process that then becomes the started program, in one transaction: a
// time registration is deleted, an event registration gets its firings row for the event. A
// claim that finds the row gone (or the firings row made) starts nothing, so the dispatcher may
// hand out a claim again after being killed without anything firing twice.
#ifndef KOLVAR_PLATFORM_NOTIFICATION_STORE_LINUX_H_
#define KOLVAR_PLATFORM_NOTIFICATION_STORE_LINUX_H_

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace kolvar::platform::notification_internal {

inline constexpr char16_t kDatabaseName[] = u"notify.db";

// How many times this process has read a file whole to find damaged pages (for tests: opening a
// file again that this process found sound and that has not changed since does not).
uint64_t PageChecksRun();

// "YYYY-MM-DD HH:MM:SS" of a local time; sorts as the moments do.
std::string MomentText(const SystemTime& time);
bool ParseMomentText(std::string_view text, SystemTime* time);

// A prepared statement, finalised by the destructor.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  int rc() const { return rc_; }
  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, std::string_view text);
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step();
  int64_t Integer(int column) const;
  std::string Text(int column) const;

 private:
  sqlite3_stmt* statement_ = nullptr;
  int rc_ = SQLITE_OK;
};

class Store {
 public:
  ~Store();
  // Opens (and sets up) the database of the current device root; null with the last error set.
  static std::unique_ptr<Store> Open();

  // Runs `work` (returning an SQLite result) in one transaction, restarting it while the database
  // is busy. False with the last error set when it fails.
  bool Transact(bool write, const std::function<int(sqlite3*)>& work);
  // The device error of an SQLite result.
  uint32_t ErrorOf(int rc) const;
  sqlite3* db() const { return db_; }

 private:
  Store() = default;
  sqlite3* db_ = nullptr;
};

}  // namespace kolvar::platform::notification_internal

#endif  // KOLVAR_PLATFORM_NOTIFICATION_STORE_LINUX_H_
