// The system information tool: five pages of facts about the machine (general information,
// memory and storage, screen, fonts, battery), each a table of rows formatted as the dialog and
// `kolvar sysinfo` show them, and the dialog that shows one page at a time.
//
// The screen and the fonts are the window system's facts: the windowed program installs a source
// for them (InstallDisplayFacts) when it starts; without one (the terminal front end) the screen
// page's values stay empty and the fonts page has no rows.
#ifndef KOLVAR_ANTIVIRUS_TOOLS_SYSTEM_INFORMATION_H_
#define KOLVAR_ANTIVIRUS_TOOLS_SYSTEM_INFORMATION_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "antivirus/tools/device_info.h"
#include "antivirus/tools/tool_texts.h"
#include "ui/dialog.h"
#include "ui/list_model.h"

namespace kolvar::tools {

namespace sysinfo_commands {
inline constexpr uint32_t kRefresh = 40216;
inline constexpr uint32_t kGeneralInfo = 40218;
inline constexpr uint32_t kClose = 40219;
inline constexpr uint32_t kMemoryAndStorage = 40220;
inline constexpr uint32_t kScreenProperties = 40240;
inline constexpr uint32_t kInstalledFonts = 40245;
inline constexpr uint32_t kBattery = 40254;
}  // namespace sysinfo_commands

inline constexpr uint32_t kSystemInformationListControl = 1120;

enum SystemPage : int {
  kGeneralPage = 1,
  kMemoryPage = 2,
  kScreenPage = 3,
  kFontsPage = 4,
  kBatteryPage = 5,
};

struct ScreenFacts {
  uint32_t technology = 1;  // a raster display
  uint32_t bits_per_pixel = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t pixels_per_inch_x = 0;
  uint32_t pixels_per_inch_y = 0;
  uint32_t aspect_x = 0;
  uint32_t aspect_y = 0;
};

struct FontFamily {
  std::u16string face;
  std::u16string style;
  bool true_type = false;
};

struct DisplayFacts {
  std::function<std::optional<ScreenFacts>()> screen;
  std::function<std::vector<FontFamily>()> fonts;
};

// The window system's facts for every later page; the windowed program installs its own.
void InstallDisplayFacts(DisplayFacts facts);
const DisplayFacts& InstalledDisplayFacts();

struct PageTable {
  std::vector<ui::ListColumn> columns;
  std::vector<std::vector<std::u16string>> rows;
};

// The page's columns and rows, read afresh. `page` 1 to 5.
PageTable SystemInformationPage(int page, DeviceInfo& info, const DisplayFacts& display);

// The formats of the rows, for the edge cases.
std::u16string MegabytesText(double megabytes);             // "%.2f MB"
std::u16string TemperatureText(int64_t tenths_or_degrees);  // "%ld Degrees Celsius "
std::u16string BackupBatteryText(int64_t percent);          // "%u%%" or "(none)"
std::u16string TechnologyText(uint32_t technology);         // "Raster Display", "Unknown (7)"

class SystemInformationDialog : public ui::Dialog {
 public:
  // `facts_root` holds the proc, sys and etc folders read ("/" on the live system).
  explicit SystemInformationDialog(const ToolFrameTexts& frame_texts,
                                   DisplayFacts display = InstalledDisplayFacts(),
                                   std::string facts_root = "/");

  void OnInit() override;
  void OnCommand(uint32_t id) override;

  int page() const { return page_; }
  ui::ListModel& list() { return list_; }
  void ShowPage(int page);

 private:
  DisplayFacts display_;
  DeviceInfo info_;
  ui::ListModel list_;
  int page_ = kGeneralPage;
};

}  // namespace kolvar::tools

#endif  // KOLVAR_ANTIVIRUS_TOOLS_SYSTEM_INFORMATION_H_
