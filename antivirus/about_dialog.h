// The about dialog: pages of facts chosen with a page selector above a two-column list, "Program
// Info" (company, product, version, language, legal text of the program), "Contact Info" (the
// vendor's web address, a configuration value) and "Device Info" (the machine's name, the
// platform, the operating system and the language). It opens on "Program Info". The facts are
// gathered once by GatherAboutFacts, so tests give the dialog facts of their own.
#ifndef KOLVAR_ANTIVIRUS_ABOUT_DIALOG_H_
#define KOLVAR_ANTIVIRUS_ABOUT_DIALOG_H_

#include <cstdint>
#include <string>
#include <vector>

#include "ui/dialog.h"
#include "ui/list_model.h"

namespace kolvar {

class ConfigurationFile;

namespace about_controls {
inline constexpr uint32_t kPageSelector = 1016;
inline constexpr uint32_t kList = 1078;
}  // namespace about_controls

// The program's own facts (what the device reads from the program file's version resource).
inline constexpr char16_t kCompanyName[] = u"Kolvar";
inline constexpr char16_t kProductName[] = u"Kolvar AV";
inline constexpr char16_t kProductVersion[] = u"3.0";
inline constexpr char16_t kLegalCopyright[] = u"Copyright (C) 2026 Kolvar. All rights reserved.";
// The contact page's address when the configuration names none (BASIC/ContactUrl).
inline constexpr char16_t kDefaultContactUrl[] = u"http://www.kolvar.example/support/";

struct AboutFacts {
  std::u16string company = kCompanyName;
  std::u16string product = kProductName;
  std::u16string version = kProductVersion;
  std::u16string legal = kLegalCopyright;
  std::u16string contact_url = kDefaultContactUrl;
  std::u16string device_name;
  std::u16string platform_name;
  std::u16string os_text;
  std::u16string language_name;
};

// The operating-system text: "Windows CE " on platform 3 only, then "major.minor Build: build"
// and the service-pack text.
std::u16string OperatingSystemText(uint32_t platform_id, uint32_t major, uint32_t minor,
                                   uint32_t build, std::u16string_view service_pack);

// The facts of this machine and of `configuration` (may be null).
AboutFacts GatherAboutFacts(ConfigurationFile* configuration);

class AboutDialog : public ui::Dialog {
 public:
  explicit AboutDialog(AboutFacts facts);

  void OnInit() override;
  void OnCommand(uint32_t id) override;

  const std::vector<std::u16string>& pages() const { return pages_; }
  int page() const { return page_; }
  // Shows page `index`: the list emptied, focused, filled and its row 0 selected.
  void SelectPage(int index);
  // The Up key on the list's top row moves the focus to the page selector.
  void FocusSelector() { SetFocus(about_controls::kPageSelector); }
  ui::ListModel& list() { return list_; }

 private:
  const AboutFacts facts_;
  std::vector<std::u16string> pages_;
  int page_ = 0;
  ui::ListModel list_;
};

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_ABOUT_DIALOG_H_
