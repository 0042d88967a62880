// The task list file: lookups, in-place updates that touch one whole record only, damaged files,
// and writers killed in the middle of their updates.
#include "scheduling/task_database.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "platform/error.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

constexpr char16_t kPath[] = u"\\Program Files\\KVTasks.dat";

TaskRecord Record(uint32_t id, std::u16string_view name) {
  TaskRecord record = EmptyTaskRecord();
  record.id = id;
  SetFieldText(record.name, kTaskTextChars, name);
  record.kind = kTaskKindScan;
  return record;
}

std::string Bytes(const std::vector<TaskRecord>& records) {
  return std::string(reinterpret_cast<const char*>(records.data()),
                     records.size() * sizeof(TaskRecord));
}

class TaskDatabaseTest : public ::testing::Test {
 protected:
  testing::TestDevice device_;
};

TEST_F(TaskDatabaseTest, FindsTheFirstRecordWithTheIdentifier) {
  device_.WriteFile(kPath, Bytes({Record(7, u"a"), Record(9, u"b"), Record(9, u"c")}));
  TaskRecord found = EmptyTaskRecord();
  ASSERT_EQ(FindTask(kPath, 9, &found), TaskLookup::kFound);
  EXPECT_EQ(TaskName(found), u"b");
  EXPECT_EQ(FindTask(kPath, 8, &found), TaskLookup::kNotFound);
  EXPECT_EQ(FindTask(u"\\Program Files\\missing.dat", 9, &found), TaskLookup::kUnreadable);
  EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
  std::vector<TaskRecord> all;
  ASSERT_TRUE(ReadAllTasks(kPath, &all));
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(TaskName(all[2]), u"c");
  EXPECT_FALSE(ReadAllTasks(u"\\Program Files\\missing.dat", &all));
}

TEST_F(TaskDatabaseTest, UpdateWritesOnlyTheFirstRecordWithTheIdentifier) {
  device_.WriteFile(kPath, Bytes({Record(7, u"a"), Record(9, u"b"), Record(9, u"c")}));
  TaskRecord changed = Record(9, u"changed");
  SetFieldText(changed.status, kTaskStatusChars, kTaskStatusPostponed);
  changed.next_run = {2027, 3, 1, 9, 0};
  ASSERT_EQ(UpdateTask(kPath, changed), TaskUpdate::kWritten);
  EXPECT_EQ(device_.ReadFile(kPath), Bytes({Record(7, u"a"), changed, Record(9, u"c")}));
  // "Postponed" fills the status field with its terminator.
  EXPECT_EQ(changed.status[kTaskStatusChars - 1], u'\0');
  EXPECT_EQ(TaskStatus(changed), u"Postponed");
}

TEST_F(TaskDatabaseTest, AnUnknownIdentifierOrAMissingFileChangesNothing) {
  const std::string before = Bytes({Record(7, u"a")});
  device_.WriteFile(kPath, before);
  EXPECT_EQ(UpdateTask(kPath, Record(8, u"x")), TaskUpdate::kNotFound);
  EXPECT_EQ(device_.ReadFile(kPath), before);
  EXPECT_EQ(UpdateTask(u"\\Program Files\\missing.dat", Record(7, u"x")), TaskUpdate::kFailed);
  EXPECT_FALSE(device_.Exists(u"\\Program Files\\missing.dat"));
}

// A file cut inside its last record: the piece is no record, so the identifier it begins with is
// not found and nothing is written past the last whole record.
TEST_F(TaskDatabaseTest, APieceOfARecordAtTheEndIsNeitherFoundNorWritten) {
  const std::string whole = Bytes({Record(7, u"a")});
  const std::string piece = Bytes({Record(9, u"b")}).substr(0, 1000);
  device_.WriteFile(kPath, whole + piece);
  TaskRecord found = EmptyTaskRecord();
  EXPECT_EQ(FindTask(kPath, 9, &found), TaskLookup::kNotFound);
  EXPECT_EQ(UpdateTask(kPath, Record(9, u"x")), TaskUpdate::kNotFound);
  EXPECT_EQ(device_.ReadFile(kPath), whole + piece);
  std::vector<TaskRecord> all;
  ASSERT_TRUE(ReadAllTasks(kPath, &all));
  EXPECT_EQ(all.size(), 1u);
}

// A writer that rewrites the middle record over and over, alternating two versions that differ in
// every field, is killed at random moments; every time the file holds one version or the other
// whole, and its neighbours untouched.
TEST_F(TaskDatabaseTest, AWriterKilledAtAnyMomentNeverTearsARecord) {
  TaskRecord versions[2] = {Record(5, u"first version"), Record(5, u"second version")};
  for (int v = 0; v < 2; ++v) {
    auto* bytes = reinterpret_cast<unsigned char*>(&versions[v]);
    for (size_t i = sizeof(uint32_t); i < sizeof(TaskRecord); ++i) bytes[i] = v == 0 ? 0x11 : 0xEE;
  }
  const std::vector<TaskRecord> neighbours = {Record(4, u"before"), versions[0],
                                              Record(6, u"after")};
  device_.WriteFile(kPath, Bytes(neighbours));
  std::mt19937 random(1234);
  for (int round = 0; round < 20; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (uint64_t n = 0;; ++n) {
        if (UpdateTask(kPath, versions[n % 2]) != TaskUpdate::kWritten) _exit(3);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 20000));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed with " << WEXITSTATUS(status);
    const std::string now = device_.ReadFile(kPath);
    ASSERT_EQ(now.size(), 3 * sizeof(TaskRecord));
    const std::string middle = now.substr(sizeof(TaskRecord), sizeof(TaskRecord));
    const bool whole = middle == Bytes({versions[0]}) || middle == Bytes({versions[1]});
    ASSERT_TRUE(whole) << "round " << round;
    EXPECT_EQ(now.substr(0, sizeof(TaskRecord)), Bytes({neighbours[0]}));
    EXPECT_EQ(now.substr(2 * sizeof(TaskRecord)), Bytes({neighbours[2]}));
  }
}

}  // namespace
}  // namespace kolvar
