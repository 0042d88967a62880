// The registration table of the notification service within one process: what is registered
// reads back, handles are never reused, bad triggers are refused, a damaged or foreign database
// file is refused and left as it was (and checked again once it changes), and the connected-state
// query answers from its test file.
#include "platform/notification.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "platform/error.h"
#include "platform/notification_store_linux.h"
#include "platform/text.h"
#include "tests/testing/test_device.h"

namespace kolvar::platform {
namespace {

NotificationTrigger TimeTrigger(uint16_t minute, std::u16string arguments) {
  NotificationTrigger trigger;
  trigger.type = kTriggerTime;
  trigger.application = u"\\Program Files\\Kolvar\\KVTaskMgr";
  trigger.arguments = std::move(arguments);
  trigger.start = SystemTime{2027, 1, 0, 31, 23, minute, 1, 0};
  return trigger;
}

TEST(NotificationTest, RegistrationsReadBackAndClearByHandle) {
  testing::TestDevice device;
  NotificationHandle first = 0, second = 0, third = 0;
  ASSERT_TRUE(SetNotification(TimeTrigger(59, u"1"), &first));
  NotificationTrigger event;
  event.type = kTriggerEvent;
  event.event = kEventNetworkConnection;
  event.application = u"\\Program Files\\Kolvar\\KVTaskMgr";
  event.arguments = u"2";
  ASSERT_TRUE(SetNotification(event, &second));
  std::vector<NotificationHandle> handles;
  ASSERT_TRUE(ListNotifications(&handles));
  EXPECT_EQ(handles, (std::vector<NotificationHandle>{first, second}));

  NotificationTrigger read;
  ASSERT_TRUE(ReadNotification(first, &read));
  EXPECT_EQ(read.type, kTriggerTime);
  EXPECT_EQ(read.application, u"\\Program Files\\Kolvar\\KVTaskMgr");
  EXPECT_EQ(read.arguments, u"1");
  EXPECT_EQ(read.start.year, 2027);
  EXPECT_EQ(read.start.day, 31);
  EXPECT_EQ(read.start.minute, 59);
  EXPECT_EQ(read.start.second, 1);
  ASSERT_TRUE(ReadNotification(second, &read));
  EXPECT_EQ(read.type, kTriggerEvent);
  EXPECT_EQ(read.event, kEventNetworkConnection);
  EXPECT_EQ(read.arguments, u"2");

  ASSERT_TRUE(ClearNotification(first));
  EXPECT_FALSE(ClearNotification(first));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(ReadNotification(first, &read));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  // A handle is never given again, so a stale one names nothing new.
  ASSERT_TRUE(SetNotification(TimeTrigger(0, u""), &third));
  EXPECT_GT(third, second);
  ASSERT_TRUE(ListNotifications(&handles));
  EXPECT_EQ(handles, (std::vector<NotificationHandle>{second, third}));
}

TEST(NotificationTest, BadTriggersAreRefused) {
  testing::TestDevice device;
  NotificationTrigger bad_type = TimeTrigger(0, u"1");
  bad_type.type = 3;
  NotificationTrigger bad_event = TimeTrigger(0, u"1");
  bad_event.type = kTriggerEvent;
  bad_event.event = 7;
  NotificationTrigger bad_month = TimeTrigger(0, u"1");
  bad_month.start.month = 13;
  NotificationTrigger no_such_day = TimeTrigger(0, u"1");
  no_such_day.start.month = 2;
  no_such_day.start.day = 29;  // 2027 is no leap year
  NotificationTrigger no_program = TimeTrigger(0, u"1");
  no_program.application.clear();
  NotificationTrigger nul = TimeTrigger(0, std::u16string(u"1\0"
                                                          u"2",
                                                          3));
  for (const NotificationTrigger* trigger :
       {&bad_type, &bad_event, &bad_month, &no_such_day, &no_program, &nul}) {
    NotificationHandle handle = 0;
    EXPECT_FALSE(SetNotification(*trigger, &handle));
    EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  }
  std::vector<NotificationHandle> handles;
  ASSERT_TRUE(ListNotifications(&handles));
  EXPECT_TRUE(handles.empty());
}

// The bytes of an SQLite database made by `sql` in a scratch file.
std::string DatabaseBytes(const testing::TestDevice& device, const char* sql) {
  const std::string path = device.Host(u"\\Temp\\scratch.db");
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
  std::string bytes = device.ReadFile(u"\\Temp\\scratch.db");
  unlink(path.c_str());
  return bytes;
}

// A file under the table's name that is not our database, or is ours damaged, is refused with
// 1392 by every call, and stays byte for byte as it was: no tables made in it, no switch of its
// journal mode, no journal or WAL file left beside it.
TEST(NotificationTest, ADamagedOrForeignDatabaseIsRefusedAndLeftAsItWas) {
  std::string ours;
  {
    testing::TestDevice maker;
    NotificationHandle handle = 0;
    for (uint16_t minute = 0; minute < 40; ++minute) {
      ASSERT_TRUE(SetNotification(TimeTrigger(minute, std::u16string(300, u'a')), &handle));
    }
    ours = maker.ReadFile(u"\\Windows\\notify.db");
    ASSERT_GE(ours.size(), 4 * 4096u) << "several pages, so that damage can miss the first";
  }
  testing::TestDevice scratch;
  scratch.MakeFolder(u"\\Temp");
  std::mt19937 random(1392);
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::string bad_header(8192, 'x');
  bad_header.replace(0, 16, std::string("SQLite format 3\0", 16));
  std::string torn_pages = ours;
  torn_pages.replace(2 * 4096, 4096, noise);
  const std::string later_version = DatabaseBytes(
      scratch,
      "CREATE TABLE registrations(handle INTEGER PRIMARY KEY AUTOINCREMENT, type, event,"
      " application, arguments, start, end, since); CREATE TABLE events(seq, event, at,"
      " dispatched); CREATE TABLE firings(seq, handle); CREATE TABLE state(name, value);"
      " PRAGMA user_version = 2;");
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"text", std::string(3000, 't') + "\n"},
      {"noise", noise},
      {"an SQLite header over garbage", bad_header},
      {"ours cut after its first page", ours.substr(0, 4096)},
      {"ours with a page overwritten", torn_pages},
      {"another program's database", DatabaseBytes(scratch, "CREATE TABLE other(x);"
                                                            " INSERT INTO other VALUES (42);")},
      {"another program's database in WAL mode",
       DatabaseBytes(scratch, "PRAGMA journal_mode=WAL; CREATE TABLE other(x);")},
      {"our version number without our tables",
       DatabaseBytes(scratch, "CREATE TABLE other(x); PRAGMA user_version = 1;")},
      {"a registrations table of other columns",
       DatabaseBytes(scratch,
                     "CREATE TABLE registrations(handle, what); CREATE TABLE events(seq, event,"
                     " at, dispatched); CREATE TABLE firings(seq, handle);"
                     " CREATE TABLE state(name, value); PRAGMA user_version = 1;")},
      {"our tables at a later version", later_version},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TestDevice device;
    device.WriteFile(u"\\Windows\\notify.db", c.bytes);
    NotificationHandle handle = 0;
    EXPECT_FALSE(SetNotification(TimeTrigger(1, u"1"), &handle));
    EXPECT_EQ(GetLastError(), kErrorFileCorrupt);
    std::vector<NotificationHandle> handles;
    EXPECT_FALSE(ListNotifications(&handles));
    EXPECT_EQ(GetLastError(), kErrorFileCorrupt);
    NotificationTrigger read;
    EXPECT_FALSE(ReadNotification(1, &read));
    EXPECT_EQ(GetLastError(), kErrorFileCorrupt);
    EXPECT_FALSE(ClearNotification(1));
    EXPECT_EQ(GetLastError(), kErrorFileCorrupt);
    EXPECT_TRUE(device.ReadFile(u"\\Windows\\notify.db") == c.bytes) << "the file was changed";
    for (const char16_t* beside :
         {u"\\Windows\\notify.db-journal", u"\\Windows\\notify.db-wal",
          u"\\Windows\\notify.db-shm"}) {
      EXPECT_FALSE(device.Exists(beside)) << Utf16ToUtf8(beside);
    }
  }
  // The sound copy still serves, which shows that the refusals above were of the damage.
  testing::TestDevice device;
  device.WriteFile(u"\\Windows\\notify.db", ours);
  std::vector<NotificationHandle> handles;
  ASSERT_TRUE(ListNotifications(&handles));
  EXPECT_EQ(handles.size(), 40u);
}

// Overwrites `bytes.size()` bytes of the file at `offset` in place: the same file, the same size.
void OverwriteInPlace(const std::string& path, off_t offset, const std::string& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(pwrite(fd, bytes.data(), bytes.size(), offset), static_cast<ssize_t>(bytes.size()));
  close(fd);
}

// The page check reads the whole file, so a process does it again only for a file that has
// changed since it found it sound: a change in place that keeps the file's size is caught too.
TEST(NotificationTest, PagesAreCheckedAgainOnlyAfterTheFileChanged) {
  testing::TestDevice device;
  NotificationHandle handle = 0;
  for (uint16_t minute = 0; minute < 40; ++minute) {
    ASSERT_TRUE(SetNotification(TimeTrigger(minute, std::u16string(300, u'a')), &handle));
  }
  const std::string path = device.Host(u"\\Windows\\notify.db");
  const std::string sound = device.ReadFile(u"\\Windows\\notify.db");
  ASSERT_GE(sound.size(), 4 * 4096u);
  std::vector<NotificationHandle> handles;
  // A file that changed a moment ago is checked at every open until it has settled (seconds).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  bool settled = false;
  while (!settled && std::chrono::steady_clock::now() < deadline) {
    ASSERT_TRUE(ListNotifications(&handles));
    const uint64_t checks = notification_internal::PageChecksRun();
    ASSERT_TRUE(ListNotifications(&handles));
    settled = notification_internal::PageChecksRun() == checks;
    if (!settled) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(settled);

  const uint64_t checks = notification_internal::PageChecksRun();
  NotificationTrigger read;
  ASSERT_TRUE(ListNotifications(&handles));
  EXPECT_EQ(handles.size(), 40u);
  EXPECT_TRUE(ReadNotification(handles[0], &read));
  EXPECT_EQ(notification_internal::PageChecksRun(), checks);

  std::string noise(4096, '\0');
  std::mt19937 random(1392);
  for (char& c : noise) c = static_cast<char>(random());
  OverwriteInPlace(path, 2 * 4096, noise);
  EXPECT_FALSE(ListNotifications(&handles));
  EXPECT_EQ(GetLastError(), kErrorFileCorrupt);
  EXPECT_EQ(notification_internal::PageChecksRun(), checks + 1);

  OverwriteInPlace(path, 2 * 4096, sound.substr(2 * 4096, 4096));
  EXPECT_TRUE(ListNotifications(&handles));
  EXPECT_EQ(handles.size(), 40u);
  EXPECT_EQ(notification_internal::PageChecksRun(), checks + 2);
}

TEST(NotificationTest, TheConnectedStateComesFromItsTestFile) {
  testing::TestDevice device;
  const std::string file = device.Host(u"\\Temp\\network");
  setenv("KOLVAR_NETWORK_STATE_FILE", file.c_str(), 1);
  EXPECT_FALSE(IsNetworkConnected()) << "a missing file is offline";
  device.WriteFile(u"\\Temp\\network", "1\n");
  EXPECT_TRUE(IsNetworkConnected());
  device.WriteFile(u"\\Temp\\network", "0\n");
  EXPECT_FALSE(IsNetworkConnected());
  unsetenv("KOLVAR_NETWORK_STATE_FILE");
}

}  // namespace
}  // namespace kolvar::platform
