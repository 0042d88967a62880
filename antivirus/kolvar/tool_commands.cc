// The device tools on the terminal; see tool_commands.h.
#include "antivirus/kolvar/tool_commands.h"

#include "antivirus/kolvar/json_writer.h"
#include "antivirus/kolvar/text_table.h"
#include "antivirus/tools/process_monitor.h"
#include "antivirus/tools/system_information.h"
#include "platform/text.h"

namespace kolvar {
namespace {

std::string Shown(std::u16string_view text) { return platform::ShownDeviceText(text); }

int PageNumber(const std::string& page) {
  if (page == "memory") return tools::kMemoryPage;
  if (page == "screen") return tools::kScreenPage;
  if (page == "fonts") return tools::kFontsPage;
  if (page == "battery") return tools::kBatteryPage;
  return tools::kGeneralPage;
}

}  // namespace

CommandResult ProcessListCommand(bool json) {
  CommandResult result;
  tools::ProcessMonitorSources sources;
  sources.windows = {};  // the terminal has no use for windows
  tools::ProcessMonitor monitor(std::move(sources));
  tools::ProcessesByName processes;
  if (!monitor.CopyProcessList(&processes)) {
    result.exit_status = kExitError;
    result.output = "The process list cannot be read.\n";
    return result;
  }
  if (json) {
    JsonWriter writer;
    writer.BeginObject().Key("processes").BeginArray();
    for (const auto& [key, record] : processes) {
      writer.BeginObject()
          .Key("pid")
          .Number(int64_t{record.entry.pid})
          .Key("name")
          .String(record.entry.name)
          .Key("path")
          .String(record.full_path)
          .Key("threads")
          .Number(int64_t{record.entry.thread_count})
          .EndObject();
    }
    writer.EndArray().EndObject();
    result.output = writer.text();
    return result;
  }
  TextTable table;
  table.AddRow({"PID", "NAME", "THREADS", "PATH"});
  for (const auto& [key, record] : processes) {
    table.AddRow({std::to_string(record.entry.pid), Shown(record.entry.name),
                  std::to_string(record.entry.thread_count), Shown(record.full_path)});
  }
  result.output = table.Render();
  return result;
}

CommandResult SystemInformationCommand(const std::string& page, bool json) {
  CommandResult result;
  tools::DeviceInfo info;
  const tools::PageTable table =
      tools::SystemInformationPage(PageNumber(page), info, tools::InstalledDisplayFacts());
  if (json) {
    JsonWriter writer;
    writer.BeginObject().Key("page").String(page).Key("rows").BeginArray();
    for (const auto& row : table.rows) {
      writer.BeginObject();
      for (size_t column = 0; column < table.columns.size() && column < row.size(); ++column) {
        writer.Key(Shown(table.columns[column].title)).String(row[column]);
      }
      writer.EndObject();
    }
    writer.EndArray().EndObject();
    result.output = writer.text();
    return result;
  }
  TextTable text;
  std::vector<std::string> header;
  for (const ui::ListColumn& column : table.columns) header.push_back(Shown(column.title));
  text.AddRow(std::move(header));
  for (const auto& row : table.rows) {
    std::vector<std::string> cells;
    for (const std::u16string& cell : row) cells.push_back(Shown(cell));
    text.AddRow(std::move(cells));
  }
  result.output = text.Render();
  return result;
}

}  // namespace kolvar
