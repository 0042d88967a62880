// The system information pages; see system_information.h.
#include "antivirus/tools/system_information.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <map>

#include "common/folders.h"
#include "platform/platform_kind.h"
#include "platform/text.h"

namespace kolvar::tools {
namespace {

using namespace sysinfo_commands;

template <typename... Args>
std::u16string Printed(const char* format, Args... args) {
  char text[128];
  snprintf(text, sizeof text, format, args...);
  return platform::Utf8ToUtf16Lossy(text);
}

DisplayFacts& DisplayFactsSlot() {
  static DisplayFacts facts;
  return facts;
}

std::u16string Megabytes(DeviceInfo& info, int selector) {
  double value = 0;
  return info.Size(selector, kMegabytes, &value) ? MegabytesText(value) : u"";
}

std::u16string Folder(bool (FolderQuery::*query)(std::u16string*)) {
  FolderQuery folders;
  std::u16string folder;
  // A path shorter than two characters is no folder.
  if (!(folders.*query)(&folder) || folder.size() < 2) return u"";
  return folder;
}

std::vector<std::vector<std::u16string>> GeneralRows(DeviceInfo& info) {
  const platform::SystemVersion version = info.Version();
  std::u16string id;
  uint32_t id_bytes = 0;
  const bool has_id = info.DeviceId(&id, &id_bytes);
  return {
      {u"Platform:", platform::PlatformTypeText()},
      {u"Device Model:", info.OemInfo()},
      {u"Processor Name:", ProcessorName(info.ProcessorType())},
      {u"OS Version:", Printed("%u.%u (Build: %u)", version.major, version.minor, version.build)},
      {u"Device Memory:", Megabytes(info, kDeviceMemory)},
      {u"Windows Folder:", Folder(&FolderQuery::WindowsFolder)},
      {u"Programs Folder:", Folder(&FolderQuery::ProgramFilesFolder)},
      {u"Startup Folder:", Folder(&FolderQuery::StartupFolder)},
      {u"Personal Folder:", Folder(&FolderQuery::DocumentsFolder)},
      {u"DeviceID length:", has_id ? Printed("%u bytes", id_bytes) : u"0"},
      {u"DeviceID:", has_id ? id : texts::kNone},
  };
}

std::vector<std::vector<std::u16string>> MemoryRows(DeviceInfo& info) {
  std::vector<std::vector<std::u16string>> rows = {
      {u"Programs:", Megabytes(info, kMemoryAvailable), Megabytes(info, kProgramMemoryUsed),
       Megabytes(info, kProgramMemory)},
      {u"File System:", Megabytes(info, kFileSystemFree), Megabytes(info, kFileSystemUsed),
       Megabytes(info, kFileSystemSize)},
  };
  for (const StorageCard& card : info.StorageCards()) {
    constexpr double kMegabyte = 1048576;
    rows.push_back({card.name,
                    MegabytesText(static_cast<double>(card.space.free_bytes) / kMegabyte),
                    MegabytesText(static_cast<double>(card.space.used_bytes) / kMegabyte),
                    MegabytesText(static_cast<double>(card.space.total_bytes) / kMegabyte)});
  }
  return rows;
}

std::vector<std::vector<std::u16string>> ScreenRows(const DisplayFacts& display) {
  const std::optional<ScreenFacts> screen =
      display.screen ? display.screen() : std::optional<ScreenFacts>();
  auto value = [&](auto text) { return screen ? text() : std::u16string(); };
  return {
      {u"Technology:", value([&] { return TechnologyText(screen->technology); })},
      {u"Color Quality:", value([&] { return Printed("%u bits", screen->bits_per_pixel); })},
      {u"Screen (X x Y):",
       value([&] { return Printed("%u x %u (pixels)", screen->width, screen->height); })},
      {u"Pixels Per Inch (X):", value([&] { return Printed("%u", screen->pixels_per_inch_x); })},
      {u"Pixels Per Inch (Y):", value([&] { return Printed("%u", screen->pixels_per_inch_y); })},
      {u"Relative Pixel Width:", value([&] { return Printed("%u", screen->aspect_x); })},
      {u"Relative Pixel Height:", value([&] { return Printed("%u", screen->aspect_y); })},
  };
}

struct LessNoCase {
  bool operator()(const std::u16string& a, const std::u16string& b) const {
    return platform::CompareNoCase(a, b) < 0;
  }
};

std::vector<std::vector<std::u16string>> FontRows(const DisplayFacts& display) {
  std::map<std::u16string, FontFamily, LessNoCase> families;
  if (display.fonts) {
    for (FontFamily& family : display.fonts()) families[family.face] = std::move(family);
  }
  std::vector<std::vector<std::u16string>> rows;
  for (const auto& [face, family] : families) {
    rows.push_back({family.face, family.true_type ? texts::kYes : texts::kNo, family.style});
  }
  return rows;
}

std::vector<std::vector<std::u16string>> BatteryRows(DeviceInfo& info) {
  int64_t value = 0;
  auto query = [&](int selector) { return info.Battery(selector, &value); };
  return {
      {u"Battery:", query(kBatteryPercent) ? Printed("%u%%", static_cast<unsigned>(value)) : u""},
      {u"Chemistry:", query(kBatteryChemistry) ? ChemistryText(static_cast<uint32_t>(value)) : u""},
      {u"Temperature:", query(kBatteryTemperature) ? TemperatureText(value) : u""},
      {u"Voltage:", query(kBatteryVoltage) ? Printed("%" PRId64 " mV (millivolts) ", value) : u""},
      {u"Backup Battery:",
       query(kBackupBatteryPercent) ? BackupBatteryText(value) : std::u16string(texts::kNone)},
  };
}

}  // namespace

void InstallDisplayFacts(DisplayFacts facts) { DisplayFactsSlot() = std::move(facts); }
const DisplayFacts& InstalledDisplayFacts() { return DisplayFactsSlot(); }

std::u16string MegabytesText(double megabytes) { return Printed("%.2f MB", megabytes); }

std::u16string TemperatureText(int64_t value) {
  // The battery reports tenths of a degree; small values are taken as whole degrees.
  if (value > 99) value /= 10;
  return Printed("%" PRId64 " Degrees Celsius ", value);
}

std::u16string BackupBatteryText(int64_t percent) {
  if (percent >= 1 && percent <= 100) return Printed("%u%%", static_cast<unsigned>(percent));
  return texts::kNone;
}

std::u16string TechnologyText(uint32_t technology) {
  switch (technology) {
    case 0:
      return u"Vector Plotter";
    case 1:
      return u"Raster Display";
    case 2:
      return u"Raster Printer";
    case 3:
      return u"Raster Camera";
    case 4:
      return u"Character-Stream";
    case 6:
      return u"Display File";
    default:
      return Printed("Unknown (%u)", technology);
  }
}

PageTable SystemInformationPage(int page, DeviceInfo& info, const DisplayFacts& display) {
  PageTable table;
  switch (page) {
    case kMemoryPage:
      table.columns = {{u"Memory", 150}, {u"Free", 90}, {u"Used", 90}, {u"Total", 90}};
      table.rows = MemoryRows(info);
      break;
    case kScreenPage:
      table.columns = {{u"Information", 160}, {u"Value", 350}};
      table.rows = ScreenRows(display);
      break;
    case kFontsPage:
      table.columns = {{u"Font Name", 150}, {u"True Type", 80}, {u"Style", 150}};
      table.rows = FontRows(display);
      break;
    case kBatteryPage:
      table.columns = {{u"Information", 150}, {u"Value", 350}};
      table.rows = BatteryRows(info);
      break;
    default:
      table.columns = {{u"Information", 150}, {u"Value", 750}};
      table.rows = GeneralRows(info);
      break;
  }
  return table;
}

SystemInformationDialog::SystemInformationDialog(const ToolFrameTexts& frame_texts,
                                                 DisplayFacts display, std::string facts_root)
    : Dialog(frame_texts.title), display_(std::move(display)), info_(std::move(facts_root)) {
  soft_keys().left = ui::SoftKey::MenuKey(frame_texts.options_key);
  soft_keys()
      .left.menu.Add(kGeneralInfo, texts::kGeneralInfo)
      .Add(kMemoryAndStorage, texts::kMemoryAndStorage)
      .Add(kScreenProperties, texts::kScreenProperties)
      .Add(kInstalledFonts, texts::kInstalledFonts)
      .Add(kBattery, texts::kBattery)
      .AddSeparator()
      .Add(kRefresh, texts::kRefresh);
  soft_keys().right = ui::SoftKey::CommandKey(kClose, texts::kClose);
}

void SystemInformationDialog::OnInit() {
  ShowPage(kGeneralPage);
  SetFocus(kSystemInformationListControl);
}

void SystemInformationDialog::ShowPage(int page) {
  page_ = page;
  SetWaitCursor(true);
  PageTable table = SystemInformationPage(page, info_, display_);
  SetWaitCursor(false);
  list_.Clear();
  list_.SetColumns(std::move(table.columns));
  for (auto& row : table.rows) list_.AddRow({std::move(row)});
  if (!list_.empty()) list_.Select(0);
  Changed();
}

void SystemInformationDialog::OnCommand(uint32_t id) {
  switch (id) {
    case kGeneralInfo:
      ShowPage(kGeneralPage);
      return;
    case kMemoryAndStorage:
      ShowPage(kMemoryPage);
      return;
    case kScreenProperties:
      ShowPage(kScreenPage);
      return;
    case kInstalledFonts:
      ShowPage(kFontsPage);
      return;
    case kBattery:
      ShowPage(kBatteryPage);
      return;
    case kRefresh:
      ShowPage(page_);
      return;
    case kClose:
      End(ui::kResultOk);
      return;
    default:
      Dialog::OnCommand(id);
  }
}

}  // namespace kolvar::tools
