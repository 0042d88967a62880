// The dispatcher daemon and its firing processes; see notification_dispatcher.h.
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/kernel_objects.h"
#include "platform/notification_dispatcher.h"
#include "platform/notification_store_linux.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/system_log.h"
#include "platform/text.h"

namespace kolvar::platform {
namespace {

using notification_internal::MomentText;
using notification_internal::ParseMomentText;
using notification_internal::Statement;
using notification_internal::Store;

constexpr char16_t kProgram[] = u"kvnotifyd";
// The longest the dispatcher sleeps: how soon it sees a resume, or a network state that only a
// test file tells.
constexpr uint32_t kLongestSleepMs = 2000;
// A firing process that has not claimed its registration by then is started again.
constexpr auto kClaimPatience = std::chrono::seconds(30);
// A jump of the boot-time clock ahead of the monotonic one longer than this was a suspend.
constexpr int64_t kSuspendJumpMs = 4000;

void Log(const std::string& text) { WriteSystemLog(kProgram, Utf8ToUtf16Lossy(text)); }

std::string BootId() {
  std::ifstream file("/proc/sys/kernel/random/boot_id");
  std::string id;
  std::getline(file, id);
  return id;
}

int64_t ClockMs(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Milliseconds that the file named by KOLVAR_SLEPT_MS_FILE adds to the time spent suspended. A
// suspend cannot be made in a test, so a test writes a growing total there (and freezes the
// dispatcher meanwhile) to stand for one; nothing but tests sets the variable. Unset, missing or
// not a number: nothing added.
int64_t InjectedSleptMs() {
  const char* path = std::getenv("KOLVAR_SLEPT_MS_FILE");
  if (path == nullptr || *path == '\0') return 0;
  std::ifstream file(path);
  long long ms = 0;
  if (!(file >> ms) || ms < 0) return 0;
  return ms;
}

// The time the machine has spent suspended since its boot: the boot-time clock runs on through
// a suspend, the monotonic clock stops.
int64_t SleptMs() {
  return ClockMs(CLOCK_BOOTTIME) - ClockMs(CLOCK_MONOTONIC) + InjectedSleptMs();
}

int InsertEvent(sqlite3* db, uint32_t event) {
  Statement insert(db, "INSERT INTO events(event, at, dispatched) VALUES (?, ?, 0)");
  insert.Bind(1, event).Bind(2, MomentText(CurrentLocalTime()));
  return insert.Step();
}

int SetState(sqlite3* db, std::string_view name, std::string_view value) {
  Statement set(db, "INSERT OR REPLACE INTO state(name, value) VALUES (?, ?)");
  set.Bind(1, name).Bind(2, value);
  return set.Step();
}

std::string GetState(sqlite3* db, std::string_view name) {
  Statement get(db, "SELECT value FROM state WHERE name = ?");
  get.Bind(1, name);
  return get.Step() == SQLITE_ROW ? get.Text(0) : std::string();
}

// The wake-up of this start: a new boot (the machine was off: a time registration that passed
// meanwhile is caught up by the normal dispatch), a login, or a resume that happened while no
// dispatcher ran (the slept time grew since the last one noted it). One event per start at most.
bool NoteStart(Store& store, bool login, int64_t slept) {
  const std::string boot = BootId();
  return store.Transact(true, [&](sqlite3* db) {
    const bool new_boot = GetState(db, "boot_id") != boot;
    bool resumed = false;
    if (new_boot) {
      if (int rc = SetState(db, "boot_id", boot); rc != SQLITE_DONE) return rc;
      // A connection after the boot is a new one, whatever the last one was.
      if (int rc = SetState(db, "connected", "0"); rc != SQLITE_DONE) return rc;
    } else {
      const std::string noted = GetState(db, "slept_ms");
      resumed = !noted.empty() &&
                slept - std::strtoll(noted.c_str(), nullptr, 10) > kSuspendJumpMs;
    }
    if (int rc = SetState(db, "slept_ms", std::to_string(slept)); rc != SQLITE_DONE) return rc;
    if (new_boot || login || resumed) return InsertEvent(db, kEventWakeup);
    return SQLITE_DONE;
  });
}

// Notes a network connection when the state turned connected since it was last noted.
bool NoteNetwork(Store& store) {
  const bool connected = IsNetworkConnected();
  return store.Transact(true, [&](sqlite3* db) {
    const bool was = GetState(db, "connected") == "1";
    if (was == connected) return SQLITE_DONE;
    if (int rc = SetState(db, "connected", connected ? "1" : "0"); rc != SQLITE_DONE) return rc;
    return connected ? InsertEvent(db, kEventNetworkConnection) : SQLITE_DONE;
  });
}

// Route and link changes wake the dispatcher at once; it then reads the routes itself.
void WatchRoutes() {
  const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) return;
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  address.nl_groups = RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE | RTMGRP_LINK;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return;
  }
  std::thread([fd] {
    Event wake;
    if (!wake.Open(kDispatcherWakeEventName)) return;
    char buffer[8192];
    for (;;) {
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n < 0 && errno != EINTR && errno != ENOBUFS) return;
      wake.Set();
    }
  }).detach();
}

class Dispatcher {
 public:
  explicit Dispatcher(Store& store) : store_(store) {}

  // One pass: hands out every due firing that has no firing process on its way.
  void Pass() {
    std::vector<std::pair<NotificationHandle, int64_t>> due;
    const std::string now = MomentText(CurrentLocalTime());
    const bool ok = store_.Transact(true, [&](sqlite3* db) {
      due.clear();
      Statement times(db,
                      "SELECT handle FROM registrations WHERE type = ? AND start <= ?"
                      " ORDER BY start, handle");
      times.Bind(1, kTriggerTime).Bind(2, now);
      int rc;
      while ((rc = times.Step()) == SQLITE_ROW) due.emplace_back(times.Integer(0), 0);
      if (rc != SQLITE_DONE) return rc;
      // Events whose every registration has been claimed are done with, with their firings.
      Statement events(db, "SELECT seq, event FROM events ORDER BY seq");
      std::vector<std::pair<int64_t, int64_t>> open;
      while ((rc = events.Step()) == SQLITE_ROW)
        open.emplace_back(events.Integer(0), events.Integer(1));
      if (rc != SQLITE_DONE) return rc;
      for (const auto& [seq, event] : open) {
        Statement pending(db,
                          "SELECT handle FROM registrations r WHERE type = ? AND event = ?"
                          " AND since < ? AND NOT EXISTS (SELECT 1 FROM firings f"
                          " WHERE f.seq = ? AND f.handle = r.handle) ORDER BY handle");
        pending.Bind(1, kTriggerEvent).Bind(2, event).Bind(3, seq).Bind(4, seq);
        size_t count = 0;
        while ((rc = pending.Step()) == SQLITE_ROW) {
          due.emplace_back(pending.Integer(0), seq);
          ++count;
        }
        if (rc != SQLITE_DONE) return rc;
        if (count == 0) {
          Statement done_firings(db, "DELETE FROM firings WHERE seq = ?");
          done_firings.Bind(1, seq);
          if ((rc = done_firings.Step()) != SQLITE_DONE) return rc;
          Statement done_event(db, "DELETE FROM events WHERE seq = ?");
          done_event.Bind(1, seq);
          if ((rc = done_event.Step()) != SQLITE_DONE) return rc;
        }
      }
      return SQLITE_DONE;
    });
    if (!ok) {
      Log("cannot read the notification table: " + std::string(ErrorMeaning(GetLastError())));
      return;
    }
    const auto now_steady = std::chrono::steady_clock::now();
    std::map<std::pair<NotificationHandle, int64_t>, std::chrono::steady_clock::time_point> kept;
    for (const auto& firing : due) {
      auto it = started_.find(firing);
      if (it != started_.end() && now_steady - it->second < kClaimPatience) {
        kept.insert(*it);
        continue;
      }
      StartFiring(firing.first, firing.second);
      kept[firing] = now_steady;
    }
    started_ = std::move(kept);
  }

  // Milliseconds until the earliest time registration is due, at most kLongestSleepMs.
  uint32_t SleepMs() {
    std::string earliest;
    store_.Transact(false, [&](sqlite3* db) {
      Statement select(db, "SELECT min(start) FROM registrations WHERE type = ?");
      select.Bind(1, kTriggerTime);
      const int rc = select.Step();
      earliest = rc == SQLITE_ROW ? select.Text(0) : std::string();
      return rc == SQLITE_ROW ? SQLITE_DONE : rc;
    });
    SystemTime start;
    if (earliest.empty() || !ParseMomentText(earliest, &start)) return kLongestSleepMs;
    tm moment{};
    moment.tm_year = start.year - 1900;
    moment.tm_mon = start.month - 1;
    moment.tm_mday = start.day;
    moment.tm_hour = start.hour;
    moment.tm_min = start.minute;
    moment.tm_sec = start.second;
    moment.tm_isdst = -1;
    const time_t due = mktime(&moment);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const int64_t ms = (static_cast<int64_t>(due) - now.tv_sec) * 1000 - now.tv_nsec / 1000000;
    if (ms <= 0) return 0;
    return ms < kLongestSleepMs ? static_cast<uint32_t>(ms) : kLongestSleepMs;
  }

 private:
  void StartFiring(NotificationHandle handle, int64_t seq) {
    std::u16string self;
    if (!RunningProgramPath(&self)) {
      Log("kvnotifyd does not lie below the device root");
      return;
    }
    const std::u16string line =
        std::u16string(kDispatcherFireArgument) + u" " +
        Utf8ToUtf16Lossy(std::to_string(handle) + " " + std::to_string(seq));
    Process process;
    if (!Process::Start(self, line, StartOptions{.detached = true}, &process)) {
      Log("cannot start a firing process: " + std::string(ErrorMeaning(GetLastError())));
    }
  }

  Store& store_;
  std::map<std::pair<NotificationHandle, int64_t>, std::chrono::steady_clock::time_point> started_;
};

}  // namespace

int RunNotificationDispatcher(bool login) {
  Mutex instance;
  bool existed = false;
  if (!instance.Create(kDispatcherMutexName, true, &existed)) {
    Log("cannot create its instance lock: " + std::string(ErrorMeaning(GetLastError())));
    return 1;
  }
  if (existed) {
    if (login) {
      // The running dispatcher carries out the login's wake-up.
      if (auto store = Store::Open(); store != nullptr) {
        store->Transact(true, [](sqlite3* db) { return InsertEvent(db, kEventWakeup); });
      }
      Event wake;
      if (wake.Open(kDispatcherWakeEventName)) wake.Set();
    }
    return 0;
  }
  Event wake;
  if (!wake.Create(kDispatcherWakeEventName, false, false)) {
    Log("cannot create its wake event: " + std::string(ErrorMeaning(GetLastError())));
    return 1;
  }
  auto store = Store::Open();
  if (store == nullptr) {
    Log("cannot open the notification table: " + std::string(ErrorMeaning(GetLastError())));
    return 1;
  }
  int64_t slept_before = SleptMs();
  NoteStart(*store, login, slept_before);
  WatchRoutes();
  Dispatcher dispatcher(*store);
  for (;;) {
    // A resume is a wake-up; the pass after noting it also fires every time registration whose
    // moment went by while the machine slept, each once (its claim removes it).
    const int64_t slept = SleptMs();
    if (slept - slept_before > kSuspendJumpMs) {
      Log("resumed after " + std::to_string((slept - slept_before) / 1000) + " s asleep");
      if (!store->Transact(true, [&](sqlite3* db) {
            if (int rc = SetState(db, "slept_ms", std::to_string(slept)); rc != SQLITE_DONE) {
              return rc;
            }
            return InsertEvent(db, kEventWakeup);
          })) {
        // Noted at the next turn rather than lost.
        wake.Wait(kLongestSleepMs);
        continue;
      }
    }
    slept_before = slept;
    NoteNetwork(*store);
    dispatcher.Pass();
    wake.Wait(dispatcher.SleepMs());
  }
}

int FireNotification(NotificationHandle handle, int64_t seq) {
  auto store = Store::Open();
  if (store == nullptr) return 1;
  bool claimed = false;
  std::string application, arguments;
  const bool ok = store->Transact(true, [&](sqlite3* db) {
    claimed = false;
    int rc;
    if (seq == 0) {
      Statement select(db,
                       "SELECT application, arguments FROM registrations"
                       " WHERE handle = ? AND type = ?");
      select.Bind(1, handle).Bind(2, kTriggerTime);
      rc = select.Step();
      if (rc != SQLITE_ROW) return rc;
      application = select.Text(0);
      arguments = select.Text(1);
      Statement remove(db, "DELETE FROM registrations WHERE handle = ?");
      remove.Bind(1, handle);
      if ((rc = remove.Step()) != SQLITE_DONE) return rc;
    } else {
      Statement select(db,
                       "SELECT r.application, r.arguments FROM registrations r JOIN events e"
                       " ON e.seq = ? AND r.type = ? AND r.event = e.event AND r.since < e.seq"
                       " WHERE r.handle = ?");
      select.Bind(1, seq).Bind(2, kTriggerEvent).Bind(3, handle);
      rc = select.Step();
      if (rc != SQLITE_ROW) return rc;
      application = select.Text(0);
      arguments = select.Text(1);
      Statement claim(db, "INSERT OR IGNORE INTO firings(seq, handle) VALUES (?, ?)");
      claim.Bind(1, seq).Bind(2, handle);
      if ((rc = claim.Step()) != SQLITE_DONE) return rc;
      if (sqlite3_changes(db) == 0) return SQLITE_DONE;
    }
    claimed = true;
    return SQLITE_DONE;
  });
  store.reset();
  if (!ok) return 1;
  if (!claimed) return 0;
  std::string host;
  if (!CheckedHostPath(Utf8ToUtf16Lossy(application), &host)) {
    Log("cannot start " + application + ": " + std::string(ErrorMeaning(GetLastError())));
    return 1;
  }
  char* argv[] = {host.data(), arguments.empty() ? nullptr : arguments.data(), nullptr};
  execv(host.c_str(), argv);
  Log("cannot start " + application + ": " + std::string(ErrorMeaning(ErrorFromErrno(errno))));
  return 1;
}

}  // namespace kolvar::platform
