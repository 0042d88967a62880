// The quarantine repository on a device image: the names, the index bytes, the round trip of a
// file through protection and restore, and every step made to fail with a real fault (a missing
// folder, an entry in the way, a file-size limit that fills the disk, a damaged protected copy).
#include "scan_engine/repository.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "antivirus/engine_notices.h"
#include "common/file_cryptor.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "scan_engine/scan_records.h"
#include "tests/testing/file_size_limit.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

constexpr char16_t kQuarantine[] = u"\\Program Files\\Kolvar\\Quarantine";
constexpr char16_t kIndex[] = u"\\Program Files\\Kolvar\\KVRepository.dat";
constexpr uint32_t kProtectedBits = platform::kAttributeReadOnly | platform::kAttributeSystem;

std::string Content(size_t size, char seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7 + (i >> 9));
  return bytes;
}

uint32_t Attributes(std::u16string_view path) {
  uint32_t attributes = 0;
  EXPECT_TRUE(platform::GetFileAttributes(path, &attributes));
  return attributes;
}

using kolvar::testing::FileSizeLimit;

// The repository reports facts; these cases read them as the main program words them.
constexpr auto& kMoveFailedMessage = strings::kFileNotMoved;
constexpr auto& kRestoreFailedMessage = strings::kFileNotRestored;
constexpr auto& kRestoreOccupiedMessage = strings::kRestoreOccupied;
constexpr auto& kRestoreMissingMessage = strings::kRestoreMissing;
constexpr auto& kRestoreDamagedMessage = strings::kRestoreDamaged;
constexpr auto& kRestoreUncheckedMessage = strings::kRestoreUnchecked;

TEST(RepositoryNames, EncodeTheFormerFolderBeforeTheName) {
  const struct {
    const char16_t* folder;
    const char16_t* name;
    const char16_t* repository_name;
  } cases[] = {
      {u"\\My Documents", u"a.exe", u"%_My Documents%@%a.exe"},
      {u"\\", u"a.exe", u"%_%@%a.exe"},
      {u"\\Storage Card\\Setup", u"x.cab", u"%_Storage Card_Setup%@%x.cab"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RepositoryName(c.folder, c.name), c.repository_name);
    EXPECT_EQ(ProtectedPath(kQuarantine, c.folder, c.name),
              std::u16string(kQuarantine) + u"\\" + c.repository_name + u".avq");
  }
  EXPECT_EQ(QuarantineFolderOf(u"\\Program Files\\Kolvar\\"), kQuarantine);
  EXPECT_EQ(QuarantineFolderOf(u"\\Program Files\\Kolvar"), kQuarantine);
}

TEST(RepositoryNames, DateIsDayMonthYear) {
  platform::SystemTime time{};
  time.year = 2007;
  time.month = 3;
  time.day = 5;
  EXPECT_EQ(RepositoryDate(time), u"05/03/2007");
  time.year = 2024;
  time.month = 12;
  time.day = 31;
  EXPECT_EQ(RepositoryDate(time), u"31/12/2024");
}

TEST(RepositoryNames, TakenNamesGetACopyNumberThatReadersOfTheDateNeverSee) {
  RepositoryRecord record;
  ASSERT_TRUE(MakeRepositoryRecord(7, u"\\Docs", u"a.exe", u"05/03/2007", &record));
  EXPECT_EQ(record.copy(), 0u);
  EXPECT_EQ(ProtectedPathOf(kQuarantine, record), ProtectedPath(kQuarantine, u"\\Docs", u"a.exe"));
  record.date[kRepositoryCopyIndex] = 3;
  EXPECT_EQ(ProtectedPathOf(kQuarantine, record),
            std::u16string(kQuarantine) + u"\\%_Docs%@%a.exe~3.avq");
  EXPECT_EQ(WideField(record.date), u"05/03/2007");
}

class RepositoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_.MakeFolder(u"\\Program Files\\Kolvar");
    ASSERT_TRUE(CreateQuarantineFolder(kQuarantine));
    ASSERT_TRUE(CreateQuarantineFolder(kQuarantine));  // exists already: still fine
    notice_ = MainProgramRepositoryNotice([this](std::u16string_view text, uint32_t style) {
      messages_.emplace_back(std::u16string(text), style);
    });
  }

  bool Quarantine(std::u16string_view folder, std::u16string_view name,
                  RepositoryRecord* record = nullptr) {
    return repository_.Quarantine(folder, name, 7, notice_, record);
  }

  std::vector<RepositoryRecord> Index() {
    std::vector<RepositoryRecord> records;
    EXPECT_TRUE(repository_.ReadIndex(&records));
    return records;
  }

  RepositoryRecord Record(std::u16string_view folder, std::u16string_view name,
                          uint32_t virus_id = 7) {
    RepositoryRecord record;
    EXPECT_TRUE(MakeRepositoryRecord(virus_id, folder, name, u"05/03/2007", &record));
    return record;
  }

  // The entry of the one file that the index lists for folder\name.
  RepositoryRecord Listed(std::u16string_view folder, std::u16string_view name) {
    RepositoryRecord record = Record(folder, name);
    EXPECT_TRUE(repository_.FindNewestEntry(folder, name, &record));
    return record;
  }

  RestoreOutcome Restore(std::u16string_view folder, std::u16string_view name) {
    return repository_.Restore(Listed(folder, name), notice_);
  }

  std::u16string LastMessage() const {
    return messages_.empty() ? std::u16string() : messages_.back().first;
  }

  // Nothing of work in progress is left in the quarantine folder.
  void ExpectNoWorkLeft() {
    platform::DirectoryListing listing;
    platform::FindData entry;
    if (!listing.First(std::u16string(kQuarantine) + u"\\*", &entry)) return;
    do {
      EXPECT_NE(entry.name[0], u'~') << std::string(entry.name.begin(), entry.name.end());
    } while (listing.Next(&entry));
  }

  testing::TestDevice device_;
  Repository repository_{kQuarantine, kIndex};
  RepositoryNotice notice_;
  std::vector<std::pair<std::u16string, uint32_t>> messages_;

  const std::u16string folder_ = u"\\Storage Card\\Setup";
  const std::u16string name_ = u"x.cab";
  const std::u16string original_ = u"\\Storage Card\\Setup\\x.cab";
  const std::u16string protected_ =
      std::u16string(kQuarantine) + u"\\%_Storage Card_Setup%@%x.cab.avq";
};

TEST_F(RepositoryTest, QuarantineAndRestoreGiveBackTheSameBytesModeAndTime) {
  const std::string bytes = Content(3 * 32768 + 100, 'a');
  device_.WriteFile(original_, bytes);
  platform::HostFileState state;
  state.mode = 0640;
  state.last_write = platform::FileTimeFromUnix(1173052800, 123456700);  // 5 March 2007
  ASSERT_TRUE(platform::SetHostFileState(original_, state));

  RepositoryRecord record;
  ASSERT_TRUE(Quarantine(folder_, name_, &record));
  EXPECT_TRUE(messages_.empty());
  EXPECT_FALSE(device_.Exists(original_));
  ASSERT_TRUE(device_.Exists(protected_));
  EXPECT_EQ(Attributes(protected_) & kProtectedBits, kProtectedBits);
  const std::string stored = device_.ReadFile(protected_);
  EXPECT_EQ(stored.substr(0, 4), std::string("\x41\x46\x45\xFF", 4));
  EXPECT_EQ(stored.find(bytes.substr(0, 64)), std::string::npos);
  ASSERT_EQ(Index().size(), 1u);
  EXPECT_EQ(std::memcmp(&Index()[0], &record, sizeof(record)), 0);
  ExpectNoWorkLeft();

  EXPECT_EQ(repository_.Restore(record, notice_), RestoreOutcome::kRestored);
  EXPECT_TRUE(messages_.empty());
  EXPECT_TRUE(device_.ReadFile(original_) == bytes);
  platform::HostFileState restored;
  ASSERT_TRUE(platform::GetHostFileState(original_, &restored));
  EXPECT_EQ(restored.mode, 0640u);
  EXPECT_EQ(restored.last_write.value, state.last_write.value);
  EXPECT_FALSE(device_.Exists(protected_));
  EXPECT_TRUE(Index().empty());
  ExpectNoWorkLeft();
}

TEST_F(RepositoryTest, ReadOnlySystemAndEmptyFilesComeBackAsTheyWere) {
  const std::u16string names[] = {u"ro.exe", u"sys.exe", u"empty.exe", u"evil.avq"};
  device_.WriteFile(folder_ + u"\\ro.exe", "read-only");
  device_.WriteFile(folder_ + u"\\sys.exe", "system");
  device_.WriteFile(folder_ + u"\\empty.exe", "");
  device_.WriteFile(folder_ + u"\\evil.avq", "carries the protected extension");
  ASSERT_TRUE(platform::SetFileAttributes(folder_ + u"\\ro.exe", platform::kAttributeReadOnly));
  ASSERT_TRUE(platform::SetFileAttributes(folder_ + u"\\sys.exe", platform::kAttributeSystem));
  for (const std::u16string& name : names) EXPECT_TRUE(Quarantine(folder_, name));
  for (const std::u16string& name : names) {
    EXPECT_FALSE(device_.Exists(folder_ + u"\\" + name));
    EXPECT_EQ(Restore(folder_, name), RestoreOutcome::kRestored);
  }
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(device_.ReadFile(folder_ + u"\\ro.exe"), "read-only");
  EXPECT_EQ(device_.ReadFile(folder_ + u"\\sys.exe"), "system");
  EXPECT_EQ(device_.ReadFile(folder_ + u"\\empty.exe"), "");
  EXPECT_EQ(device_.ReadFile(folder_ + u"\\evil.avq"), "carries the protected extension");
  EXPECT_EQ(Attributes(folder_ + u"\\ro.exe") & kProtectedBits, platform::kAttributeReadOnly);
  EXPECT_EQ(Attributes(folder_ + u"\\sys.exe") & kProtectedBits, platform::kAttributeSystem);
  EXPECT_TRUE(Index().empty());
}

TEST_F(RepositoryTest, SecondQuarantineOfTheSamePathKeepsBothVersions) {
  device_.WriteFile(original_, "first");
  RepositoryRecord first, second;
  ASSERT_TRUE(Quarantine(folder_, name_, &first));
  device_.WriteFile(original_, "second");
  ASSERT_TRUE(Quarantine(folder_, name_, &second));
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(first.copy(), 0u);
  EXPECT_EQ(second.copy(), 1u);
  EXPECT_EQ(repository_.ProtectedPathOf(second),
            std::u16string(kQuarantine) + u"\\%_Storage Card_Setup%@%x.cab~1.avq");
  ASSERT_EQ(Index().size(), 2u);
  for (const RepositoryRecord& record : Index()) {
    EXPECT_EQ(WideField(record.folder), folder_);
    EXPECT_EQ(WideField(record.file_name), name_);
  }

  EXPECT_EQ(repository_.Restore(first, notice_), RestoreOutcome::kRestored);
  EXPECT_EQ(device_.ReadFile(original_), "first");
  ASSERT_TRUE(platform::DeleteFile(original_));
  EXPECT_EQ(repository_.Restore(second, notice_), RestoreOutcome::kRestored);
  EXPECT_EQ(device_.ReadFile(original_), "second");
  EXPECT_TRUE(Index().empty());
}

TEST_F(RepositoryTest, FailedQuarantineLeavesTheFileAtHomeAndNothingInTheRepository) {
  const std::string bytes = Content(256 * 1024, 'n');
  device_.WriteFile(original_, bytes);
  {
    SCOPED_TRACE("full disk");
    FileSizeLimit limit(64 * 1024);
    EXPECT_FALSE(Quarantine(folder_, name_));
  }
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].first,
            FormatText(kMoveFailedMessage, {original_, u"error 112: the disk is full"}));
  EXPECT_EQ(messages_[0].second, platform::kMbIconError);
  EXPECT_TRUE(device_.ReadFile(original_) == bytes);
  EXPECT_FALSE(device_.Exists(protected_));
  EXPECT_TRUE(Index().empty());
  ExpectNoWorkLeft();

  messages_.clear();
  EXPECT_FALSE(Quarantine(folder_, u"absent.exe"));
  EXPECT_EQ(LastMessage(),
            FormatText(kMoveFailedMessage, {folder_ + u"\\absent.exe", u"error 2: not found"}));

  messages_.clear();
  ASSERT_TRUE(platform::RemoveDirectory(kQuarantine));
  EXPECT_FALSE(Quarantine(folder_, name_));
  EXPECT_EQ(LastMessage(),
            FormatText(kMoveFailedMessage, {original_, u"error 3: folder not found"}));
  EXPECT_TRUE(device_.ReadFile(original_) == bytes);
}

TEST_F(RepositoryTest, UnwritableIndexTakesTheProtectedCopyBack) {
  device_.WriteFile(original_, "payload");
  // A folder where the index must go: it can be neither read as a file nor replaced.
  device_.MakeFolder(kIndex);
  EXPECT_FALSE(Quarantine(folder_, name_));
  EXPECT_EQ(device_.ReadFile(original_), "payload");
  EXPECT_FALSE(device_.Exists(protected_));
  ExpectNoWorkLeft();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].first.find(u"cannot be moved to the repository"), std::u16string::npos);
}

TEST_F(RepositoryTest, RestoreOntoAnOccupiedPathKeepsBothFiles) {
  device_.WriteFile(original_, "quarantined");
  ASSERT_TRUE(Quarantine(folder_, name_));
  device_.WriteFile(original_, "newcomer");

  EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kKept);
  EXPECT_EQ(device_.ReadFile(original_), "newcomer");
  EXPECT_TRUE(device_.Exists(protected_));
  EXPECT_EQ(LastMessage(), FormatText(kRestoreOccupiedMessage, {original_}));
  EXPECT_EQ(Index().size(), 1u);

  ASSERT_TRUE(platform::DeleteFile(original_));
  EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kRestored);
  EXPECT_EQ(device_.ReadFile(original_), "quarantined");
}

TEST_F(RepositoryTest, FailedRestoreKeepsTheProtectedCopyAndItsEntry) {
  const std::string bytes = Content(100000, 'r');
  struct Fault {
    const char* name;
    std::function<void()> make;
    std::function<void()> undo;
    std::u16string message_part;
  };
  const std::u16string leftover =
      std::u16string(kQuarantine) + u"\\~%_Storage Card_Setup%@%x.cab.part";
  Fault faults[] = {
      {"former folder missing", [&] { ASSERT_TRUE(platform::RemoveDirectory(folder_)); },
       [&] { device_.MakeFolder(folder_); }, u"could not be restored.(error 3: folder not found)"},
      {"folder in the way", [&] { device_.MakeFolder(original_); },
       [&] { ASSERT_TRUE(platform::RemoveDirectory(original_)); }, u"a file of that name exists"},
  };
  device_.WriteFile(original_, bytes);
  ASSERT_TRUE(Quarantine(folder_, name_));
  const std::string stored = device_.ReadFile(protected_);
  for (Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    messages_.clear();
    fault.make();
    EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kKept);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].first.find(fault.message_part), std::u16string::npos)
        << std::string(messages_[0].first.begin(), messages_[0].first.end());
    EXPECT_TRUE(device_.ReadFile(protected_) == stored);
    EXPECT_EQ(Attributes(protected_) & kProtectedBits, kProtectedBits);
    EXPECT_EQ(Index().size(), 1u);
    fault.undo();
    ExpectNoWorkLeft();
  }
  {
    SCOPED_TRACE("full disk");
    messages_.clear();
    {
      FileSizeLimit limit(32 * 1024);
      EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kKept);
    }
    EXPECT_NE(LastMessage().find(u"could not be restored.(error 112: the disk is full)"),
              std::u16string::npos);
    EXPECT_TRUE(device_.ReadFile(protected_) == stored);
    EXPECT_FALSE(device_.Exists(original_));
    ExpectNoWorkLeft();
  }
  // What a killed restore leaves is a second copy only: the next restore clears it.
  device_.WriteFile(leftover, "half a decrypted file");
  messages_.clear();
  EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kRestored);
  EXPECT_TRUE(messages_.empty());
  EXPECT_TRUE(device_.ReadFile(original_) == bytes);
  ExpectNoWorkLeft();
}

TEST_F(RepositoryTest, DamagedProtectedCopyIsNeitherRestoredNorDeleted) {
  device_.WriteFile(original_, Content(5000, 'd'));
  ASSERT_TRUE(Quarantine(folder_, name_));
  const std::string stored = device_.ReadFile(protected_);
  const struct {
    size_t offset;
    std::u16string message;
  } damages[] = {
      {0, FormatText(kRestoreFailedMessage, {original_, u"status 76: not a protected file"})},
      {20, FormatText(kRestoreFailedMessage,
                      {original_, u"status 78: the file was protected with other key material"})},
      // Inside the data: it still decrypts, to bytes that differ from what the copy recorded.
      {60, FormatText(kRestoreDamagedMessage, {original_, protected_})},
      // The last block: its padding no longer checks out.
      {stored.size() - 1,
       FormatText(kRestoreFailedMessage,
                  {original_,
                   u"error 2148073477: the data is damaged or was encrypted with another key"})},
  };
  for (const auto& damage : damages) {
    SCOPED_TRACE(damage.offset);
    std::string damaged = stored;
    damaged[damage.offset] ^= 0x01;
    ASSERT_TRUE(platform::SetFileAttributes(protected_, 0));
    device_.WriteFile(protected_, damaged);
    messages_.clear();
    EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kKept);
    EXPECT_EQ(LastMessage(), damage.message);
    EXPECT_TRUE(device_.ReadFile(protected_) == damaged);
    EXPECT_FALSE(device_.Exists(original_));
    EXPECT_EQ(Index().size(), 1u);
    ExpectNoWorkLeft();
  }
}

TEST_F(RepositoryTest, CopyWithoutItsNoteIsRestoredButKeptUntilDeleted) {
  device_.WriteFile(original_, "payload");
  ASSERT_TRUE(Quarantine(folder_, name_));
  // As an older copy, or one copied by a tool that drops extended attributes: no usable note.
  ASSERT_TRUE(platform::WriteFileNote(protected_, "quarantine", ""));
  EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kRestoredUnchecked);
  EXPECT_EQ(device_.ReadFile(original_), "payload");
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].first, FormatText(kRestoreUncheckedMessage, {original_}));
  EXPECT_EQ(messages_[0].second, platform::kMbIconInformation);
  EXPECT_TRUE(device_.Exists(protected_));
  ASSERT_EQ(Index().size(), 1u);
  EXPECT_TRUE(repository_.Delete(Index()[0], notice_));
  EXPECT_FALSE(device_.Exists(protected_));
  EXPECT_TRUE(Index().empty());
}

TEST_F(RepositoryTest, RestoreOfAMissingCopyKeepsTheEntry) {
  device_.WriteFile(original_, "payload");
  ASSERT_TRUE(Quarantine(folder_, name_));
  ASSERT_TRUE(platform::SetFileAttributes(protected_, 0));
  ASSERT_TRUE(platform::DeleteFile(protected_));
  EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kMissing);
  EXPECT_EQ(LastMessage(), FormatText(kRestoreMissingMessage, {original_, protected_}));
  EXPECT_EQ(Index().size(), 1u);
  // Deleting the entry of a missing copy is fine: nothing is left to delete.
  EXPECT_TRUE(repository_.Delete(Index()[0], notice_));
  EXPECT_TRUE(Index().empty());
}

TEST_F(RepositoryTest, CopiesThatTheIndexLostAreFoundAndAdopted) {
  device_.MakeFolder(u"\\My_Docs\\old_mail");
  const std::u16string mail = u"\\My_Docs\\old_mail";
  device_.WriteFile(mail + u"\\a.exe", "a");
  device_.WriteFile(mail + u"\\b.exe", "b");
  device_.WriteFile(folder_ + u"\\c.exe", "c");
  ASSERT_TRUE(Quarantine(mail, u"a.exe"));
  ASSERT_TRUE(Quarantine(mail, u"b.exe"));
  ASSERT_TRUE(Quarantine(folder_, u"c.exe"));
  const std::vector<RepositoryRecord> before = Index();
  // The index loses its last two records and a half; b's copy also loses its note.
  device_.WriteFile(kIndex, device_.ReadFile(kIndex).substr(0, 1076 + 500));
  ASSERT_TRUE(platform::WriteFileNote(ProtectedPathOf(kQuarantine, before[1]), "quarantine", ""));
  device_.WriteFile(std::u16string(kQuarantine) + u"\\~%_x%@%y.part", "left by a kill");
  device_.WriteFile(std::u16string(kQuarantine) + u"\\stranger.avq", "not a protected file");

  std::vector<UnlistedCopy> unlisted;
  ASSERT_TRUE(repository_.FindUnlisted(&unlisted));
  ASSERT_EQ(unlisted.size(), 2u);
  for (const UnlistedCopy& copy : unlisted) {
    if (copy.noted) {
      EXPECT_EQ(std::memcmp(&copy.record, &before[2], sizeof(copy.record)), 0);
    } else {
      // From its name: "_" in the folders is resolved by the folders that exist.
      EXPECT_EQ(WideField(copy.record.folder), mail);
      EXPECT_EQ(WideField(copy.record.file_name), u"b.exe");
      EXPECT_EQ(copy.record.virus_id, 0u);
    }
  }

  EXPECT_EQ(repository_.Adopt(notice_), 2);
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(Index().size(), 3u);
  ExpectNoWorkLeft();
  EXPECT_TRUE(device_.Exists(std::u16string(kQuarantine) + u"\\stranger.avq"));
  ASSERT_TRUE(repository_.FindUnlisted(&unlisted));
  EXPECT_TRUE(unlisted.empty());
  EXPECT_EQ(Restore(mail, u"b.exe"), RestoreOutcome::kRestoredUnchecked);
  EXPECT_EQ(Restore(folder_, u"c.exe"), RestoreOutcome::kRestored);
  EXPECT_EQ(device_.ReadFile(mail + u"\\b.exe"), "b");
  EXPECT_EQ(device_.ReadFile(folder_ + u"\\c.exe"), "c");
  EXPECT_EQ(repository_.Adopt(notice_), 0);
}

TEST_F(RepositoryTest, IndexRecordsAreByteExact) {
  RepositoryRecord record;
  ASSERT_TRUE(MakeRepositoryRecord(0x01020304, folder_, name_,
                                   RepositoryDate(platform::CurrentUtcTime()), &record));
  ASSERT_TRUE(AppendRepositoryRecords(kIndex, {record}, notice_));
  const std::string bytes = device_.ReadFile(kIndex);
  ASSERT_EQ(bytes.size(), 1076u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x04\x03\x02\x01", 4));
  auto wide_at = [&](size_t offset, std::u16string_view text, size_t field_bytes) {
    for (size_t i = 0; i < text.size(); ++i) {
      EXPECT_EQ(static_cast<uint8_t>(bytes[offset + 2 * i]), text[i] & 0xFF);
      EXPECT_EQ(static_cast<uint8_t>(bytes[offset + 2 * i + 1]), text[i] >> 8);
    }
    for (size_t b = offset + 2 * text.size(); b < offset + field_bytes; ++b) {
      EXPECT_EQ(bytes[b], 0) << b;
    }
  };
  wide_at(4, folder_, 520);
  wide_at(524, name_, 520);
  const std::u16string today = RepositoryDate(platform::CurrentUtcTime());
  ASSERT_EQ(today.size(), 10u);
  EXPECT_EQ(today[2], u'/');
  EXPECT_EQ(today[5], u'/');
  wide_at(1044, WideField(record.date), 32);

  std::vector<RepositoryRecord> read;
  ASSERT_TRUE(ReadRepositoryIndex(kIndex, &read));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(std::memcmp(&read[0], &record, sizeof(record)), 0);
}

std::vector<std::u16string> IndexNames(std::u16string_view index) {
  std::vector<RepositoryRecord> records;
  EXPECT_TRUE(ReadRepositoryIndex(index, &records));
  std::vector<std::u16string> names;
  for (const auto& record : records) names.emplace_back(WideField(record.file_name));
  return names;
}

// Work that interrupted operations left is swept under the lock once its writer has ended, and
// only then: the work of a live program (another process here) stays whatever runs meanwhile.
// Work names without a writer (a name too long for one) are left to adopt.
TEST_F(RepositoryTest, LeftoverWorkIsSweptOnceItsWriterHasEnded) {
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  ASSERT_GT(ended, 0);
  ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
  const pid_t live = fork();
  if (live == 0) {
    for (;;) pause();
  }
  ASSERT_GT(live, 0);
  auto work = [](pid_t pid, std::u16string_view rest) {
    return std::u16string(kQuarantine) + u"\\~" + DecimalText(pid) + u"~" + std::u16string(rest);
  };
  const std::vector<std::u16string> ended_work = {work(ended, u"%_x%@%y.part"),
                                                  work(ended, u"%_x%@%y.part.avq")};
  const std::vector<std::u16string> live_work = {work(live, u"%_x%@%z.part"),
                                                 work(live, u"%_x%@%z~2.part.avq")};
  const std::u16string legacy = std::u16string(kQuarantine) + u"\\~%_x%@%w.part";
  auto write = [&](const std::vector<std::u16string>& paths) {
    for (const std::u16string& path : paths) device_.WriteFile(path, "a second copy");
  };
  auto exist = [&](const std::vector<std::u16string>& paths) {
    size_t count = 0;
    for (const std::u16string& path : paths) count += device_.Exists(path) ? 1 : 0;
    return count;
  };
  write(ended_work);
  write(live_work);
  write({legacy});

  device_.WriteFile(original_, "quarantined");
  ASSERT_TRUE(Quarantine(folder_, name_));
  EXPECT_EQ(exist(ended_work), 0u);
  EXPECT_EQ(exist(live_work), 2u);
  EXPECT_TRUE(device_.Exists(legacy));

  write(ended_work);
  ASSERT_TRUE(repository_.Delete(Listed(folder_, name_), notice_));
  EXPECT_EQ(exist(ended_work), 0u);
  EXPECT_EQ(exist(live_work), 2u);
  EXPECT_TRUE(device_.Exists(legacy));

  EXPECT_EQ(repository_.Adopt(notice_), 0);
  EXPECT_FALSE(device_.Exists(legacy));
  EXPECT_EQ(exist(live_work), 2u);

  kill(live, SIGKILL);
  ASSERT_EQ(waitpid(live, nullptr, 0), live);
  EXPECT_EQ(repository_.Adopt(notice_), 0);
  ExpectNoWorkLeft();
  EXPECT_TRUE(messages_.empty());
}

TEST_F(RepositoryTest, AppendAddsEachFolderNameAndCopyOnce) {
  const std::vector<std::u16string> none;
  EXPECT_EQ(IndexNames(kIndex), none);  // a missing index is empty
  ASSERT_TRUE(
      AppendRepositoryRecords(kIndex, {Record(u"\\a", u"1"), Record(u"\\a", u"2")}, notice_));
  RepositoryRecord second_copy = Record(u"\\a", u"2");
  second_copy.date[kRepositoryCopyIndex] = 1;
  ASSERT_TRUE(AppendRepositoryRecords(
      kIndex, {Record(u"\\a", u"2", 99), Record(u"\\b", u"2"), Record(u"\\a", u"3"), second_copy},
      notice_));
  const std::vector<std::u16string> expected = {u"1", u"2", u"2", u"3", u"2"};
  EXPECT_EQ(IndexNames(kIndex), expected);
  EXPECT_FALSE(device_.Exists(std::u16string(kIndex) + u".new"));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(RepositoryTest, AppendAfterADamagedTailKeepsRecordsAligned) {
  ASSERT_TRUE(AppendRepositoryRecords(kIndex, {Record(u"\\a", u"1")}, notice_));
  device_.WriteFile(kIndex, device_.ReadFile(kIndex) + std::string(300, 'x'));
  const std::vector<std::u16string> one = {u"1"};
  EXPECT_EQ(IndexNames(kIndex), one);
  ASSERT_TRUE(AppendRepositoryRecords(kIndex, {Record(u"\\a", u"2")}, notice_));
  EXPECT_EQ(device_.ReadFile(kIndex).size(), 2 * 1076u);
  const std::vector<std::u16string> two = {u"1", u"2"};
  EXPECT_EQ(IndexNames(kIndex), two);
}

TEST_F(RepositoryTest, ConcurrentWritersLoseNoRecord) {
  constexpr int kPerWriter = 40;
  auto writer = [&](char16_t tag) {
    for (int i = 0; i < kPerWriter; ++i) {
      const std::u16string name = std::u16string(1, tag) + DecimalText(i);
      EXPECT_TRUE(AppendRepositoryRecords(kIndex, {Record(u"\\w", name)}, nullptr));
    }
  };
  std::thread first(writer, u'a');
  std::thread second(writer, u'b');
  first.join();
  second.join();
  EXPECT_EQ(IndexNames(kIndex).size(), 2u * kPerWriter);
}

TEST_F(RepositoryTest, UnwritableIndexIsReportedAsErrorCreatingFile) {
  const std::u16string index = u"\\Nowhere\\KVRepository.dat";
  EXPECT_FALSE(AppendRepositoryRecords(index, {Record(u"\\a", u"1")}, notice_));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].first, u"Error creating file.");
  EXPECT_EQ(messages_[0].second, platform::kMbOk);
  EXPECT_FALSE(RewriteRepositoryIndex(index, {Record(u"\\a", u"1")}, notice_));
  EXPECT_EQ(LastMessage(), u"Error creating file.");
}

TEST_F(RepositoryTest, RewriteAndRemoveKeepOnlyTheRemainingEntries) {
  ASSERT_TRUE(AppendRepositoryRecords(
      kIndex, {Record(u"\\a", u"1"), Record(u"\\a", u"2"), Record(u"\\a", u"3")}, notice_));
  ASSERT_TRUE(RemoveRepositoryRecord(kIndex, Record(u"\\a", u"2"), notice_));
  const std::vector<std::u16string> kept = {u"1", u"3"};
  EXPECT_EQ(IndexNames(kIndex), kept);
  ASSERT_TRUE(RewriteRepositoryIndex(kIndex, {Record(u"\\a", u"3")}, notice_));
  const std::vector<std::u16string> last = {u"3"};
  EXPECT_EQ(IndexNames(kIndex), last);
  ASSERT_TRUE(RemoveRepositoryRecord(kIndex, Record(u"\\a", u"3"), notice_));
  EXPECT_FALSE(device_.Exists(kIndex));  // no entry left: no index
  ASSERT_TRUE(RewriteRepositoryIndex(kIndex, {}, notice_));
  EXPECT_TRUE(messages_.empty());
}

}  // namespace
}  // namespace kolvar
