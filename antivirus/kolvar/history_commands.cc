// The history commands; see history_commands.h.
#include "antivirus/kolvar/history_commands.h"

#include "antivirus/history_file.h"
#include "antivirus/kolvar/json_writer.h"
#include "antivirus/virus_list.h"
#include "common/status.h"
#include "platform/error.h"
#include "platform/message_box.h"
#include "platform/text.h"

namespace kolvar {

CommandResult HistoryCommand(const InstallPaths& paths, const UserNotice& notice) {
  std::vector<std::u16string> lines;
  if (!ReadHistoryLines(paths.history, &lines)) {
    if (notice) {
      notice(FormatText(u"The update history '%s' cannot be read (%s).",
                        {paths.history, SystemErrorText(platform::GetLastError())}),
             platform::kMbOk | platform::kMbIconError);
    }
    return {kExitError, {}};
  }
  CommandResult result;
  for (const std::u16string& line : lines) result.output += platform::Utf16ToUtf8(line) + "\n";
  return result;
}

CommandResult VirusesCommand(const InstallPaths& paths, bool json, const UserNotice& notice) {
  const VirusList viruses = ReadVirusList(paths.virus_details);
  const std::u16string problem = VirusListProblem(viruses, paths.virus_details);
  CommandResult result;
  if (!problem.empty()) {
    if (notice) notice(problem, platform::kMbOk | platform::kMbIconError);
    result.exit_status = kExitError;
  }
  if (json) {
    JsonWriter out;
    out.BeginObject().Key("database").String(paths.virus_details).Key("viruses").BeginArray();
    for (const VirusDetailRecord& record : viruses.records) {
      out.BeginObject()
          .Key("id")
          .Number(static_cast<int64_t>(record.virus_id))
          .Key("name")
          .String(record.Name())
          .Key("description")
          .String(record.Description())
          .Key("recommendation")
          .String(record.Recommendation())
          .EndObject();
    }
    out.EndArray().Key("problem");
    if (problem.empty()) {
      out.Null();
    } else {
      out.String(problem);
    }
    out.EndObject();
    result.output = out.text();
    return result;
  }
  for (const VirusDetailRecord& record : viruses.records) {
    result.output += std::to_string(record.virus_id) + "  " + platform::Utf16ToUtf8(record.Name()) +
                     "\n    " + platform::Utf16ToUtf8(record.Description()) +
                     "\n    Recommendation: " + platform::Utf16ToUtf8(record.Recommendation()) +
                     "\n";
  }
  return result;
}

}  // namespace kolvar
