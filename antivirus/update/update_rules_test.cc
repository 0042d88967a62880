// Known answers of the update client's decisions and texts.
#include "antivirus/update/update_rules.h"

#include <gtest/gtest.h>

#include "common/config_keys.h"
#include "common/config_store.h"
#include "platform/text.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

TEST(UpdateRulesTest, DeviceKindChoosesTheCabinet) {
  EXPECT_STREQ(CabinetKey(1, true), "Signed_SP_CAB");
  EXPECT_STREQ(CabinetKey(1, false), "Signed_SP_CAB");
  EXPECT_STREQ(CabinetKey(2, true), "Signed_PPC_CAB");
  EXPECT_STREQ(CabinetKey(2, false), "PPC_CAB");
}

TEST(UpdateRulesTest, OfferIsReadUnderTheDeviceKindsKey) {
  testing::TestDevice device;  // the store's named objects
  ConfigStore store(u"_@KVTESTOFFER@_");
  ASSERT_TRUE(store.AddSection(config_keys::kUpdateInformation));
  auto add = [&](const char* key, std::u16string_view text, bool terminator) {
    std::u16string value(text);
    if (terminator) value.push_back(u'\0');
    ASSERT_TRUE(store.AddValue(key, 1, static_cast<uint32_t>(value.size() * 2), value.data()));
  };
  add("UpdateID", u"KVUPD-V30-0007", true);
  add("ReleaseDate", u"2026-12-01", false);
  add("Signed_PPC_CAB", u"ppc.cab", true);
  add("Signed_SP_CAB", u"sp.cab", true);
  const UpdateOffer pocket_pc = ReadUpdateOffer(store, 2, true);
  EXPECT_EQ(pocket_pc.id, u"KVUPD-V30-0007");
  EXPECT_EQ(pocket_pc.release_date, u"2026-12-01");
  EXPECT_EQ(pocket_pc.cabinet, u"ppc.cab");
  EXPECT_EQ(ReadUpdateOffer(store, 1, false).cabinet, u"sp.cab");
  // No PPC_CAB: an old shell is offered no cabinet.
  EXPECT_EQ(ReadUpdateOffer(store, 2, false).cabinet, u"");
}

TEST(UpdateRulesTest, CabinetNameNamesOnlyAFileOfTheDownloadFolder) {
  for (std::u16string_view name : {u"kvupdate.cab", u"..cab", u"a b.cab"}) {
    EXPECT_TRUE(IsCabinetFileName(name)) << platform::Utf16ToUtf8(name);
  }
  const std::u16string long_name(260, u'a');
  for (std::u16string_view name :
       {std::u16string_view(u""), std::u16string_view(u"."), std::u16string_view(u".."),
        std::u16string_view(u"..\\kolvar"), std::u16string_view(u"a/b.cab"),
        std::u16string_view(u"\\Windows\\x.cab"), std::u16string_view(u"c:x.cab"),
        std::u16string_view(u"a\0b", 3), std::u16string_view(long_name)}) {
    EXPECT_FALSE(IsCabinetFileName(name)) << platform::Utf16ToUtf8(name);
  }
}

TEST(UpdateRulesTest, OfferIsTakenOnlyWhenNewForThisProductLine) {
  const struct {
    const char16_t* id;
    const char16_t* date;
    const char16_t* last_date;
    UpdateDecision decision;
  } cases[] = {
      {u"KVUPD-V30-0007", u"2026-12-01", u"2026-11-01", UpdateDecision::kDownload},
      {u"NONE", u"2026-12-01", u"2026-11-01", UpdateDecision::kNoUpdate},
      {u"KVUPD-V40-0007", u"2026-12-01", u"2026-11-01", UpdateDecision::kNoUpdate},
      {u"", u"2026-12-01", u"2026-11-01", UpdateDecision::kNoUpdate},
      // The same date is the installed update even under another identifier.
      {u"KVUPD-V30-0008", u"2026-11-01", u"2026-11-01", UpdateDecision::kAlreadyUpdated},
      // An unset last date compares as "(none)".
      {u"KVUPD-V30-0008", u"(none)", u"", UpdateDecision::kAlreadyUpdated},
      {u"KVUPD-V30-0008", u"2026-11-01", u"", UpdateDecision::kDownload},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const auto& c = cases[i];
    EXPECT_EQ(DecideUpdate(c.id, c.date, u"KVUPD-V30", c.last_date), c.decision);
  }
}

TEST(UpdateRulesTest, TimeLeftTextKnownAnswers) {
  EXPECT_EQ(TimeLeftText(0), u"00h:00m:00s");
  EXPECT_EQ(TimeLeftText(1000), u"00h:00m:00s");
  EXPECT_EQ(TimeLeftText(1001), u"00h:00m:01s");
  EXPECT_EQ(TimeLeftText(3725000), u"01h:02m:05s");
  EXPECT_EQ(TimeLeftText(-5), u"00h:00m:00s");
  EXPECT_EQ(TimeLeftText(int64_t{100} * 3600 * 1000), u"100h:00m:00s");
}

TEST(UpdateRulesTest, ProgressKnownAnswers) {
  EXPECT_EQ(PercentDone(1023, 2048), 49u);
  EXPECT_EQ(PercentDone(2048, 2048), 100u);
  EXPECT_EQ(PercentDone(0, 0), 0u);
  // No overflow for packages beyond 42 MB.
  EXPECT_EQ(PercentDone(uint64_t{4000000000}, uint64_t{4000000000}), 100u);
  EXPECT_EQ(ExpectedBlocks(2047), 0u);
  EXPECT_EQ(ExpectedBlocks(4096), 2u);
  // Below one block the expected count is 0, so the time left stays 0.
  EXPECT_EQ(TimeLeftMs(500, ExpectedBlocks(1500), 1), 0);
  EXPECT_EQ(TimeLeftMs(500, 10, 4), 3000);
  EXPECT_EQ(DownloadingText(49), u"Downloading updates ... 49%");
  EXPECT_EQ(KilobytesText(0), u"0.00 KB");
  EXPECT_EQ(KilobytesText(1536), u"1.50 KB");
}

TEST(UpdateRulesTest, UpdateTimeIsWrittenAsTheDeviceDid) {
  platform::SystemTime time{};
  time.year = 2004;
  time.month = 11;
  time.day = 11;
  time.hour = 0;
  time.minute = 44;
  EXPECT_EQ(UpdateTimeText(time), u"Nov 11, 2004 00h:44m");
  time.month = 1;
  time.day = 2;
  time.hour = 13;
  time.minute = 5;
  EXPECT_EQ(UpdateTimeText(time), u"Jan 2, 2004 13h:05m");
}

}  // namespace
}  // namespace kolvar
