// The about dialog; see about_dialog.h.
#include "antivirus/about_dialog.h"

#include "antivirus/command_ids.h"
#include "antivirus/string_table.h"
#include "common/config_keys.h"
#include "common/configuration.h"
#include "common/message_text.h"
#include "platform/device_facts.h"
#include "platform/locale.h"
#include "platform/platform_kind.h"
#include "platform/text.h"

namespace kolvar {
namespace {

constexpr uint32_t kWindowsCePlatform = 3;
// Linux is no Windows CE: the operating-system text starts with the kernel's version.
constexpr uint32_t kLinuxPlatform = 0;

}  // namespace

std::u16string OperatingSystemText(uint32_t platform_id, uint32_t major, uint32_t minor,
                                   uint32_t build, std::u16string_view service_pack) {
  std::u16string text;
  if (platform_id == kWindowsCePlatform) text = LoadString(string_ids::kWindowsCe);
  text += DecimalText(major) + u"." + DecimalText(minor) + u" " + LoadString(string_ids::kBuild) +
          DecimalText(build) + std::u16string(service_pack);
  return text;
}

AboutFacts GatherAboutFacts(ConfigurationFile* configuration) {
  AboutFacts facts;
  if (configuration != nullptr) {
    std::u16string url;
    configuration->ReloadWhenSavedElsewhere();
    if (ReadTextValue(configuration->store(), config_keys::kBasic, config_keys::kContactUrl,
                      &url) &&
        !url.empty()) {
      facts.contact_url = url;
    }
  }
  const platform::DeviceFactsReader reader;
  facts.device_name = platform::Utf8ToUtf16Lossy(reader.MachineModel());
  facts.platform_name = platform::PlatformTypeText();
  const platform::SystemVersion version = platform::DeviceFactsReader::ReadVersion();
  facts.os_text =
      OperatingSystemText(kLinuxPlatform, version.major, version.minor, version.build, u"");
  facts.language_name = platform::Utf8ToUtf16Lossy(platform::DefaultLanguageName());
  return facts;
}

AboutDialog::AboutDialog(AboutFacts facts)
    : Dialog(LoadString(string_ids::kAboutTitle)), facts_(std::move(facts)) {
  soft_keys().right = ui::SoftKey::CommandKey(
      commands::kDone, LoadString(TemplateText(resources::kDoneMenuBar, commands::kDone)));
  pages_ = {LoadString(string_ids::kProgramInfo), LoadString(string_ids::kContactInfo),
            LoadString(string_ids::kDeviceInfo)};
  list_.SetColumns(
      {{LoadString(string_ids::kColumnItem), 90}, {LoadString(string_ids::kColumnValue), 500}});
}

void AboutDialog::OnInit() { SelectPage(page_); }

void AboutDialog::SelectPage(int index) {
  if (index < 0 || index >= static_cast<int>(pages_.size())) return;
  page_ = index;
  list_.Clear();
  auto add = [this](std::u16string item, std::u16string value) {
    list_.AddRow({{std::move(item), std::move(value)}, -1});
  };
  add(u" ", u" ");
  using namespace string_ids;
  switch (index) {
    case 0:
      add(LoadString(kCompanyItem), facts_.company);
      add(LoadString(kProductItem), facts_.product);
      add(LoadString(kVersionItem), facts_.version);
      add(LoadString(kLanguageItem), LoadString(kEnglish));
      add(LoadString(kLegalItem), facts_.legal);
      break;
    case 1:
      add(LoadString(kContactItem), facts_.contact_url);
      break;
    default:
      add(LoadString(kDeviceItem), facts_.device_name);
      add(LoadString(kPlatformItem), facts_.platform_name);
      add(LoadString(kOsItem), facts_.os_text);
      add(LoadString(kDeviceLanguageItem), facts_.language_name);
  }
  list_.Select(0);
  SetFocus(about_controls::kList);
  Changed();
}

void AboutDialog::OnCommand(uint32_t id) {
  if (id == commands::kDone) {
    End(ui::kResultOk);
    return;
  }
  Dialog::OnCommand(id);
}

}  // namespace kolvar
