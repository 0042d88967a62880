// The one message-box call of the suite. Windowless programs write the box to standard error and
// the system log; windowed programs install a presenter that shows a real box.
//
// For tests that drive whole programs without a screen:
// - KOLVAR_MSGBOX_LOG names a file to which every box is appended as one JSON line
//   {"program":"..","caption":"..","text":"..","style":N} (UTF-8, escaped as JSON asks), written
//   with O_APPEND in a single write, so that several programs can share one log.
// - KOLVAR_MSGBOX_ANSWERS (comma-separated OK, CANCEL, ABORT, RETRY, IGNORE, YES, NO or numbers)
//   answers boxes in turn, in place of the presenter. The position in the list is shared by every
//   process that uses the same log: it is kept in the companion file "<log>.answered" (a counter
//   that a box reads and advances under an exclusive flock, so two programs never take the same
//   answer and a program killed meanwhile releases the lock). Without a log each process counts
//   its own position. Once the list is used up, boxes get their default answer.
#ifndef KOLVAR_PLATFORM_MESSAGE_BOX_H_
#define KOLVAR_PLATFORM_MESSAGE_BOX_H_

#include <cstdint>
#include <functional>
#include <string_view>

namespace kolvar::platform {

// Style bits, as on the device.
inline constexpr uint32_t kMbOk = 0x0;
inline constexpr uint32_t kMbOkCancel = 0x1;
inline constexpr uint32_t kMbAbortRetryIgnore = 0x2;
inline constexpr uint32_t kMbYesNoCancel = 0x3;
inline constexpr uint32_t kMbYesNo = 0x4;
inline constexpr uint32_t kMbRetryCancel = 0x5;
inline constexpr uint32_t kMbButtonsMask = 0xF;
inline constexpr uint32_t kMbIconError = 0x10;
inline constexpr uint32_t kMbIconQuestion = 0x20;
inline constexpr uint32_t kMbIconWarning = 0x30;
inline constexpr uint32_t kMbIconInformation = 0x40;

// Answers, as on the device.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Shows a box for `program` (the log's program field) and returns the answer. Without a presenter
// the box goes to standard error and the system log; without a presenter and without a scripted
// answer it is answered with its default button (the first button of the style: OK, ABORT, YES,
// RETRY).
int MessageBox(std::u16string_view program, std::u16string_view caption, std::u16string_view text,
               uint32_t style);
// The answer of a box that nobody answers.
int DefaultAnswer(uint32_t style);

using MessageBoxPresenter =
    std::function<int(std::u16string_view caption, std::u16string_view text, uint32_t style)>;
// Installs (or, with an empty function, removes) the presenter of this process.
void SetMessageBoxPresenter(MessageBoxPresenter presenter);

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_MESSAGE_BOX_H_
