// Prompts of the ask policy; see action_prompt.h.
#include "antivirus/kolvar/action_prompt.h"

#include <cctype>

#include "antivirus/resource_strings.h"
#include "antivirus/kolvar/shown_path.h"
#include "platform/text.h"
#include "common/message_text.h"

namespace kolvar {
namespace {

std::string Utf8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

std::string Trim(const std::string& text) {
  size_t start = 0;
  size_t end = text.size();
  while (start < end && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  while (end > start && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(start, end - start);
}

enum class Answer { kDelete, kMove, kIgnore, kDeleteAll, kMoveAll, kIgnoreAll, kInfo, kAdvice };

struct Choice {
  const char* key;
  const char* word;
  Answer answer;
  const char16_t* label;
};

constexpr Choice kReportChoices[] = {
    {"d", "delete", Answer::kDelete, strings::kMenuDeleteInfectedFile},
    {"m", "move", Answer::kMove, strings::kMenuMoveToRepository},
    {"i", "ignore", Answer::kIgnore, strings::kMenuIgnoreThreat},
    {"D", "delete-all", Answer::kDeleteAll, strings::kMenuDeleteAll},
    {"M", "move-all", Answer::kMoveAll, strings::kMenuMoveAll},
    {"I", "ignore-all", Answer::kIgnoreAll, strings::kMenuIgnoreAll},
    {"v", "info", Answer::kInfo, strings::kMenuVirusInfo},
    {"r", "recommendation", Answer::kAdvice, strings::kMenuRecommendation},
};
// The virus-detected dialog greys the "All" items.
constexpr Choice kDetectionChoices[] = {
    {"d", "delete", Answer::kDelete, strings::kMenuDeleteInfectedFile},
    {"m", "move", Answer::kMove, strings::kMenuMoveToRepository},
    {"i", "ignore", Answer::kIgnore, strings::kMenuIgnoreThreat},
    {"v", "info", Answer::kInfo, strings::kMenuVirusInfo},
    {"r", "recommendation", Answer::kAdvice, strings::kMenuRecommendation},
};

template <size_t N>
std::string Menu(const Choice (&choices)[N]) {
  std::string menu = "  ";
  for (size_t i = 0; i < N; ++i) {
    if (i == 3 && N > 5) menu += "\n  ";
    menu += "[" + std::string(choices[i].key) + "] " + Utf8(choices[i].label) + "  ";
  }
  while (menu.back() == ' ') menu.pop_back();
  return menu + "\n";
}

// Keys are case-sensitive ("d" one file, "D" all); the long words are not.
template <size_t N>
bool Match(const std::string& text, const Choice (&choices)[N], Answer* answer) {
  for (const Choice& choice : choices) {
    if (text == choice.key) {
      *answer = choice.answer;
      return true;
    }
  }
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const Choice& choice : choices) {
    if (lower == choice.word) {
      *answer = choice.answer;
      return true;
    }
  }
  return false;
}

void ShowDetails(const ReportEntry& entry, Answer answer, const PromptIo& io) {
  const std::string name = entry.virus_name.empty() ? "(unknown virus)" : Utf8(entry.virus_name);
  if (answer == Answer::kInfo) {
    io.write("  " + name + ": " + Utf8(entry.description) + "\n");
  } else {
    io.write("  " + name + ": " +
             Utf8(FormatText(strings::kRecommendationFormat, {entry.recommendation})) + "\n");
  }
}

// Asks until a file action is chosen; false when the user left.
template <size_t N>
bool AskOne(const std::string& heading, const ReportEntry& entry, const Choice (&choices)[N],
            const PromptIo& io, Answer* answer) {
  io.write(heading + ShownPath(entry.Path()) + "\n  " + Utf8(strings::kColumnVirusName) + ": " +
           (entry.virus_name.empty() ? "(unknown)" : Utf8(entry.virus_name)) + "\n" +
           Menu(choices));
  for (;;) {
    io.write("Action? ");
    std::string line;
    if (io.read_line(&line) != platform::ReadLineResult::kLine) {
      io.write("\n");
      return false;
    }
    if (Match(Trim(line), choices, answer)) {
      if (*answer != Answer::kInfo && *answer != Answer::kAdvice) return true;
      ShowDetails(entry, *answer, io);
      continue;
    }
    io.write("  Please answer with one of the letters in brackets.\n");
  }
}

}  // namespace

bool AskReportActions(std::vector<ReportEntry>& entries, const PromptIo& io) {
  std::vector<size_t> asked;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].source == ReportSource::kScanResult) asked.push_back(i);
  }
  for (size_t n = 0; n < asked.size(); ++n) {
    ReportEntry& entry = entries[asked[n]];
    if (entry.action != kActionNone) continue;  // set by an "All" answer
    const std::string heading =
        "Infected file " + std::to_string(n + 1) + " of " + std::to_string(asked.size()) + ": ";
    Answer answer;
    if (!AskOne(heading, entry, kReportChoices, io, &answer)) {
      for (size_t index : asked) entries[index].action = kActionNone;
      return false;
    }
    uint8_t action = kActionNone;
    bool all = false;
    switch (answer) {
      case Answer::kDelete:
        action = kActionDelete;
        break;
      case Answer::kMove:
        action = kActionMove;
        break;
      case Answer::kIgnore:
        action = kActionIgnoreAll;
        break;
      case Answer::kDeleteAll:
        action = kActionDelete, all = true;
        break;
      case Answer::kMoveAll:
        action = kActionMove, all = true;
        break;
      case Answer::kIgnoreAll:
        action = kActionIgnoreAll, all = true;
        break;
      case Answer::kInfo:
      case Answer::kAdvice:
        break;
    }
    entry.action = action;
    if (all) {
      for (size_t later = n + 1; later < asked.size(); ++later)
        entries[asked[later]].action = action;
    }
  }
  return true;
}

uint8_t AskDetectionAction(const ReportEntry& entry, const PromptIo& io) {
  Answer answer;
  if (!AskOne(Utf8(strings::kVirusDetectedTitle) + ": ", entry, kDetectionChoices, io, &answer)) {
    return kActionNone;
  }
  switch (answer) {
    case Answer::kDelete:
      return kActionDelete;
    case Answer::kMove:
      return kActionMove;
    case Answer::kIgnore:
      return kActionIgnoreAll;
    default:
      return kActionNone;
  }
}

}  // namespace kolvar
