// Renderings of a scan's summary; see scan_summary.h.
#include "antivirus/kolvar/scan_summary.h"

#include "antivirus/cut_paths.h"
#include "antivirus/kolvar/json_writer.h"
#include "antivirus/kolvar/progress_line.h"
#include "antivirus/kolvar/shown_path.h"
#include "antivirus/kolvar/text_table.h"
#include "antivirus/resource_strings.h"
#include "platform/path.h"
#include "platform/text.h"

namespace kolvar {
namespace {

std::string Utf8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

std::string Count(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string ActionCell(const ReportEntry& entry) {
  std::string text = Utf8(ActionColumnText(entry.action));
  return text.empty() ? "-" : text;
}

}  // namespace

int ScanExitStatus(const ScanSummary& summary) {
  if (!summary.completed) return 2;
  return summary.entries.empty() ? 0 : 1;
}

std::string ReportText(const ScanSummary& summary) {
  const ScanProgress& c = summary.counters;
  std::string out;
  if (summary.completed) {
    out += "Scan of " + ShownPath(summary.folder) + " finished in " + ClockText(summary.elapsed_ms);
  } else {
    out += "Scan of " + ShownPath(summary.folder) + " did not finish (" +
           summary.incomplete_reason + ") after " + ClockText(summary.elapsed_ms);
  }
  out += ": " + Count(c.folders_entered, "folder", "folders") + ", " +
         Count(c.files_tested, "file", "files") + " (" + std::to_string(c.kilobytes_tested) +
         " KB) tested, " + Count(summary.entries.size(), "infected file", "infected files") + ".\n";
  if (!summary.entries.empty()) {
    out += "\n";
    TextTable table;
    table.AddRow({Utf8(strings::kColumnInfectedFile), Utf8(strings::kColumnVirusName),
                  Utf8(strings::kColumnAction), "Result"});
    for (const ReportEntry& entry : summary.entries) {
      std::string name = entry.virus_name.empty() ? "(unknown)" : Utf8(entry.virus_name);
      std::string path = ShownPath(entry.MarkedPath());
      if (entry.source == ReportSource::kBackgroundDetection) path += " (background)";
      table.AddRow({path, name, ActionCell(entry), OutcomeText(entry)});
    }
    out += table.Render("  ");
    for (const ReportEntry& entry : summary.entries) {
      if (!entry.whole_path)
        out += "  " + ShownPath(entry.MarkedPath()) + ": " + CutPathNote(entry) + ".\n";
    }
    if (summary.actions_declined)
      out += "No action was taken: the questions were left unanswered.\n";
  }
  if (summary.untested.total > 0) {
    out += "\nNot tested (" + std::to_string(summary.untested.total) + "):\n";
    TextTable table;
    size_t shown = 0;
    for (const UntestedEntry& entry : summary.untested.entries) {
      if (shown++ == kUntestedShownInReport) break;
      table.AddRow({ShownPath(entry.path), Utf8(entry.reason)});
    }
    out += table.Render("  ");
    if (summary.untested.total > kUntestedShownInReport) {
      out += "  ... and " + std::to_string(summary.untested.total - kUntestedShownInReport) +
             " more (--json lists them all)\n";
    }
  }
  return out;
}

std::string QuietText(const ScanSummary& summary) {
  std::string out;
  for (const ReportEntry& entry : summary.entries) {
    out += ShownPath(entry.MarkedPath()) + ": " +
           (entry.virus_name.empty() ? "(unknown)" : Utf8(entry.virus_name)) + " [" +
           OutcomeText(entry) + "]\n";
  }
  return out;
}

std::string ReportJson(const ScanSummary& summary) {
  JsonWriter json;
  json.BeginObject()
      .Key("command")
      .String("scan")
      .Key("folder")
      .String(summary.folder)
      .Key("host_folder")
      .String(platform::ShownHostPath(summary.folder))
      .Key("device_root")
      .String(platform::DeviceRoot())
      .Key("background_scanning")
      .Bool(summary.background_scanning)
      .Key("action_policy")
      .String(ActionPolicyName(summary.policy))
      .Key("started")
      .Bool(summary.started)
      .Key("signature_database")
      .BeginObject()
      .Key("usable")
      .Bool(summary.database.usable)
      .Key("damaged")
      .Bool(summary.database.records_skipped != 0)
      .Key("signatures_loaded")
      .Number(static_cast<int64_t>(summary.database.signatures_loaded))
      .Key("records_skipped")
      .Number(static_cast<int64_t>(summary.database.records_skipped));
  if (!summary.database.warning.empty()) json.Key("warning").String(summary.database.warning);
  json.EndObject().Key("completed").Bool(summary.completed);
  if (!summary.completed) json.Key("incomplete_reason").String(summary.incomplete_reason);
  json.Key("elapsed_seconds")
      .Number(static_cast<double>(summary.elapsed_ms) / 1000.0)
      .Key("folders_entered")
      .Number(static_cast<int64_t>(summary.counters.folders_entered))
      .Key("files_tested")
      .Number(static_cast<int64_t>(summary.counters.files_tested))
      .Key("kilobytes_tested")
      .Number(static_cast<int64_t>(summary.counters.kilobytes_tested))
      .Key("infected_files")
      .Number(static_cast<int64_t>(summary.entries.size()))
      .Key("actions_declined")
      .Bool(summary.actions_declined)
      .Key("infected")
      .BeginArray();
  for (const ReportEntry& entry : summary.entries) {
    json.BeginObject()
        .Key("path")
        .String(entry.MarkedPath())
        .Key("host_path")
        .String(platform::ShownHostPath(entry.MarkedPath()))
        .Key("whole_path")
        .Bool(entry.whole_path)
        .Key("path_resolved")
        .Bool(entry.path_resolved)
        .Key("source")
        .String(entry.source == ReportSource::kScanResult ? "scan" : "background")
        .Key("virus_id")
        .Number(static_cast<int64_t>(entry.virus_id))
        .Key("virus_name")
        .String(entry.virus_name)
        .Key("action")
        .String(ActionKeyword(entry.action))
        .Key("outcome")
        .String(OutcomeKeyword(entry.outcome));
    if (!entry.whole_path) json.Key("path_note").String(CutPathNote(entry));
    if (!entry.quarantined_as.empty()) json.Key("quarantined_as").String(entry.quarantined_as);
    json.EndObject();
  }
  json.EndArray().Key("not_tested_count").Number(static_cast<int64_t>(summary.untested.total));
  json.Key("not_tested").BeginArray();
  for (const UntestedEntry& entry : summary.untested.entries) {
    json.BeginObject()
        .Key("path")
        .String(entry.path)
        .Key("host_path")
        .String(platform::ShownHostPath(entry.path))
        .Key("reason")
        .String(entry.reason)
        .EndObject();
  }
  json.EndArray().Key("exit_status").Number(static_cast<int64_t>(summary.exit_status));
  json.EndObject();
  return json.text();
}

}  // namespace kolvar
