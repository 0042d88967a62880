// Names of the mailbox objects of a channel slot; see ipc_names.h.
#include "ipc/ipc_names.h"

namespace kolvar {

std::u16string MailboxObjectName(MailboxObject object, uint32_t index) {
  std::u16string name;
  switch (object) {
    case MailboxObject::kIncomingMutex:
      name = u"KVCMSICSY";
      break;
    case MailboxObject::kIncomingEvent:
      name = u"KVCMSICEV";
      break;
    case MailboxObject::kOutgoingMutex:
      name = u"KVCMSOGSY";
      break;
    case MailboxObject::kOutgoingEvent:
      name = u"KVCMSOGEV";
      break;
  }
  // "%02d": at least two digits, more for a larger number.
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + index % 10));
    index /= 10;
  } while (index != 0);
  if (digits.size() < 2) digits.insert(digits.begin(), u'0');
  return name + digits;
}

}  // namespace kolvar
