// The schedule pages driven as a user would: what each page shows of the task's parameters, the
// checks on "Confirm" with their boxes and the focus on the faulty field, and what a confirmed
// page gives back (its own values over the defaults, nothing of other types).
#include "scheduler/schedule_page.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/message_box.h"
#include "scheduler/scheduler_ids.h"
#include "ui/testing/recording_host.h"

namespace kolvar {
namespace {

namespace ids = scheduler_ids;

// Monday 7 January 2030, 10:20.
constexpr TaskTime kNow = {2030, 1, 7, 10, 20};

ScheduleParameters Parsed(uint32_t type, std::u16string_view text) {
  ScheduleParameters p = DefaultScheduleParameters(kNow);
  ParseScheduleParameters(type, text, &p);
  return p;
}

TEST(SchedulePageTest, DefaultsComeFromTheMomentThePageOpens) {
  const ScheduleParameters p = DefaultScheduleParameters(kNow);
  EXPECT_EQ(p.daily, (ScheduleParameters::Daily{10, 20, 1}));
  EXPECT_EQ(p.weekly, (ScheduleParameters::Weekly{10, 20, 1, {1, 1, 1, 1, 1, 1, 1}}));
  EXPECT_EQ(p.monthly,
            (ScheduleParameters::Monthly{10, 20, 1, 7, 0, 0, 0, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}}));
  EXPECT_EQ(p.once, (ScheduleParameters::Once{10, 20, 7, 1, 2030}));
  EXPECT_EQ(p.once_a_day, 0);
  EXPECT_EQ(p.idle_minutes, 10);
}

TEST(SchedulePageTest, EachPageShowsItsTypesValues) {
  SchedulePageDialog weekly(kScheduleWeekly, Parsed(kScheduleWeekly, u"8|5|2|1|0|0|1|0|0|0|"),
                            kNow);
  EXPECT_EQ(weekly.title(), u"Weekly");
  EXPECT_EQ(weekly.heading(), u"Schedule Task Weekly:");
  EXPECT_EQ(weekly.hour(), 8);
  EXPECT_EQ(weekly.minute(), 5);
  EXPECT_EQ(weekly.every_text(), u"2");
  const bool expected_days[7] = {true, false, false, true, false, false, false};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(weekly.day(i), expected_days[i]) << i;
  EXPECT_EQ(weekly.soft_keys().left.text, u"Confirm");
  EXPECT_EQ(weekly.soft_keys().right.text, u"Cancel");

  SchedulePageDialog monthly(kScheduleMonthly,
                             Parsed(kScheduleMonthly, u"9|0|0|1|1|4|5|1|0|0|0|0|0|0|0|0|0|0|1"),
                             kNow);
  EXPECT_EQ(monthly.heading(), u"Schedule Task Monthly:");
  EXPECT_FALSE(monthly.day_mode());
  EXPECT_EQ(monthly.ordinal(), 4);
  EXPECT_EQ(monthly.weekday(), 5);
  EXPECT_TRUE(monthly.month(0));
  EXPECT_FALSE(monthly.month(1));
  EXPECT_TRUE(monthly.month(11));
  EXPECT_FALSE(monthly.IsControlEnabled(ids::kMonthDay));
  EXPECT_TRUE(monthly.IsControlEnabled(ids::kOrdinal));

  SchedulePageDialog once(kScheduleOnce, Parsed(kScheduleOnce, u"7|30|29|2|2032"), kNow);
  EXPECT_EQ(once.heading(), u"Schedule Task Once:");
  EXPECT_EQ(once.run_day(), 29);
  EXPECT_EQ(once.run_month(), 2);
  EXPECT_EQ(once.run_year(), 2032);
  // A stored date that is none opens at today, which the date picker can show.
  SchedulePageDialog no_date(kScheduleOnce, Parsed(kScheduleOnce, u"7|30|31|2|2031"), kNow);
  EXPECT_EQ(no_date.run_day(), 7);
  EXPECT_EQ(no_date.run_month(), 1);
  EXPECT_EQ(no_date.run_year(), 2030);

  SchedulePageDialog connected(kScheduleOnConnection, Parsed(kScheduleOnConnection, u"1"), kNow);
  EXPECT_EQ(connected.title(), u"Run on Connected");
  EXPECT_EQ(connected.heading(), u"Schedule Task On Connected:");
  EXPECT_TRUE(connected.once_a_day());

  SchedulePageDialog daily(kScheduleDaily, Parsed(kScheduleDaily, u"23|59|365"), kNow);
  EXPECT_EQ(daily.heading(), u"Schedule Task Daily:");
  EXPECT_EQ(daily.every_text(), u"365");

  EXPECT_FALSE(SchedulePageDialog::HasPage(kScheduleAtStartup));
  EXPECT_FALSE(SchedulePageDialog::HasPage(kScheduleWhenIdle));
}

struct RefusalCase {
  const char* what;
  uint32_t type;
  const char16_t* parameters;
  std::function<void(SchedulePageDialog&)> edit;
  const char16_t* message;
  uint32_t focus;
};

TEST(SchedulePageTest, ConfirmRefusesFaultyFieldsAndKeepsThePageOpen) {
  const std::u16string kWeekly = u"8|5|2|1|0|0|1|0|0|0|";
  const std::u16string kMonthly = u"9|0|1|20|0|0|0|1|1|0|0|0|0|0|0|0|0|0|0";
  const RefusalCase cases[] = {
      {"daily every 0", kScheduleDaily, u"9|0|1",
       [](SchedulePageDialog& d) { d.SetEveryText(u"0"); }, kIncorrectFields, ids::kEvery},
      {"daily every empty", kScheduleDaily, u"9|0|1",
       [](SchedulePageDialog& d) { d.SetEveryText(u""); }, kIncorrectFields, ids::kEvery},
      {"daily every not a number", kScheduleDaily, u"9|0|1",
       [](SchedulePageDialog& d) { d.SetEveryText(u"1x"); }, kIncorrectFields, ids::kEvery},
      {"daily every negative", kScheduleDaily, u"9|0|1",
       [](SchedulePageDialog& d) { d.SetEveryText(u"-1"); }, kIncorrectFields, ids::kEvery},
      {"weekly every 0", kScheduleWeekly, kWeekly.c_str(),
       [](SchedulePageDialog& d) { d.SetEveryText(u"00"); }, kIncorrectFields, ids::kEvery},
      {"weekly without a day", kScheduleWeekly, kWeekly.c_str(),
       [](SchedulePageDialog& d) {
         d.OnCommand(ids::kFirstWeekday);      // Mon off
         d.OnCommand(ids::kFirstWeekday + 3);  // Thu off
       },
       kNoWeekdaySelected, ids::kFirstWeekday},
      {"monthly day 0", kScheduleMonthly, kMonthly.c_str(),
       [](SchedulePageDialog& d) { d.SetMonthDayText(u"0"); }, kIncorrectFields, ids::kMonthDay},
      {"monthly day 32", kScheduleMonthly, kMonthly.c_str(),
       [](SchedulePageDialog& d) { d.SetMonthDayText(u"32"); }, kIncorrectFields, ids::kMonthDay},
      {"monthly day empty", kScheduleMonthly, kMonthly.c_str(),
       [](SchedulePageDialog& d) { d.SetMonthDayText(u""); }, kIncorrectFields, ids::kMonthDay},
      {"monthly weekday mode without an ordinal", kScheduleMonthly, kMonthly.c_str(),
       [](SchedulePageDialog& d) {
         d.OnCommand(ids::kWeekdayMode);
         d.SetOrdinal(-1);
       },
       kIncorrectFields, ids::kOrdinal},
      {"monthly weekday mode without a weekday", kScheduleMonthly, kMonthly.c_str(),
       [](SchedulePageDialog& d) {
         d.OnCommand(ids::kWeekdayMode);
         d.SetWeekday(7);
       },
       kIncorrectFields, ids::kWeekday},
      {"monthly without a month", kScheduleMonthly, kMonthly.c_str(),
       [](SchedulePageDialog& d) {
         d.OnCommand(ids::kFirstMonth);
         d.OnCommand(ids::kFirstMonth + 1);
       },
       kNoMonthSelected, ids::kFirstMonth},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    ui::testing::RecordingHost host;
    SchedulePageDialog page(c.type, Parsed(c.type, c.parameters), kNow);
    host.Show(page);
    c.edit(page);
    page.OnCommand(ids::kCommandConfirm);
    EXPECT_FALSE(page.ended());
    ASSERT_EQ(host.boxes().size(), 1u);
    EXPECT_EQ(host.boxes()[0].text, c.message);
    EXPECT_EQ(host.boxes()[0].style, platform::kMbOk | platform::kMbIconWarning);
    EXPECT_EQ(page.focus(), c.focus);
  }
}

TEST(SchedulePageTest, TheNumberFieldsHoldThreeCharacters) {
  SchedulePageDialog page(kScheduleDaily, Parsed(kScheduleDaily, u"9|0|1"), kNow);
  page.SetEveryText(u"12345");
  EXPECT_EQ(page.every_text(), u"123");
}

TEST(SchedulePageTest, ConfirmKeepsOnlyThePagesOwnValuesOverTheDefaults) {
  // A weekly task's parameters, from which the user makes it monthly in weekday mode.
  ScheduleParameters start = Parsed(kScheduleWeekly, u"8|5|2|1|0|0|1|0|0|0|");
  start.idle_minutes = 99;
  ui::testing::RecordingHost host;
  SchedulePageDialog page(kScheduleMonthly, start, kNow);
  host.Show(page);
  page.SetTime(6, 45);
  page.OnCommand(ids::kWeekdayMode);
  EXPECT_TRUE(page.IsControlEnabled(ids::kWeekday));
  EXPECT_FALSE(page.IsControlEnabled(ids::kMonthDay));
  page.SetOrdinal(2);
  page.SetWeekday(3);
  for (int i = 1; i < 12; ++i) page.OnCommand(ids::kFirstMonth + static_cast<uint32_t>(i));
  page.OnCommand(ids::kCommandConfirm);
  ASSERT_TRUE(page.confirmed());
  EXPECT_TRUE(host.boxes().empty());
  ScheduleParameters expected = DefaultScheduleParameters(kNow);
  expected.monthly = {6, 45, 0, 7, 1, 2, 3, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
  EXPECT_EQ(page.parameters(), expected);
  std::u16string text;
  ASSERT_TRUE(FormatScheduleParameters(kScheduleMonthly, page.parameters(), &text));
  EXPECT_EQ(text, u"6|45|0|7|1|2|3|1|0|0|0|0|0|0|0|0|0|0|0");
}

TEST(SchedulePageTest, ConfirmedPagesOfEachType) {
  const ScheduleParameters start = ZeroScheduleParameters();
  {
    SchedulePageDialog page(kScheduleDaily, start, kNow);
    ui::testing::RecordingHost host;
    host.Show(page);
    page.SetTime(23, 59);
    page.SetEveryText(u"3");
    page.OnCommand(ids::kCommandConfirm);
    ASSERT_TRUE(page.confirmed());
    EXPECT_EQ(page.parameters().daily, (ScheduleParameters::Daily{23, 59, 3}));
  }
  {
    SchedulePageDialog page(kScheduleWeekly, start, kNow);
    ui::testing::RecordingHost host;
    host.Show(page);
    page.SetEveryText(u"2");
    page.OnCommand(ids::kFirstWeekday + 6);  // Sun
    page.OnCommand(ids::kCommandConfirm);
    ASSERT_TRUE(page.confirmed());
    EXPECT_EQ(page.parameters().weekly, (ScheduleParameters::Weekly{0, 0, 2, {0, 0, 0, 0, 0, 0, 1}}));
  }
  {
    SchedulePageDialog page(kScheduleOnce, start, kNow);
    ui::testing::RecordingHost host;
    host.Show(page);
    page.SetTime(7, 5);
    page.SetRunOn(1, 3, 2020);  // a past date is accepted
    page.OnCommand(ids::kCommandConfirm);
    ASSERT_TRUE(page.confirmed());
    EXPECT_EQ(page.parameters().once, (ScheduleParameters::Once{7, 5, 1, 3, 2020}));
  }
  {
    SchedulePageDialog page(kScheduleOnConnection, start, kNow);
    ui::testing::RecordingHost host;
    host.Show(page);
    page.OnCommand(ui::kCommandOk);  // the focus starts on the box: the action key ticks it
    EXPECT_TRUE(page.once_a_day());
    page.OnCommand(ids::kCommandConfirm);
    ASSERT_TRUE(page.confirmed());
    EXPECT_EQ(page.parameters().once_a_day, 1);
  }
}

TEST(SchedulePageTest, CancelAndBackGiveNothing) {
  for (uint32_t way : {ids::kCommandCancelSchedule, 0u}) {
    ui::testing::RecordingHost host;
    SchedulePageDialog page(kScheduleDaily, Parsed(kScheduleDaily, u"9|0|1"), kNow);
    host.Show(page);
    page.SetEveryText(u"0");
    if (way == 0) {
      page.OnBack();
    } else {
      page.OnCommand(way);
    }
    EXPECT_TRUE(page.ended());
    EXPECT_FALSE(page.confirmed());
    EXPECT_TRUE(host.boxes().empty());
  }
}

}  // namespace
}  // namespace kolvar
