// Registering, listing, reading and clearing notifications, and starting or waking the dispatcher;
// see notification.h.
#include "platform/error.h"
#include "platform/kernel_objects.h"
#include "platform/notification.h"
#include "platform/notification_dispatcher.h"
#include "platform/notification_store_linux.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/text.h"

namespace kolvar::platform {
namespace {

using notification_internal::MomentText;
using notification_internal::ParseMomentText;
using notification_internal::Statement;
using notification_internal::Store;

// A date of the calendar: a start of 30 February would otherwise wait, stored, for 1 March.
bool ValidStart(const SystemTime& t) {
  if (t.year < 1 || t.year > 9999 || t.month < 1 || t.month > 12 || t.hour > 23 ||
      t.minute > 59 || t.second > 59) {
    return false;
  }
  static constexpr uint16_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
  const uint16_t days = kDays[t.month - 1] + (t.month == 2 && leap ? 1 : 0);
  return t.day >= 1 && t.day <= days;
}

// The desktop's autostart entry that starts the dispatcher at login, written beside the others
// when missing (never replaced: a user may have turned it off there).
constexpr char16_t kAutostartEntryName[] = u"kolvar-kvnotifyd.desktop";

std::string DesktopExecQuoted(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

void WriteAutostartEntry(std::u16string_view daemon) {
  std::u16string startup;
  if (!GetSpecialFolder(SpecialFolder::kStartup, &startup)) return;
  const std::u16string entry = JoinPath(startup, kAutostartEntryName);
  File file;
  if (!file.Open(entry, FileAccess::kWrite, CreateDisposition::kCreateNew)) return;
  const std::string text =
      "[Desktop Entry]\nType=Application\nName=Kolvar notification service\n"
      "Exec=" +
      DesktopExecQuoted(HostPath(daemon)) + " " + Utf16ToUtf8(kDispatcherLoginArgument) +
      "\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\n";
  uint32_t written = 0;
  file.Write(text.data(), static_cast<uint32_t>(text.size()), &written);
  file.Flush();
}

// Wakes a running dispatcher, or starts one from the running program's folder. A program that
// does not lie below the device root, or that has no dispatcher beside it, leaves the registration
// to the dispatcher that the next login starts.
void WakeOrStartDispatcher() {
  Event wake;
  if (wake.Open(kDispatcherWakeEventName)) {
    wake.Set();
    return;
  }
  std::u16string program;
  if (!RunningProgramPath(&program)) return;
  const size_t slash = program.rfind(u'\\');
  if (slash == std::u16string::npos) return;
  const std::u16string daemon = JoinPath(program.substr(0, slash), kNotificationDaemonName);
  if (!FileExists(daemon)) return;
  const uint32_t error = GetLastError();
  WriteAutostartEntry(daemon);
  // Its output goes to a file of its own, so that it never holds the starter's terminal or pipes
  // open (a script reading a registering program's output to its end would wait for the daemon).
  std::u16string temp;
  if (!GetSpecialFolder(SpecialFolder::kTemp, &temp)) return;
  Process process;
  Process::Start(
      daemon, u"",
      StartOptions{.detached = true, .output_file = JoinPath(temp, kNotificationDaemonLogName)},
      &process);
  SetLastError(error);
}

}  // namespace

bool NotificationDatabasePath(std::string* host_path) {
  std::u16string windows;
  if (!GetSpecialFolder(SpecialFolder::kWindows, &windows)) return false;
  *host_path = HostPath(JoinPath(windows, notification_internal::kDatabaseName));
  return true;
}

bool SetNotification(const NotificationTrigger& trigger, NotificationHandle* handle) {
  const bool event_ok = trigger.type == kTriggerEvent &&
                        (trigger.event == kEventWakeup || trigger.event == kEventNetworkConnection);
  const bool time_ok = trigger.type == kTriggerTime && ValidStart(trigger.start);
  if ((!event_ok && !time_ok) || trigger.application.empty() ||
      trigger.application.find(u'\0') != std::u16string::npos ||
      trigger.arguments.find(u'\0') != std::u16string::npos) {
    return Fail(kErrorInvalidParameter);
  }
  auto store = Store::Open();
  if (store == nullptr) return false;
  int64_t made = 0;
  const bool ok = store->Transact(true, [&](sqlite3* db) {
    Statement insert(db,
                     "INSERT INTO registrations(type, event, application, arguments, start, end,"
                     " since) VALUES (?, ?, ?, ?, ?, ?,"
                     " (SELECT coalesce(max(seq), 0) FROM events))");
    insert.Bind(1, trigger.type)
        .Bind(2, trigger.type == kTriggerEvent ? trigger.event : 0)
        .Bind(3, Utf16ToUtf8(trigger.application))
        .Bind(4, Utf16ToUtf8(trigger.arguments))
        .Bind(5, trigger.type == kTriggerTime ? MomentText(trigger.start) : std::string())
        .Bind(6, trigger.type == kTriggerTime ? MomentText(trigger.end) : std::string());
    const int rc = insert.Step();
    made = sqlite3_last_insert_rowid(db);
    return rc;
  });
  if (!ok) return false;
  *handle = static_cast<NotificationHandle>(made);
  WakeOrStartDispatcher();
  return true;
}

bool ListNotifications(std::vector<NotificationHandle>* handles) {
  handles->clear();
  auto store = Store::Open();
  if (store == nullptr) return false;
  return store->Transact(false, [&](sqlite3* db) {
    handles->clear();
    Statement select(db, "SELECT handle FROM registrations ORDER BY handle");
    int rc;
    while ((rc = select.Step()) == SQLITE_ROW) {
      handles->push_back(static_cast<NotificationHandle>(select.Integer(0)));
    }
    return rc;
  });
}

bool ReadNotification(NotificationHandle handle, NotificationTrigger* trigger) {
  auto store = Store::Open();
  if (store == nullptr) return false;
  bool found = false;
  const bool ok = store->Transact(false, [&](sqlite3* db) {
    Statement select(db,
                     "SELECT type, event, application, arguments, start, end FROM registrations"
                     " WHERE handle = ?");
    select.Bind(1, handle);
    const int rc = select.Step();
    found = rc == SQLITE_ROW;
    if (!found) return rc;
    NotificationTrigger read;
    read.type = static_cast<uint32_t>(select.Integer(0));
    read.event = static_cast<uint32_t>(select.Integer(1));
    read.application = Utf8ToUtf16Lossy(select.Text(2));
    read.arguments = Utf8ToUtf16Lossy(select.Text(3));
    ParseMomentText(select.Text(4), &read.start);
    ParseMomentText(select.Text(5), &read.end);
    *trigger = read;
    return SQLITE_OK;
  });
  if (!ok) return false;
  return found || Fail(kErrorFileNotFound);
}

bool ClearNotification(NotificationHandle handle) {
  auto store = Store::Open();
  if (store == nullptr) return false;
  bool found = false;
  const bool ok = store->Transact(true, [&](sqlite3* db) {
    Statement remove(db, "DELETE FROM registrations WHERE handle = ?");
    remove.Bind(1, handle);
    const int rc = remove.Step();
    found = sqlite3_changes(db) > 0;
    return rc;
  });
  if (!ok) return false;
  return found || Fail(kErrorFileNotFound);
}

}  // namespace kolvar::platform
