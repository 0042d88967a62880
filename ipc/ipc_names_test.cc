// The names that the programs agree on: mailbox object names with two-digit indexes, and channel
// names in their 32-character fields (cut to 31 and a NUL, compared up to the NUL).
#include "ipc/ipc_names.h"

#include <gtest/gtest.h>

#include "ipc/ipc_database.h"

namespace kolvar {
namespace {

TEST(IpcNamesTest, MailboxObjectsCarryTheSlotIndexAsTwoDigits) {
  struct Case {
    MailboxObject object;
    uint32_t index;
    std::u16string name;
  };
  for (const Case& c : {Case{MailboxObject::kIncomingMutex, 0, u"KVCMSICSY00"},
                        Case{MailboxObject::kIncomingEvent, 7, u"KVCMSICEV07"},
                        Case{MailboxObject::kOutgoingMutex, 10, u"KVCMSOGSY10"},
                        Case{MailboxObject::kOutgoingEvent, 23, u"KVCMSOGEV23"}}) {
    EXPECT_EQ(MailboxObjectName(c.object, c.index), c.name);
  }
}

TEST(IpcNamesTest, NameFieldsHoldAtMost31CharactersAndCompareUpToTheNul) {
  char16_t field[kIpcNameFieldChars];
  std::fill(std::begin(field), std::end(field), u'x');
  NameToField(u"IPC_SCAN", field);
  EXPECT_EQ(NameFromField(field), u"IPC_SCAN");
  EXPECT_EQ(field[8], u'\0');
  EXPECT_EQ(field[31], u'\0');
  EXPECT_TRUE(FieldHoldsName(field, u"IPC_SCAN"));
  EXPECT_FALSE(FieldHoldsName(field, u"IPC_SCA"));
  EXPECT_FALSE(FieldHoldsName(field, u"IPC_SCANNER"));

  std::u16string long_name(40, u'L');
  NameToField(long_name, field);
  EXPECT_EQ(NameFromField(field), long_name.substr(0, 31));

  // A field that a writer left without a NUL is read as its 32 characters, never beyond.
  std::fill(std::begin(field), std::end(field), u'F');
  EXPECT_EQ(NameFromField(field).size(), 32u);
  EXPECT_TRUE(FieldHoldsName(field, std::u16string(32, u'F')));
}

}  // namespace
}  // namespace kolvar
