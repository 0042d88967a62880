// The one message-box call of the suite. Windowless programs write the box to standard error and
// the system log; windowed programs install a presenter that shows a real box. KOLVAR_MSGBOX_LOG
// appends every box as a JSON line, and KOLVAR_MSGBOX_ANSWERS answers boxes in turn for tests.
#ifndef KOLVAR_PLATFORM_MESSAGE_BOX_H_
#define KOLVAR_PLATFORM_MESSAGE_BOX_H_

#include <cstdint>
#include <functional>
#include <string_view>

namespace kolvar::platform {

// Style bits, as on the device.
inline constexpr uint32_t kMbOk = 0x0;
inline constexpr uint32_t kMbOkCancel = 0x1;
inline constexpr uint32_t kMbYesNoCancel = 0x3;
inline constexpr uint32_t kMbYesNo = 0x4;
inline constexpr uint32_t kMbIconError = 0x10;
inline constexpr uint32_t kMbIconQuestion = 0x20;
inline constexpr uint32_t kMbIconWarning = 0x30;
inline constexpr uint32_t kMbIconInformation = 0x40;

// Answers, as on the device.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Shows a box for `program` (the log's program field) and returns the answer. Without a presenter
// and without a scripted answer the box is reported and answered with its default button (OK, or
// the first button).
int MessageBox(std::u16string_view program, std::u16string_view caption, std::u16string_view text,
               uint32_t style);

using MessageBoxPresenter =
    std::function<int(std::u16string_view caption, std::u16string_view text, uint32_t style)>;
void SetMessageBoxPresenter(MessageBoxPresenter presenter);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_MESSAGE_BOX_H_
