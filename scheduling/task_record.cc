// Text fields of the task record; see task_record.h.
#include "scheduling/task_record.h"

#include <algorithm>
#include <cstring>

namespace kolvar {

TaskRecord EmptyTaskRecord() {
  TaskRecord record;
  std::memset(&record, 0, sizeof record);
  return record;
}

std::u16string FieldText(const char16_t* field, size_t capacity) {
  const char16_t* end = std::find(field, field + capacity, u'\0');
  return std::u16string(field, end);
}

bool SetFieldText(char16_t* field, size_t capacity, std::u16string_view text) {
  if (text.size() >= capacity || text.find(u'\0') != std::u16string_view::npos) return false;
  std::fill(field, field + capacity, u'\0');
  std::copy(text.begin(), text.end(), field);
  return true;
}

}  // namespace kolvar
