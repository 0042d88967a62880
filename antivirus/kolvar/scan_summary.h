// What a run of `kolvar scan` found and did, and its three renderings: the report for people, the
// quiet list of infected files, and the JSON document.
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_SCAN_SUMMARY_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_SCAN_SUMMARY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "antivirus/kolvar/command_line.h"
#include "antivirus/scan_report.h"
#include "antivirus/untested_entries.h"
#include "scan_engine/scan_client.h"

namespace kolvar {

// The signature database that kolvar checked before the scan.
struct DatabaseSummary {
  bool usable = true;  // false: unreadable, or no usable signature (no scan then)
  uint32_t signatures_loaded = 0;
  uint32_t records_skipped = 0;  // records that are no signature, and a record cut short
  std::string warning;           // why records were skipped, in words; empty when none were
};

struct ScanSummary {
  std::u16string folder;  // device path
  bool background_scanning = false;
  ActionPolicy policy = ActionPolicy::kIgnore;
  DatabaseSummary database;
  bool started = true;            // false: the scan did not run at all (incomplete_reason says why)
  bool completed = false;         // the pass ended; false when stopped or the scanner went away
  std::string incomplete_reason;  // why not, for people
  uint64_t elapsed_ms = 0;
  ScanProgress counters;  // as the scanner last reported them
  std::vector<ReportEntry> entries;
  UntestedEntries untested;
  bool actions_declined = false;  // the user left the prompts: nothing was acted on
  int exit_status = 0;
};

// 0 when nothing was found, 1 when a file was infected, 2 when the scan did not complete.
int ScanExitStatus(const ScanSummary& summary);

// Entries of the not-tested list shown in the report; the JSON document lists them all.
inline constexpr size_t kUntestedShownInReport = 20;

std::string ReportText(const ScanSummary& summary);
std::string QuietText(const ScanSummary& summary);
std::string ReportJson(const ScanSummary& summary);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_SCAN_SUMMARY_H_
