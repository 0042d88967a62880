// Parsing and writing the parameter text of a task; see schedule_parameters.h.
#include "scheduling/schedule_parameters.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace kolvar {
namespace {

// The members of a type in the order of its text.
std::vector<int32_t*> Members(uint32_t type, ScheduleParameters* p) {
  switch (type) {
    case kScheduleDaily:
      return {&p->daily.hour, &p->daily.minute, &p->daily.every_days};
    case kScheduleWeekly: {
      std::vector<int32_t*> members{&p->weekly.hour, &p->weekly.minute, &p->weekly.every_weeks};
      for (int32_t& day : p->weekly.days) members.push_back(&day);
      return members;
    }
    case kScheduleMonthly: {
      std::vector<int32_t*> members{
          &p->monthly.hour,         &p->monthly.minute,  &p->monthly.day_mode, &p->monthly.day,
          &p->monthly.weekday_mode, &p->monthly.ordinal, &p->monthly.weekday};
      for (int32_t& month : p->monthly.months) members.push_back(&month);
      return members;
    }
    case kScheduleOnce:
      return {&p->once.hour, &p->once.minute, &p->once.day, &p->once.month, &p->once.year};
    case kScheduleOnConnection:
      return {&p->once_a_day};
    case kScheduleWhenIdle:
      return {&p->idle_minutes};
    default:
      return {};
  }
}

// A leading sign and decimal digits after optional blanks, as the device's text-to-number call
// reads them; no digits read as 0 and a value beyond 32 bits is held at its limit.
int32_t ReadNumber(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > std::numeric_limits<int32_t>::max()) {
      return negative ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
    }
  }
  return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace

ScheduleParameters ZeroScheduleParameters() {
  ScheduleParameters parameters;
  std::memset(&parameters, 0, sizeof parameters);
  return parameters;
}

void ParseScheduleParameters(uint32_t type, std::u16string_view text,
                             ScheduleParameters* parameters) {
  const std::vector<int32_t*> members = Members(type, parameters);
  if (members.empty()) return;
  if (type == kScheduleOnConnection || type == kScheduleWhenIdle) {
    *members[0] = ReadNumber(text);
    return;
  }
  size_t next = 0;
  size_t start = 0;
  while (start <= text.size() && next < members.size()) {
    size_t bar = text.find(u'|', start);
    if (bar == std::u16string_view::npos) bar = text.size();
    if (bar > start) *members[next++] = ReadNumber(text.substr(start, bar - start));
    start = bar + 1;
  }
}

bool FormatScheduleParameters(uint32_t type, const ScheduleParameters& parameters,
                              std::u16string* text) {
  if (type == kScheduleAtStartup) {
    text->clear();
    return true;
  }
  ScheduleParameters copy = parameters;
  const std::vector<int32_t*> members = Members(type, &copy);
  if (members.empty()) return false;
  std::string out;
  for (size_t i = 0; i < members.size(); ++i) {
    if (i > 0) out += '|';
    out += std::to_string(*members[i]);
  }
  if (type == kScheduleWeekly) out += '|';
  *text = std::u16string(out.begin(), out.end());
  return true;
}

void SerialiseScheduleParameters(const ScheduleParameters& parameters, TaskRecord* record) {
  std::u16string text;
  if (!FormatScheduleParameters(record->schedule_type, parameters, &text)) return;
  // Nineteen values of at most eleven characters fit the field's 259 characters.
  SetFieldText(record->parameters, kTaskTextChars, text);
}

}  // namespace kolvar
