// The main program's string table: the numbers the dialogs load are all there, each once, none so
// long that the load rule would empty it, and the load rule holds for this table.
#include "antivirus/string_table.h"

#include <gtest/gtest.h>

#include <set>

#include "antivirus/command_ids.h"

namespace kolvar {
namespace {

TEST(AntivirusStringsTest, EveryNumberOnceAndEveryTextLoadable) {
  std::set<uint32_t> seen;
  for (const ui::StringResource& resource : AntivirusStrings().resources()) {
    EXPECT_TRUE(seen.insert(resource.id).second) << "number " << resource.id << " twice";
    EXPECT_FALSE(resource.text.empty()) << resource.id;
    EXPECT_LT(resource.text.size(), ui::kLoadStringMaxLength) << resource.id;
    EXPECT_EQ(LoadString(resource.id), resource.text) << resource.id;
  }
}

TEST(AntivirusStringsTest, TextsOfTheShellMenusAndDialogsAreThere) {
  using namespace string_ids;
  using namespace commands;
  const uint32_t ids[] = {kProgramCaption,
                          kVirusDatabaseNotFound,
                          kVirusDetailDatabaseNotFound,
                          kCannotCreateQuarantine,
                          kIpcServiceFailed,
                          kCannotRegisterChannel,
                          kIpcFailed,
                          kGuiChannelFailed,
                          kCannotLoadBackgroundValue,
                          kReportTitle,
                          kVirusDetectedTitle,
                          kErrorCaption,
                          kProgramStarted,
                          kScanningFile,
                          kScanningFileBackground,
                          kScanningPaused,
                          kScanningCanceled,
                          kScanningComplete,
                          kConfirmStop,
                          kConfirmStopBackground,
                          kNoVirusFound,
                          kSelectActionForAll,
                          kErrorTryingToExecute,
                          kNotAvailableYet,
                          kSelectActionForFile,
                          TemplateText(resources::kMainMenuBar, kScanNow),
                          TemplateText(resources::kMainMenuBar, kKolvarScheduler),
                          TemplateText(resources::kActionMenuBar, kClose),
                          TemplateText(resources::kScanTemplate, 1070),
                          TemplateText(resources::kVirusDetectedTemplate, 1039),
                          TemplateText(resources::kReportTemplate, 1070),
                          TemplateText(resources::kFolderPickerMenuBar, kSelectFolder)};
  for (uint32_t id : ids) EXPECT_FALSE(LoadString(id).empty()) << id;
  EXPECT_EQ(LoadString(kProgramCaption), u"Kolvar AV");
  EXPECT_EQ(LoadString(kCannotRegisterChannel).substr(0, 6), u"Can\u00B4t ");
  // Command 40184 and string 40184 are different things.
  EXPECT_EQ(LoadString(TemplateText(resources::kMainMenuBar, kUpdateHistory)), u"Update History");
  EXPECT_NE(LoadString(kCannotRegisterChannel), u"Update History");
  EXPECT_EQ(LoadString(1), u"") << "a missing string loads empty";
}

}  // namespace
}  // namespace kolvar
