// The quarantine repository on a device image: the names, the index bytes, the round trip of a
// file through protection and restore, and every step made to fail with a real fault (a missing
// folder, an entry in the way, a file-size limit that fills the disk, a damaged protected copy).
#include "scan_engine/repository.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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

class RepositoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_.MakeFolder(u"\\Program Files\\Kolvar");
    ASSERT_TRUE(CreateQuarantineFolder(kQuarantine));
    ASSERT_TRUE(CreateQuarantineFolder(kQuarantine));  // exists already: still fine
    ASSERT_TRUE(cipher_.ok());
    notice_ = [this](std::u16string_view text, uint32_t style) {
      messages_.emplace_back(std::u16string(text), style);
    };
  }

  QuarantineOutcome Quarantine(std::u16string_view folder, std::u16string_view name,
                               bool already_moved = false) {
    return QuarantineFile(cipher_, kQuarantine, folder, name, already_moved, notice_);
  }

  RepositoryRecord Record(std::u16string_view folder, std::u16string_view name,
                          uint32_t virus_id = 7) {
    RepositoryRecord record;
    EXPECT_TRUE(MakeRepositoryRecord(virus_id, folder, name, u"05/03/2007", &record));
    return record;
  }

  RestoreOutcome Restore(std::u16string_view folder, std::u16string_view name) {
    return RestoreRepositoryEntry(cipher_, kQuarantine, Record(folder, name), notice_);
  }

  std::u16string LastMessage() const {
    return messages_.empty() ? std::u16string() : messages_.back().first;
  }

  testing::TestDevice device_;
  QuarantineCipher cipher_;
  UserNotice notice_;
  std::vector<std::pair<std::u16string, uint32_t>> messages_;

  const std::u16string folder_ = u"\\Storage Card\\Setup";
  const std::u16string name_ = u"x.cab";
  const std::u16string original_ = u"\\Storage Card\\Setup\\x.cab";
  const std::u16string plain_ = std::u16string(kQuarantine) + u"\\%_Storage Card_Setup%@%x.cab";
  const std::u16string protected_ = plain_ + u".avq";
};

TEST_F(RepositoryTest, QuarantineAndRestoreGiveBackTheSameBytes) {
  const std::string bytes = Content(3 * 32768 + 100, 'a');
  device_.WriteFile(original_, bytes);

  EXPECT_EQ(Quarantine(folder_, name_), QuarantineOutcome::kProtected);
  EXPECT_TRUE(messages_.empty());
  EXPECT_FALSE(device_.Exists(original_));
  EXPECT_FALSE(device_.Exists(plain_));
  ASSERT_TRUE(device_.Exists(protected_));
  EXPECT_EQ(Attributes(protected_) & kProtectedBits, kProtectedBits);
  const std::string stored = device_.ReadFile(protected_);
  EXPECT_EQ(stored.substr(0, 4), std::string("\x41\x46\x45\xFF", 4));
  EXPECT_EQ(stored.find(bytes.substr(0, 64)), std::string::npos);

  EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kRestored);
  EXPECT_TRUE(messages_.empty());
  EXPECT_TRUE(device_.ReadFile(original_) == bytes);
  EXPECT_FALSE(device_.Exists(protected_));
  EXPECT_FALSE(device_.Exists(plain_));
}

TEST_F(RepositoryTest, ReadOnlySystemAndEmptyFilesAreProtectedNotLost) {
  const std::u16string names[] = {u"ro.exe", u"sys.exe", u"empty.exe"};
  device_.WriteFile(folder_ + u"\\ro.exe", "read-only");
  device_.WriteFile(folder_ + u"\\sys.exe", "system");
  device_.WriteFile(folder_ + u"\\empty.exe", "");
  ASSERT_TRUE(platform::SetFileAttributes(folder_ + u"\\ro.exe", platform::kAttributeReadOnly));
  ASSERT_TRUE(platform::SetFileAttributes(folder_ + u"\\sys.exe", platform::kAttributeSystem));
  for (const std::u16string& name : names) {
    EXPECT_EQ(Quarantine(folder_, name), QuarantineOutcome::kProtected);
  }
  for (const std::u16string& name : names) {
    EXPECT_EQ(Restore(folder_, name), RestoreOutcome::kRestored);
  }
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(device_.ReadFile(folder_ + u"\\ro.exe"), "read-only");
  EXPECT_EQ(device_.ReadFile(folder_ + u"\\sys.exe"), "system");
  EXPECT_EQ(device_.ReadFile(folder_ + u"\\empty.exe"), "");
}

TEST_F(RepositoryTest, SecondQuarantineOfTheSamePathReplacesTheProtectedCopy) {
  device_.WriteFile(original_, "first");
  ASSERT_EQ(Quarantine(folder_, name_), QuarantineOutcome::kProtected);
  device_.WriteFile(original_, "second");
  ASSERT_EQ(Quarantine(folder_, name_), QuarantineOutcome::kProtected);
  EXPECT_TRUE(messages_.empty());
  // No older copy lingers beside the new one.
  EXPECT_FALSE(
      device_.Exists(std::u16string(kQuarantine) + u"\\~%_Storage Card_Setup%@%x.cab.avq"));
  EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kRestored);
  EXPECT_EQ(device_.ReadFile(original_), "second");
}

TEST_F(RepositoryTest, FailedMoveLeavesTheFileInPlace) {
  device_.WriteFile(original_, "payload");
  ASSERT_TRUE(platform::RemoveDirectory(kQuarantine));

  EXPECT_EQ(Quarantine(folder_, name_), QuarantineOutcome::kNotMoved);
  EXPECT_EQ(device_.ReadFile(original_), "payload");
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].first,
            u"The file '\\Storage Card\\Setup\\x.cab' cannot be moved to the repository (3).");
  EXPECT_EQ(messages_[0].second, platform::kMbIconError);

  messages_.clear();
  EXPECT_EQ(Quarantine(folder_, u"absent.exe"), QuarantineOutcome::kNotMoved);
  EXPECT_EQ(LastMessage(),
            u"The file '\\Storage Card\\Setup\\absent.exe' cannot be moved to the repository (2).");
}

TEST_F(RepositoryTest, FailedProtectionKeepsThePlainCopyUntilARetrySucceeds) {
  device_.WriteFile(original_, "payload");
  // A folder where the protected copy must go: the cryptor cannot create it.
  device_.MakeFolder(protected_);

  EXPECT_EQ(Quarantine(folder_, name_), QuarantineOutcome::kUnprotected);
  EXPECT_FALSE(device_.Exists(original_));
  EXPECT_EQ(device_.ReadFile(plain_), "payload");
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(
      messages_[0].first,
      FormatText(kProtectFailedMessage,
                 {original_, DecimalText(static_cast<int64_t>(kStatusDestinationExists)), plain_}));

  ASSERT_TRUE(platform::RemoveDirectory(protected_));
  EXPECT_EQ(Quarantine(folder_, name_, /*already_moved=*/true), QuarantineOutcome::kProtected);
  EXPECT_FALSE(device_.Exists(plain_));
  EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kRestored);
  EXPECT_EQ(device_.ReadFile(original_), "payload");
}

TEST_F(RepositoryTest, FullDiskDuringProtectionKeepsPlainCopyAndOlderProtectedCopy) {
  device_.WriteFile(original_, "older version");
  ASSERT_EQ(Quarantine(folder_, name_), QuarantineOutcome::kProtected);
  const std::string older_stored = device_.ReadFile(protected_);
  const std::string newer = Content(256 * 1024, 'n');
  device_.WriteFile(original_, newer);
  {
    FileSizeLimit limit(64 * 1024);
    EXPECT_EQ(Quarantine(folder_, name_), QuarantineOutcome::kUnprotected);
  }
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].first.find(u"could not be protected (112)"), std::u16string::npos);
  EXPECT_TRUE(device_.ReadFile(plain_) == newer);
  EXPECT_TRUE(device_.ReadFile(protected_) == older_stored);
  EXPECT_EQ(Attributes(protected_) & kProtectedBits, kProtectedBits);
  EXPECT_FALSE(
      device_.Exists(std::u16string(kQuarantine) + u"\\~%_Storage Card_Setup%@%x.cab.avq"));

  // Once there is room the plain copy is protected over the older one.
  EXPECT_EQ(Quarantine(folder_, name_, /*already_moved=*/true), QuarantineOutcome::kProtected);
  EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kRestored);
  EXPECT_TRUE(device_.ReadFile(original_) == newer);
}

TEST_F(RepositoryTest, FileCarryingTheProtectedExtensionStaysAsPlainCopy) {
  device_.WriteFile(folder_ + u"\\evil.avq", "payload");
  EXPECT_EQ(Quarantine(folder_, u"evil.avq"), QuarantineOutcome::kUnprotected);
  EXPECT_EQ(device_.ReadFile(std::u16string(kQuarantine) + u"\\%_Storage Card_Setup%@%evil.avq"),
            "payload");
  EXPECT_NE(LastMessage().find(u"(75)"), std::u16string::npos);
}

TEST_F(RepositoryTest, RestoreOntoAnOccupiedPathKeepsBothFiles) {
  device_.WriteFile(original_, "quarantined");
  ASSERT_EQ(Quarantine(folder_, name_), QuarantineOutcome::kProtected);
  device_.WriteFile(original_, "newcomer");

  EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kKept);
  EXPECT_EQ(device_.ReadFile(original_), "newcomer");
  EXPECT_TRUE(device_.Exists(protected_));
  EXPECT_FALSE(device_.Exists(plain_));
  EXPECT_EQ(LastMessage(), FormatText(kRestoreOccupiedMessage, {original_}));

  ASSERT_TRUE(platform::DeleteFile(original_));
  EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kRestored);
  EXPECT_EQ(device_.ReadFile(original_), "quarantined");
}

TEST_F(RepositoryTest, FailedRestoreKeepsTheProtectedCopyWhole) {
  const std::string bytes = Content(100000, 'r');
  struct Fault {
    const char* name;
    std::function<void()> make;
    std::function<void()> undo;
    RestoreOutcome outcome;
    std::u16string message_part;
  };
  Fault faults[] = {
      {"former folder missing", [&] { ASSERT_TRUE(platform::RemoveDirectory(folder_)); },
       [&] { device_.MakeFolder(folder_); }, RestoreOutcome::kKept, u"could not be restored.(3)"},
      {"folder in the way", [&] { device_.MakeFolder(original_); },
       [&] { ASSERT_TRUE(platform::RemoveDirectory(original_)); }, RestoreOutcome::kKept,
       u"a file of that name exists"},
      {"plain copy in the way", [&] { device_.WriteFile(plain_, "other"); },
       [&] {
         EXPECT_EQ(device_.ReadFile(plain_), "other");
         ASSERT_TRUE(platform::DeleteFile(plain_));
       },
       RestoreOutcome::kKept, u"is in the way"},
  };
  device_.WriteFile(original_, bytes);
  ASSERT_EQ(Quarantine(folder_, name_), QuarantineOutcome::kProtected);
  const std::string stored = device_.ReadFile(protected_);
  for (Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    messages_.clear();
    fault.make();
    EXPECT_EQ(Restore(folder_, name_), fault.outcome);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].first.find(fault.message_part), std::u16string::npos)
        << std::string(messages_[0].first.begin(), messages_[0].first.end());
    EXPECT_TRUE(device_.ReadFile(protected_) == stored);
    EXPECT_EQ(Attributes(protected_) & kProtectedBits, kProtectedBits);
    fault.undo();
    EXPECT_FALSE(device_.Exists(plain_));
  }
  {
    SCOPED_TRACE("full disk");
    messages_.clear();
    {
      FileSizeLimit limit(32 * 1024);
      EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kKept);
    }
    EXPECT_NE(LastMessage().find(u"could not be restored.(112)"), std::u16string::npos);
    EXPECT_TRUE(device_.ReadFile(protected_) == stored);
    EXPECT_FALSE(device_.Exists(plain_));
    EXPECT_FALSE(device_.Exists(original_));
  }
  messages_.clear();
  EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kRestored);
  EXPECT_TRUE(messages_.empty());
  EXPECT_TRUE(device_.ReadFile(original_) == bytes);
}

TEST_F(RepositoryTest, DamagedProtectedCopyIsNeitherRestoredNorDeleted) {
  device_.WriteFile(original_, Content(5000, 'd'));
  ASSERT_EQ(Quarantine(folder_, name_), QuarantineOutcome::kProtected);
  const std::string stored = device_.ReadFile(protected_);
  const struct {
    size_t offset;
    Status reason;
  } damages[] = {{0, kStatusNotProtectedFile}, {20, kStatusOtherKeyMaterial}};
  for (const auto& damage : damages) {
    SCOPED_TRACE(damage.offset);
    std::string damaged = stored;
    damaged[damage.offset] ^= 0x5A;
    ASSERT_TRUE(platform::SetFileAttributes(protected_, 0));
    device_.WriteFile(protected_, damaged);
    messages_.clear();
    EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kKept);
    EXPECT_EQ(LastMessage(),
              FormatText(kRestoreFailedMessage,
                         {original_, DecimalText(static_cast<int64_t>(damage.reason))}));
    EXPECT_TRUE(device_.ReadFile(protected_) == damaged);
    EXPECT_FALSE(device_.Exists(plain_));
    EXPECT_FALSE(device_.Exists(original_));
  }
}

TEST_F(RepositoryTest, FailureInTheMiddleOfOneFileDoesNotSpoilTheNext) {
  const std::string first = Content(70000, 'f');
  const std::string second = Content(70000, 's');
  device_.WriteFile(folder_ + u"\\first.exe", first);
  device_.WriteFile(folder_ + u"\\second.exe", second);
  ASSERT_EQ(Quarantine(folder_, u"first.exe"), QuarantineOutcome::kProtected);
  ASSERT_EQ(Quarantine(folder_, u"second.exe"), QuarantineOutcome::kProtected);
  // The last block of the first copy no longer decrypts: its padding is wrong.
  const std::u16string first_copy = ProtectedPath(kQuarantine, folder_, u"first.exe");
  std::string damaged = device_.ReadFile(first_copy);
  damaged.back() ^= 0x5A;
  ASSERT_TRUE(platform::SetFileAttributes(first_copy, 0));
  device_.WriteFile(first_copy, damaged);

  EXPECT_EQ(Restore(folder_, u"first.exe"), RestoreOutcome::kKept);
  EXPECT_FALSE(device_.Exists(folder_ + u"\\first.exe"));
  EXPECT_EQ(Restore(folder_, u"second.exe"), RestoreOutcome::kRestored);
  EXPECT_TRUE(device_.ReadFile(folder_ + u"\\second.exe") == second);
}

TEST_F(RepositoryTest, RestoreOfAMissingCopyIsReported) {
  EXPECT_EQ(Restore(folder_, name_), RestoreOutcome::kMissing);
  EXPECT_EQ(LastMessage(), FormatText(kRestoreFailedMessage, {original_, u"2"}));
}

TEST_F(RepositoryTest, DeleteEntryRemovesTheProtectedCopy) {
  device_.WriteFile(original_, "payload");
  ASSERT_EQ(Quarantine(folder_, name_), QuarantineOutcome::kProtected);
  EXPECT_TRUE(DeleteRepositoryEntry(kQuarantine, Record(folder_, name_), notice_));
  EXPECT_FALSE(device_.Exists(protected_));
  EXPECT_TRUE(DeleteRepositoryEntry(kQuarantine, Record(folder_, name_), notice_));
  EXPECT_TRUE(messages_.empty());
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

TEST_F(RepositoryTest, AppendAddsEachFolderAndNameOnce) {
  const std::vector<std::u16string> none;
  EXPECT_EQ(IndexNames(kIndex), none);  // a missing index is empty
  ASSERT_TRUE(
      AppendRepositoryRecords(kIndex, {Record(u"\\a", u"1"), Record(u"\\a", u"2")}, notice_));
  ASSERT_TRUE(AppendRepositoryRecords(
      kIndex, {Record(u"\\a", u"2", 99), Record(u"\\b", u"2"), Record(u"\\a", u"3")}, notice_));
  const std::vector<std::u16string> expected = {u"1", u"2", u"2", u"3"};
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
