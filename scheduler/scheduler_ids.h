// The commands and control ids of the scheduler editor's windows: the task list, the two task
// pages and the schedule pages. Menu commands keep the device's numbers; controls are ours.
#ifndef KOLVAR_SCHEDULER_SCHEDULER_IDS_H_
#define KOLVAR_SCHEDULER_SCHEDULER_IDS_H_

#include <cstdint>

namespace kolvar {

// String 1: the main window's title, also the caption of the editor's boxes.
inline constexpr char16_t kSchedulerTitle[] = u"Kolvar Scheduler";
// The main window's class: a second start finds the running editor by it.
inline constexpr char16_t kSchedulerWindowClass[] = u"SchedulerWindowApp";
// The mutex that keeps the editor to one copy.
inline constexpr char16_t kSchedulerMutex[] = u"_SCHEDULER_APP_EXE_";

namespace scheduler_ids {

// Task list.
inline constexpr uint32_t kCommandEdit = 40019;
inline constexpr uint32_t kCommandClose = 40007;
inline constexpr uint32_t kTaskList = 1001;

// Task pages.
inline constexpr uint32_t kCommandSave = 40017;
inline constexpr uint32_t kCommandCancel = 40023;
inline constexpr uint32_t kActivate = 1010;
inline constexpr uint32_t kDontAsk = 1011;
inline constexpr uint32_t kName = 1012;
inline constexpr uint32_t kTypeList = 1013;
inline constexpr uint32_t kEditSchedule = 1014;
inline constexpr uint32_t kDescription = 1015;
inline constexpr uint32_t kRetry = 1016;
inline constexpr uint32_t kBackground = 1017;

// Schedule pages.
inline constexpr uint32_t kCommandConfirm = 40044;
inline constexpr uint32_t kCommandCancelSchedule = 40047;
inline constexpr uint32_t kStartTime = 1020;
inline constexpr uint32_t kEvery = 1021;
inline constexpr uint32_t kRunOn = 1022;
inline constexpr uint32_t kOnceADay = 1023;
// "Mon" to "Sun".
inline constexpr uint32_t kFirstWeekday = 1030;
inline constexpr uint32_t kDayMode = 1040;
inline constexpr uint32_t kMonthDay = 1041;
inline constexpr uint32_t kWeekdayMode = 1042;
inline constexpr uint32_t kOrdinal = 1043;
inline constexpr uint32_t kWeekday = 1044;
// "Jan" to "Dec".
inline constexpr uint32_t kFirstMonth = 1050;

}  // namespace scheduler_ids
}  // namespace kolvar

#endif  // KOLVAR_SCHEDULER_SCHEDULER_IDS_H_
