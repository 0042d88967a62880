// Text forms of kvtasks; see task_text.h.
#include "tools/kvtasks/task_text.h"

#include <cstdio>

#include "scheduling/calendar_date.h"

namespace kolvar::kvtasks {
namespace {

constexpr const char* kTypeNames[] = {"daily",   "weekly",    "monthly", "once",
                                      "startup", "connected", "idle"};

// Exactly `digits` decimal digits at `text[*at]`.
bool ReadDigits(std::string_view text, size_t* at, size_t digits, int32_t* value) {
  if (*at + digits > text.size()) return false;
  *value = 0;
  for (size_t i = 0; i < digits; ++i) {
    const char c = text[*at + i];
    if (c < '0' || c > '9') return false;
    *value = *value * 10 + (c - '0');
  }
  *at += digits;
  return true;
}

bool Expect(std::string_view text, size_t* at, std::string_view any_of) {
  if (*at >= text.size() || any_of.find(text[*at]) == std::string_view::npos) return false;
  ++*at;
  return true;
}

}  // namespace

std::string MomentText(const TaskTime& time) {
  if (!time.HasDate()) return "unset";
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", time.year, time.month, time.day,
                time.hour, time.minute);
  return text;
}

bool ParseMoment(std::string_view text, TaskTime* time) {
  TaskTime t{};
  size_t at = 0;
  if (!ReadDigits(text, &at, 4, &t.year) || !Expect(text, &at, "-") ||
      !ReadDigits(text, &at, 2, &t.month) || !Expect(text, &at, "-") ||
      !ReadDigits(text, &at, 2, &t.day) || !Expect(text, &at, "T ") ||
      !ReadDigits(text, &at, 2, &t.hour) || !Expect(text, &at, ":") ||
      !ReadDigits(text, &at, 2, &t.minute) || at != text.size()) {
    return false;
  }
  if (!IsValidDate(t.year, t.month, t.day) || t.hour > 23 || t.minute > 59) return false;
  *time = t;
  return true;
}

std::string ScheduleTypeName(uint32_t type) {
  return type < std::size(kTypeNames) ? kTypeNames[type] : std::to_string(type);
}

bool ParseScheduleType(std::string_view text, uint32_t* type) {
  for (uint32_t i = 0; i < std::size(kTypeNames); ++i) {
    if (text == kTypeNames[i] || text == std::to_string(i)) {
      *type = i;
      return true;
    }
  }
  return false;
}

bool ParseFlag(std::string_view text, uint32_t* flag) {
  if (text == "1" || text == "on" || text == "yes" || text == "true") {
    *flag = 1;
  } else if (text == "0" || text == "off" || text == "no" || text == "false") {
    *flag = 0;
  } else {
    return false;
  }
  return true;
}

bool ParseTaskId(std::string_view text, uint32_t* id) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFu) return false;
  *id = static_cast<uint32_t>(value);
  return true;
}

}  // namespace kolvar::kvtasks
