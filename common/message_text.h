// The programs' user messages are kept with "%s" and "%d" placeholders, as the system shows them;
// this fills them in order from wide arguments, and names the way a message reaches the user.
#ifndef KOLVAR_COMMON_MESSAGE_TEXT_H_
#define KOLVAR_COMMON_MESSAGE_TEXT_H_

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kolvar {

// Shows a message to the user (a message box of the running program). `style` carries the
// message box's icon bits.
using UserNotice = std::function<void(std::u16string_view text, uint32_t style)>;

// Replaces each "%s" or "%d" of `format`, left to right, with the next argument; placeholders
// beyond the arguments stay as they are.
std::u16string FormatText(std::u16string_view format,
                          std::initializer_list<std::u16string_view> arguments);
// Signed decimal text of a number (system error codes are shown this way).
std::u16string DecimalText(int64_t value);

}  // namespace kolvar

#endif  // KOLVAR_COMMON_MESSAGE_TEXT_H_
