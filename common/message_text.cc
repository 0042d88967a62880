// Filling the placeholders of the programs' user messages.
#include "common/message_text.h"

#include <string>

namespace kolvar {

std::u16string FormatText(std::u16string_view format,
                          std::initializer_list<std::u16string_view> arguments) {
  std::u16string out;
  auto next = arguments.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size() &&
        (format[i + 1] == u's' || format[i + 1] == u'd') && next != arguments.end()) {
      out += *next++;
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

std::u16string DecimalText(int64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace kolvar
