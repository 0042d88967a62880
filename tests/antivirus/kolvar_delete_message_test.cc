// A file that cannot be deleted is reported with the error's meaning, not a bare number.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <string>

#include "tests/antivirus/front_end_test_support.h"

namespace kolvar {
namespace {

class KolvarDeleteMessageTest : public FrontEndTest {};

// A folder made read-only by a read-only bind mount on itself: as root, permissions do not stop a
// delete, but a read-only file system does.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const std::string& folder) : folder_(folder) {
    mounted_ = mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0;
    if (mounted_ &&
        mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
      umount2(folder.c_str(), MNT_DETACH);
      mounted_ = false;
    }
  }
  ~ReadOnlyFolder() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }
  bool usable() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

TEST_F(KolvarDeleteMessageTest, DeleteFailureCarriesTheErrorsMeaning) {
  device_.WriteFile(u"\\My Documents\\Locked\\eicar.com", SignatureBytes(kEicarId));
  ReadOnlyFolder locked(device_.Host(u"\\My Documents\\Locked"));
  if (!locked.usable()) GTEST_SKIP() << "a read-only bind mount needs the right to mount";

  const RunResult result = Kolvar({"scan", "\\My Documents\\Locked", "--action=delete"});
  EXPECT_EQ(result.exit_status, 1) << result.err;
  EXPECT_TRUE(device_.Exists(u"\\My Documents\\Locked\\eicar.com"));
  EXPECT_TRUE(
      HasBox("The file '\\\\My Documents\\\\Locked\\\\eicar.com' could not be "
             "deleted.(error 19: read-only file system)"))
      << ::testing::PrintToString(Boxes());
}

}  // namespace
}  // namespace kolvar
