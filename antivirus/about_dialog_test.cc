// The about dialog: its three pages with the rows and values each shows, the page it opens on,
// the operating-system text on and off Windows CE, and the contact address from the
// configuration.
#include "antivirus/about_dialog.h"

#include <gtest/gtest.h>

#include <memory>

#include "antivirus/command_ids.h"
#include "common/config_keys.h"
#include "common/config_store.h"
#include "common/configuration.h"
#include "platform/locale.h"
#include "tests/testing/test_device.h"
#include "ui/testing/recording_host.h"

namespace kolvar {
namespace {

using Rows = std::vector<std::pair<std::u16string, std::u16string>>;

Rows RowsOf(AboutDialog& about) {
  Rows rows;
  for (int row = 0; row < about.list().size(); ++row) {
    rows.emplace_back(about.list().Cell(row, 0), about.list().Cell(row, 1));
  }
  return rows;
}

TEST(AboutDialogTest, PagesShowTheirFacts) {
  AboutFacts facts;
  facts.contact_url = u"http://contact.example/";
  facts.device_name = u"Handheld 9000";
  facts.platform_name = u"PocketPC";
  facts.os_text = u"6.1 Build: 55";
  facts.language_name = u"German";
  AboutDialog about(facts);
  ui::testing::RecordingHost host;
  host.Show(about);
  EXPECT_EQ(about.title(), u"About");
  EXPECT_EQ(about.pages(),
            (std::vector<std::u16string>{u"Program Info", u"Contact Info", u"Device Info"}));
  EXPECT_EQ(about.page(), 0);
  EXPECT_EQ(about.list().columns()[0].title, u"Item");
  EXPECT_EQ(about.list().columns()[1].width, 500);
  EXPECT_EQ(RowsOf(about), (Rows{{u" ", u" "},
                                 {u"Company:", u"Kolvar"},
                                 {u"Product:", u"Kolvar AV"},
                                 {u"Version: ", u"3.0"},
                                 {u"Language:", u"English"},
                                 {u"Legal:", kLegalCopyright}}));
  about.SelectPage(1);
  EXPECT_EQ(RowsOf(about), (Rows{{u" ", u" "}, {u"Contact:", u"http://contact.example/"}}));
  about.FocusSelector();
  about.SelectPage(2);
  EXPECT_EQ(RowsOf(about), (Rows{{u" ", u" "},
                                 {u"Device: ", u"Handheld 9000"},
                                 {u"Platform: ", u"PocketPC"},
                                 {u"OS:", u"6.1 Build: 55"},
                                 {u"Language: ", u"German"}}));
  EXPECT_EQ(about.list().selected(), 0);
  EXPECT_EQ(about.focus(), about_controls::kList) << "a page gives the list the focus";
  about.OnCommand(commands::kDone);
  EXPECT_TRUE(about.ended());
}

TEST(AboutDialogTest, OperatingSystemTextAndLanguageNames) {
  EXPECT_EQ(OperatingSystemText(3, 4, 20, 1088, u" SP1"), u"Windows CE 4.20 Build: 1088 SP1");
  EXPECT_EQ(OperatingSystemText(0, 6, 1, 55, u""), u"6.1 Build: 55");
  EXPECT_EQ(platform::LanguageNameOfLocale("de_DE.UTF-8"), "German");
  EXPECT_EQ(platform::LanguageNameOfLocale("C.UTF-8"), "English");
  EXPECT_EQ(platform::LanguageNameOfLocale(""), "English");
  EXPECT_EQ(platform::LanguageNameOfLocale("fi_FI"), "fi");
}

TEST(AboutDialogTest, ContactAddressIsAConfigurationValue) {
  testing::TestDevice device;
  std::unique_ptr<ConfigurationFile> configuration;
  ASSERT_TRUE(OpenConfiguration(false, &configuration));
  EXPECT_EQ(GatherAboutFacts(configuration.get()).contact_url, kDefaultContactUrl);
  const std::u16string url = u"https://help.example/av";
  ConfigStore& store = configuration->store();
  ASSERT_TRUE(store.SelectSection(config_keys::kBasic));
  ASSERT_TRUE(store.AddValue(config_keys::kContactUrl, kConfigTypeText,
                             static_cast<uint32_t>(url.size() * 2), url.data()));
  EXPECT_EQ(GatherAboutFacts(configuration.get()).contact_url, url);
  EXPECT_FALSE(GatherAboutFacts(nullptr).os_text.empty());
}

}  // namespace
}  // namespace kolvar
