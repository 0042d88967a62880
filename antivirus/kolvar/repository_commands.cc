// The repository commands; see repository_commands.h.
#include "antivirus/kolvar/repository_commands.h"

#include "antivirus/engine_notices.h"
#include "antivirus/kolvar/json_writer.h"
#include "antivirus/kolvar/shown_path.h"
#include "antivirus/kolvar/text_table.h"
#include "antivirus/resource_strings.h"
#include "common/status.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scan_engine/scan_records.h"
#include "scan_engine/virus_details.h"

namespace kolvar {
namespace {

std::string Utf8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

void TellError(const UserNotice& notice, const std::u16string& text) {
  if (notice) notice(text, platform::kMbOk | platform::kMbIconError);
}

// The index could not be read: said once, for every command.
CommandResult UnreadableIndex(const InstallPaths& paths, const UserNotice& notice) {
  TellError(notice, UnreadableIndexText(paths));
  return {kExitError, {}};
}

// Finds entry `number`, or tells why there is none.
bool PickEntry(const InstallPaths& paths, size_t number, const UserNotice& notice,
               RepositoryEntry* picked, CommandResult* failure) {
  std::vector<RepositoryEntry> entries;
  if (!ReadRepositoryEntries(paths, &entries)) {
    *failure = UnreadableIndex(paths, notice);
    return false;
  }
  if (number == 0 || number > entries.size()) {
    const std::u16string text =
        entries.empty() ? u"The repository is empty."
                        : u"There is no entry " + DecimalText(static_cast<int64_t>(number)) +
                              u" in the repository; it holds entries 1 to " +
                              DecimalText(static_cast<int64_t>(entries.size())) + u".";
    TellError(notice, text);
    *failure = {kExitError, {}};
    return false;
  }
  *picked = entries[number - 1];
  return true;
}

std::string EntryTable(const std::vector<RepositoryEntry>& entries) {
  TextTable table;
  table.AddRow({"#", Utf8(strings::kColumnFileName), Utf8(strings::kColumnVirus),
                Utf8(strings::kColumnSince), Utf8(strings::kColumnLocation),
                Utf8(strings::kColumnVirusId)});
  for (const RepositoryEntry& entry : entries) {
    std::string name = platform::ShownDeviceText(WideField(entry.record.file_name));
    if (!entry.protected_copy_present) name += " (missing)";
    table.AddRow({std::to_string(entry.number), name, Utf8(entry.virus_name),
                  Utf8(WideField(entry.record.date)), ShownPath(WideField(entry.record.folder)),
                  std::to_string(entry.record.virus_id)});
  }
  return table.Render("  ");
}

}  // namespace

CommandResult QuarantineList(const InstallPaths& paths, bool json, const UserNotice& notice) {
  std::vector<RepositoryEntry> entries;
  if (!ReadRepositoryEntries(paths, &entries)) return UnreadableIndex(paths, notice);
  Repository repository(paths.quarantine_folder, paths.repository_index);
  std::vector<UnlistedCopy> unlisted;
  repository.FindUnlisted(&unlisted);
  CommandResult result;
  if (json) {
    JsonWriter out;
    out.BeginObject().Key("repository").String(paths.repository_index).Key("entries").BeginArray();
    for (const RepositoryEntry& entry : entries) {
      out.BeginObject()
          .Key("number")
          .Number(static_cast<int64_t>(entry.number))
          .Key("file_name")
          .String(WideField(entry.record.file_name))
          .Key("virus")
          .String(entry.virus_name)
          .Key("since")
          .String(WideField(entry.record.date))
          .Key("location")
          .String(WideField(entry.record.folder))
          .Key("virus_id")
          .Number(static_cast<int64_t>(entry.record.virus_id))
          .Key("path")
          .String(entry.home_path)
          .Key("quarantined_as")
          .String(entry.protected_path)
          .Key("present")
          .Bool(entry.protected_copy_present)
          .EndObject();
    }
    out.EndArray().Key("unlisted").BeginArray();
    for (const UnlistedCopy& copy : unlisted) {
      out.BeginObject()
          .Key("quarantined_as")
          .String(copy.path)
          .Key("path")
          .String(
              platform::JoinPath(WideField(copy.record.folder), WideField(copy.record.file_name)))
          .EndObject();
    }
    out.EndArray().EndObject();
    result.output = out.text();
    return result;
  }
  if (entries.empty()) {
    result.output = "The repository is empty.\n";
  } else {
    result.output = "Repository: " + std::to_string(entries.size()) +
                    (entries.size() == 1 ? " file\n" : " files\n");
    result.output += EntryTable(entries);
  }
  if (!unlisted.empty()) {
    result.output += "\nNot listed in the index (" + std::to_string(unlisted.size()) +
                     "); 'kolvar quarantine adopt' lists them again:\n";
    for (const UnlistedCopy& copy : unlisted) {
      result.output += "  " + ShownPath(copy.path) + " (from " +
                       ShownPath(platform::JoinPath(WideField(copy.record.folder),
                                                    WideField(copy.record.file_name))) +
                       ")\n";
    }
  }
  return result;
}

CommandResult QuarantineAdopt(const InstallPaths& paths, const UserNotice& notice) {
  std::vector<RepositoryEntry> entries;
  if (!ReadRepositoryEntries(paths, &entries)) return UnreadableIndex(paths, notice);
  Repository repository(paths.quarantine_folder, paths.repository_index);
  const int adopted = repository.Adopt(MainProgramRepositoryNotice(notice));
  if (adopted < 0) return {kExitError, {}};
  CommandResult result;
  result.output = adopted == 0 ? "Every protected file is listed in the repository.\n"
                               : "Listed " + std::to_string(adopted) +
                                     (adopted == 1 ? " protected file" : " protected files") +
                                     " again in the repository.\n";
  return result;
}
CommandResult QuarantineRestore(const InstallPaths& paths, size_t number,
                                const UserNotice& notice) {
  RepositoryEntry entry;
  CommandResult result;
  if (!PickEntry(paths, number, notice, &entry, &result)) return result;
  Repository repository(paths.quarantine_folder, paths.repository_index);
  switch (repository.Restore(entry.record, MainProgramRepositoryNotice(notice))) {
    case RestoreOutcome::kRestored:
    case RestoreOutcome::kRestoredUnchecked:
      result.output = "Restored " + ShownPath(entry.home_path) + "\n";
      return result;
    case RestoreOutcome::kKept:
    case RestoreOutcome::kMissing:
      break;
  }
  result.exit_status = kExitError;
  return result;
}

CommandResult QuarantineDelete(const InstallPaths& paths, size_t number, const UserNotice& notice) {
  RepositoryEntry entry;
  CommandResult result;
  if (!PickEntry(paths, number, notice, &entry, &result)) return result;
  Repository repository(paths.quarantine_folder, paths.repository_index);
  if (!repository.Delete(entry.record, MainProgramRepositoryNotice(notice))) {
    result.exit_status = kExitError;
    return result;
  }
  result.output = "Deleted " + platform::ShownDeviceText(WideField(entry.record.file_name)) +
                  " from the repository (it came from " +
                  ShownPath(WideField(entry.record.folder)) + ")\n";
  return result;
}

}  // namespace kolvar
