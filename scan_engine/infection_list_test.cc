// The infection list, the remembered actions and the result file, read back byte by byte.
#include "scan_engine/infection_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/message_box.h"
#include "scan_engine/scan_records.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

uint32_t U32At(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + offset, sizeof(value));
  return value;
}

std::u16string WideAt(const std::string& bytes, size_t offset, size_t max_chars) {
  std::u16string text;
  for (size_t i = 0; i < max_chars; ++i) {
    char16_t c;
    std::memcpy(&c, bytes.data() + offset + 2 * i, 2);
    if (c == 0) break;
    text += c;
  }
  return text;
}

TEST(InfectionList, ResultFileHoldsCountThenRecordsInDetectionOrder) {
  testing::TestDevice device;
  InfectionList list;
  list.Append(u"\\My Documents", u"a.exe", 0, 7, kActionNone);
  list.Append(u"\\", u"b.dll", 0, 9, kActionMove);
  list.Append(u"\\Storage Card\\x", u"c.txt", 0, 7, kActionIgnoreAll);
  list[1].record.done = 1;

  std::u16string path;
  ASSERT_TRUE(InfectionFilePath(&path));
  EXPECT_EQ(path, u"\\Temp\\inffile.lst");
  ASSERT_TRUE(WriteInfectionRecords(list, path));
  EXPECT_FALSE(device.Exists(path + u".new"));

  const std::string bytes = device.ReadFile(path);
  ASSERT_EQ(bytes.size(), 4u + 3 * 536);
  EXPECT_EQ(U32At(bytes, 0), 3u);
  const struct {
    const char16_t* folder;
    const char16_t* name;
    uint32_t id;
    uint8_t action;
    uint8_t done;
  } expected[] = {{u"\\My Documents", u"a.exe", 7, 0, 0},
                  {u"\\", u"b.dll", 9, 2, 1},
                  {u"\\Storage Card\\x", u"c.txt", 7, 4, 0}};
  for (uint32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const size_t at = 4 + 536 * i;
    EXPECT_EQ(U32At(bytes, at + 0), i);  // sequence number
    EXPECT_EQ(WideAt(bytes, at + 4, 128), expected[i].folder);
    EXPECT_EQ(WideAt(bytes, at + 260, 128), expected[i].name);
    EXPECT_EQ(U32At(bytes, at + 516), 0u);
    EXPECT_EQ(U32At(bytes, at + 520), expected[i].id);
    EXPECT_EQ(static_cast<uint8_t>(bytes[at + 524]), expected[i].action);
    EXPECT_EQ(static_cast<uint8_t>(bytes[at + 525]), expected[i].done);
    for (size_t b = 526; b < 536; ++b) EXPECT_EQ(bytes[at + b], 0) << b;  // cut, links
    // Zero-filled after each terminator.
    const size_t folder_end = 4 + 2 * std::char_traits<char16_t>::length(expected[i].folder);
    for (size_t b = folder_end; b < 260; ++b) EXPECT_EQ(bytes[at + b], 0) << b;
  }

  InfectionFile read;
  ASSERT_TRUE(ReadInfectionFile(path, &read));
  EXPECT_FALSE(read.damaged);
  ASSERT_EQ(read.records.size(), 3u);
  std::u16string full;
  ASSERT_TRUE(InfectionRecordPath(read.records[2], &full));
  EXPECT_EQ(full, u"\\Storage Card\\x\\c.txt");
  ASSERT_TRUE(InfectionRecordPath(read.records[1], &full));
  EXPECT_EQ(full, u"\\b.dll");
}

TEST(InfectionList, SetActionAnswersOnlyTheOldestOpenDetectionOfTheVirus) {
  struct Case {
    uint8_t action;
    bool sets;
    bool remembered;
  } cases[] = {
      {kActionDelete, true, false},   {kActionMove, true, false}, {kActionMoveAll, true, true},
      {kActionIgnoreAll, true, true}, {5, false, false},          {kActionNone, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.action));
    InfectionList list;
    RememberedActions remembered;
    list.Append(u"\\a", u"1.exe", 0, 7, kActionNone);
    list.Append(u"\\a", u"2.exe", 0, 8, kActionNone);
    list.Append(u"\\a", u"3.exe", 0, 7, kActionNone);
    list[0].record.action = kActionDelete;  // answered already

    EXPECT_EQ(SetInfectionAction(list, remembered, 7, c.action), c.sets);
    EXPECT_EQ(list[0].record.action, kActionDelete);
    EXPECT_EQ(list[1].record.action, kActionNone);
    EXPECT_EQ(list[2].record.action, c.sets ? c.action : kActionNone);
    EXPECT_EQ(remembered.Lookup(7), c.remembered ? c.action : kActionNone);
    EXPECT_EQ(remembered.size(), c.remembered ? 1u : 0u);
    EXPECT_EQ(remembered.Lookup(8), kActionNone);
  }
}

// "Leave this file" (an answer that sets no action) is still the answer to that file: the answer
// to the next detection of the same virus must not land on it.
TEST(InfectionList, AnswerWithoutActionClosesItsDetection) {
  for (const uint8_t first : {kActionNone, uint8_t{5}}) {
    SCOPED_TRACE(static_cast<int>(first));
    InfectionList list;
    RememberedActions remembered;
    list.Append(u"\\a", u"kept.exe", 0, 7, kActionNone);
    EXPECT_FALSE(SetInfectionAction(list, remembered, 7, first));
    list.Append(u"\\a", u"moved.exe", 0, 7, kActionNone);
    EXPECT_TRUE(SetInfectionAction(list, remembered, 7, kActionMove));
    EXPECT_EQ(list[0].record.action, kActionNone);
    EXPECT_EQ(list[1].record.action, kActionMove);
    // Nothing is left open: a further answer sets nothing.
    EXPECT_FALSE(SetInfectionAction(list, remembered, 7, kActionDelete));
    EXPECT_EQ(remembered.size(), 0u);
  }
}

TEST(InfectionList, RememberedActionIsTheFirstOneGivenForTheVirus) {
  RememberedActions remembered;
  remembered.Remember(7, kActionMoveAll);
  remembered.Remember(7, kActionIgnoreAll);
  remembered.Remember(9, kActionIgnoreAll);
  EXPECT_EQ(remembered.Lookup(7), kActionMoveAll);
  EXPECT_EQ(remembered.Lookup(9), kActionIgnoreAll);
  EXPECT_EQ(remembered.Lookup(1), kActionNone);
}

TEST(InfectionList, LongNamesAreKeptWholeInMemoryAndMarkedCutInTheFile) {
  testing::TestDevice device;
  const std::u16string long_name = std::u16string(130, u'n') + u".exe";
  const std::u16string long_folder = u"\\" + std::u16string(140, u'f');
  InfectionList list;
  list.Append(u"\\ok", long_name, 0, 1, kActionNone);
  list.Append(long_folder, u"x.exe", 0, 2, kActionNone);
  list.Append(u"\\ok", std::u16string(127, u'e'), 0, 3, kActionNone);  // fits exactly

  EXPECT_EQ(list[0].record.cut, kCutFileName);
  EXPECT_EQ(list[1].record.cut, kCutFolder);
  EXPECT_EQ(list[2].record.cut, 0);
  EXPECT_EQ(list[0].FullPath(), u"\\ok\\" + long_name);
  EXPECT_EQ(list[1].FullPath(), long_folder + u"\\x.exe");
  EXPECT_EQ(WideField(list[0].record.file_name), long_name.substr(0, 127));

  const std::u16string path = u"\\Temp\\inffile.lst";
  ASSERT_TRUE(WriteInfectionRecords(list, path));
  const std::string bytes = device.ReadFile(path);
  EXPECT_EQ(static_cast<uint8_t>(bytes[4 + 526]), kCutFileName);
  EXPECT_EQ(static_cast<uint8_t>(bytes[4 + 536 + 526]), kCutFolder);

  InfectionFile read;
  ASSERT_TRUE(ReadInfectionFile(path, &read));
  ASSERT_EQ(read.records.size(), 3u);
  std::u16string full;
  EXPECT_FALSE(InfectionRecordPath(read.records[0], &full));
  EXPECT_FALSE(InfectionRecordPath(read.records[1], &full));
  ASSERT_TRUE(InfectionRecordPath(read.records[2], &full));
  EXPECT_EQ(full, u"\\ok\\" + std::u16string(127, u'e'));
  // Shown as stored, never as a path to act on; the user is told why.
  EXPECT_EQ(InfectionRecordShownPath(read.records[0]), u"\\ok\\" + long_name.substr(0, 127));
  std::vector<std::u16string> told;
  const UserNotice notice = [&](std::u16string_view text, uint32_t style) {
    told.emplace_back(text);
    EXPECT_EQ(style, platform::kMbIconError);
  };
  EXPECT_FALSE(InfectionRecordPathToActOn(read.records[0], notice, &full));
  ASSERT_TRUE(InfectionRecordPathToActOn(read.records[2], notice, &full));
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0], u"The path of the file '\\ok\\" + long_name.substr(0, 127) +
                         u"...' is too long for the scan results.\n"
                         u"No action was taken on it; please see to the file yourself.");
}

class InfectionFileReader : public ::testing::Test {
 protected:
  // A file of three whole records, as the scanner writes it.
  std::string WholeFile() {
    InfectionList list;
    for (uint32_t i = 0; i < 3; ++i) list.Append(u"\\d", u"f.exe", 0, 10 + i, kActionNone);
    EXPECT_TRUE(WriteInfectionRecords(list, path_));
    return device_.ReadFile(path_);
  }

  testing::TestDevice device_;
  const std::u16string path_ = u"\\Temp\\inffile.lst";
};

TEST_F(InfectionFileReader, KeepsTheRecordsReadInFullFromAShortFile) {
  const std::string whole = WholeFile();
  const struct {
    size_t length;
    size_t records;
  } cases[] = {{4 + 536 * 3, 3}, {4 + 536 * 3 - 1, 2}, {4 + 536 * 2, 2}, {4 + 535, 0}, {4, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    device_.WriteFile(path_, whole.substr(0, c.length));
    InfectionFile read;
    ASSERT_TRUE(ReadInfectionFile(path_, &read));
    EXPECT_EQ(read.declared_count, 3u);
    ASSERT_EQ(read.records.size(), c.records);
    EXPECT_EQ(read.damaged, c.records != 3);
    for (size_t i = 0; i < c.records; ++i) EXPECT_EQ(read.records[i].virus_id, 10 + i);
  }
}

TEST_F(InfectionFileReader, RefusesWhatCannotBeAResultFile) {
  InfectionFile read;
  EXPECT_FALSE(ReadInfectionFile(path_, &read));  // missing
  EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
  device_.WriteFile(path_, std::string("\x01\x00", 2));  // not even the count
  EXPECT_FALSE(ReadInfectionFile(path_, &read));
  EXPECT_TRUE(read.records.empty());
}

TEST_F(InfectionFileReader, MarksRecordsWithUnterminatedFieldsAndIgnoresExtraBytes) {
  std::string bytes = WholeFile();
  // Record 1: a folder field without any terminator.
  for (size_t b = 4 + 536 + 4; b < 4 + 536 + 260; b += 2) {
    bytes[b] = 'A';
    bytes[b + 1] = 0;
  }
  // A count smaller than the records present.
  bytes[0] = 2;
  device_.WriteFile(path_, bytes);
  InfectionFile read;
  ASSERT_TRUE(ReadInfectionFile(path_, &read));
  EXPECT_TRUE(read.damaged);
  ASSERT_EQ(read.records.size(), 2u);
  std::u16string full;
  EXPECT_TRUE(InfectionRecordPath(read.records[0], &full));
  EXPECT_FALSE(InfectionRecordPath(read.records[1], &full));
  EXPECT_NE(read.records[1].cut, 0);
  EXPECT_EQ(WideField(read.records[1].folder).size(), 127u);
}

TEST(InfectionList, ClearEmptiesAndNumbersAgainFromZero) {
  InfectionList list;
  list.Append(u"\\", u"a", 0, 1, kActionNone);
  list.Append(u"\\", u"b", 0, 1, kActionNone);
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.Append(u"\\", u"c", 0, 1, kActionNone).record.sequence, 0u);
}

TEST(ScanRecords, WideFieldsAreCutToLeaveTheTerminatorAndZeroFilled) {
  char16_t field[4];
  std::memset(field, 0xFF, sizeof(field));
  EXPECT_TRUE(SetWideField(field, u"abc"));
  EXPECT_EQ(WideField(field), u"abc");
  EXPECT_FALSE(SetWideField(field, u"abcd"));
  EXPECT_EQ(WideField(field), u"abc");
  EXPECT_TRUE(SetWideField(field, u"a"));
  EXPECT_EQ(field[1], 0);
  EXPECT_EQ(field[3], 0);
  EXPECT_TRUE(WideFieldTerminated(field));
}

}  // namespace
}  // namespace kolvar
