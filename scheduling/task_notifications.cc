// Task registrations; see task_notifications.h.
#include "scheduling/task_notifications.h"

#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/notification.h"
#include "platform/path.h"

namespace kolvar {
namespace {

// The command line read as a number: leading digits, anything else reads as 0.
uint32_t ArgumentNumber(std::u16string_view text) {
  uint64_t value = 0;
  bool negative = false;
  size_t i = 0;
  if (i < text.size() && text[i] == u'-') negative = true, ++i;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = (value * 10 + (text[i] - u'0')) & 0xFFFFFFFFull;
  }
  return static_cast<uint32_t>(negative ? (0x100000000ull - value) & 0xFFFFFFFFull : value);
}

std::u16string IdText(uint32_t id) {
  const std::string text = std::to_string(static_cast<int32_t>(id));
  return std::u16string(text.begin(), text.end());
}

bool RegisterEvent(std::u16string_view task_manager, uint32_t id, uint32_t event) {
  platform::NotificationTrigger trigger;
  trigger.type = platform::kTriggerEvent;
  trigger.event = event;
  trigger.application = std::u16string(task_manager);
  trigger.arguments = IdText(id);
  platform::NotificationHandle handle = 0;
  return platform::SetNotification(trigger, &handle);
}

}  // namespace

std::u16string TaskManagerPath(std::u16string_view install_folder) {
  return platform::JoinPath(install_folder, kTaskManagerProgramName);
}

std::u16string InstallFolderOf(std::u16string_view task_database_path) {
  const size_t slash = task_database_path.rfind(u'\\');
  if (slash == std::u16string_view::npos) return u"\\";
  return std::u16string(task_database_path.substr(0, slash == 0 ? 1 : slash));
}

bool ClearTaskNotifications(std::u16string_view task_manager, uint32_t id) {
  std::vector<platform::NotificationHandle> handles;
  if (!platform::ListNotifications(&handles)) return false;
  for (platform::NotificationHandle handle : handles) {
    platform::NotificationTrigger trigger;
    if (!platform::ReadNotification(handle, &trigger)) {
      if (platform::GetLastError() == platform::kErrorFileNotFound) continue;
      return false;
    }
    if (trigger.application != task_manager) continue;
    if (id != kAllTasks && ArgumentNumber(trigger.arguments) != id) continue;
    if (!platform::ClearNotification(handle) &&
        platform::GetLastError() != platform::kErrorFileNotFound) {
      return false;
    }
  }
  return true;
}

bool RegisterTask(std::u16string_view task_manager, const TaskRecord& record, bool clear_first) {
  if (clear_first && !ClearTaskNotifications(task_manager, record.id)) return false;
  switch (record.schedule_type) {
    case kScheduleDaily:
    case kScheduleWeekly:
    case kScheduleMonthly:
    case kScheduleOnce: {
      if (!record.next_run.HasDate()) return true;
      platform::NotificationTrigger trigger;
      trigger.type = platform::kTriggerTime;
      trigger.application = std::u16string(task_manager);
      trigger.arguments = IdText(record.id);
      const TaskTime& next = record.next_run;
      trigger.start = platform::SystemTime{static_cast<uint16_t>(next.year),
                                           static_cast<uint16_t>(next.month),
                                           0,
                                           static_cast<uint16_t>(next.day),
                                           static_cast<uint16_t>(next.hour),
                                           static_cast<uint16_t>(next.minute),
                                           1,
                                           0};
      platform::NotificationHandle handle = 0;
      return platform::SetNotification(trigger, &handle);
    }
    case kScheduleAtStartup:
      return RegisterEvent(task_manager, record.id, platform::kEventWakeup);
    case kScheduleOnConnection:
      return RegisterEvent(task_manager, record.id, platform::kEventNetworkConnection);
    default:
      return true;
  }
}

bool RegisterTaskEvent(std::u16string_view task_manager, uint32_t id, uint32_t event) {
  std::vector<platform::NotificationHandle> handles;
  if (!platform::ListNotifications(&handles)) return false;
  for (platform::NotificationHandle handle : handles) {
    platform::NotificationTrigger trigger;
    if (!platform::ReadNotification(handle, &trigger)) continue;
    if (trigger.type == platform::kTriggerEvent && trigger.event == event &&
        trigger.application == task_manager && ArgumentNumber(trigger.arguments) == id) {
      return true;
    }
  }
  return RegisterEvent(task_manager, id, event);
}

}  // namespace kolvar
