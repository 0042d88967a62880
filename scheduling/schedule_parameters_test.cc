// The parameter text of every schedule type: exact formats, reading over defaults, and the
// readings of damaged texts.
#include "scheduling/schedule_parameters.h"

#include <gtest/gtest.h>

namespace kolvar {
namespace {

ScheduleParameters Sample() {
  ScheduleParameters p = ZeroScheduleParameters();
  p.daily = {9, 5, 3};
  p.weekly = {8, 5, 2, {1, 0, 0, 1, 0, 0, 1}};
  p.monthly = {23, 59, 0, 17, 1, 4, 5, {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}};
  p.once = {7, 30, 29, 2, 2028};
  p.once_a_day = 1;
  p.idle_minutes = 10;
  return p;
}

struct FormatCase {
  uint32_t type;
  const char16_t* text;
};

constexpr FormatCase kFormats[] = {
    {kScheduleDaily, u"9|5|3"},
    {kScheduleWeekly, u"8|5|2|1|0|0|1|0|0|1|"},  // Sunday is the tenth value, then a bar
    {kScheduleMonthly, u"23|59|0|17|1|4|5|1|1|0|0|0|0|0|0|0|0|1|1"},
    {kScheduleOnce, u"7|30|29|2|2028"},
    {kScheduleAtStartup, u""},
    {kScheduleOnConnection, u"1"},
    {kScheduleWhenIdle, u"10"},
};

TEST(ScheduleParametersTest, EachTypeWritesItsFormatAndReadsItBack) {
  const ScheduleParameters sample = Sample();
  for (const FormatCase& c : kFormats) {
    SCOPED_TRACE(c.type);
    std::u16string text;
    ASSERT_TRUE(FormatScheduleParameters(c.type, sample, &text));
    EXPECT_EQ(text, c.text);
    // Read over zeros, the type's own members come back and the others stay zero.
    ScheduleParameters read = ZeroScheduleParameters();
    ParseScheduleParameters(c.type, text, &read);
    ScheduleParameters expected = ZeroScheduleParameters();
    switch (c.type) {
      case kScheduleDaily:
        expected.daily = sample.daily;
        break;
      case kScheduleWeekly:
        expected.weekly = sample.weekly;
        break;
      case kScheduleMonthly:
        expected.monthly = sample.monthly;
        break;
      case kScheduleOnce:
        expected.once = sample.once;
        break;
      case kScheduleOnConnection:
        expected.once_a_day = 1;
        break;
      case kScheduleWhenIdle:
        expected.idle_minutes = 10;
        break;
    }
    EXPECT_EQ(read, expected);
  }
  std::u16string text = u"unchanged";
  EXPECT_FALSE(FormatScheduleParameters(7, sample, &text));
  EXPECT_EQ(text, u"unchanged");
}

TEST(ScheduleParametersTest, SerialisingIntoARecordUsesTheRecordsType) {
  TaskRecord record = EmptyTaskRecord();
  record.schedule_type = kScheduleWeekly;
  SerialiseScheduleParameters(Sample(), &record);
  EXPECT_EQ(TaskParameterText(record), u"8|5|2|1|0|0|1|0|0|1|");
  record.schedule_type = kScheduleAtStartup;
  SerialiseScheduleParameters(Sample(), &record);
  EXPECT_EQ(TaskParameterText(record), u"");
  // A type without a format leaves the text as it was.
  SetFieldText(record.parameters, kTaskTextChars, u"kept");
  record.schedule_type = 9;
  SerialiseScheduleParameters(Sample(), &record);
  EXPECT_EQ(TaskParameterText(record), u"kept");
}

struct ReadCase {
  const char* what;
  uint32_t type;
  const char16_t* text;
  ScheduleParameters::Daily daily;  // for type 0
  int32_t single;                   // for types 5 and 6
};

TEST(ScheduleParametersTest, DamagedTextsReadAsTheDeviceReadsThem) {
  const ReadCase cases[] = {
      {"empty pieces are skipped", kScheduleDaily, u"||9||15|2|", {9, 15, 2}, 0},
      {"a piece that is no number reads 0", kScheduleDaily, u"x|15|2", {0, 15, 2}, 0},
      {"digits before other text count", kScheduleDaily, u"12h|3m|2", {12, 3, 2}, 0},
      {"missing pieces keep the defaults", kScheduleDaily, u"6", {6, 77, 77}, 0},
      {"extra pieces are ignored", kScheduleDaily, u"1|2|3|4|5", {1, 2, 3}, 0},
      {"signs", kScheduleDaily, u"-1|+2| 3", {-1, 2, 3}, 0},
      {"huge numbers stop at the limit", kScheduleDaily, u"99999999999|1|1", {2147483647, 1, 1}, 0},
      {"on connection reads the whole text", kScheduleOnConnection, u"1|0", {77, 77, 77}, 1},
      {"idle reads the whole text", kScheduleWhenIdle, u"abc", {77, 77, 77}, 0},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScheduleParameters p = ZeroScheduleParameters();
    p.daily = {77, 77, 77};
    p.once_a_day = p.idle_minutes = 77;
    ParseScheduleParameters(c.type, c.text, &p);
    EXPECT_EQ(p.daily.hour, c.daily.hour);
    EXPECT_EQ(p.daily.minute, c.daily.minute);
    EXPECT_EQ(p.daily.every_days, c.daily.every_days);
    if (c.type == kScheduleOnConnection) {
      EXPECT_EQ(p.once_a_day, c.single);
    }
    if (c.type == kScheduleWhenIdle) {
      EXPECT_EQ(p.idle_minutes, c.single);
    }
  }
}

TEST(ScheduleParametersTest, AWeeklyTextHasElevenPiecesWithTheTrailingEmptyOne) {
  const std::u16string text = u"8|5|2|1|0|0|1|0|0|1|";
  size_t bars = 0;
  for (char16_t c : text) bars += c == u'|';
  EXPECT_EQ(bars + 1, 11u);
  ScheduleParameters p = ZeroScheduleParameters();
  ParseScheduleParameters(kScheduleWeekly, text, &p);
  EXPECT_EQ(p.weekly.days[6], 1) << "Sunday";
  EXPECT_EQ(p.weekly.days[0], 1) << "Monday";
  EXPECT_EQ(p.weekly.days[3], 1) << "Thursday";
}

}  // namespace
}  // namespace kolvar
