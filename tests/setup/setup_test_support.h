// A device image with a package of the built suite beside it, for the tests of the installer: runs
// kvsetup and the installed programs as a person would, and reads back what they left on the
// device (files, registry, running programs, message boxes).
#ifndef KOLVAR_TESTS_SETUP_SETUP_TEST_SUPPORT_H_
#define KOLVAR_TESTS_SETUP_SETUP_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_store.h"
#include "tests/testing/test_device.h"

namespace kolvar::testing {

inline constexpr char16_t kSuiteFolder[] = u"\\Program Files\\Kolvar";

struct ToolRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

class SetupDeviceTest : public ::testing::Test {
 protected:
  SetupDeviceTest();
  ~SetupDeviceTest() override;

  // Runs a host program with arguments in this device (its environment plus `environment`,
  // "NAME=VALUE" entries), waiting for it to end.
  ToolRun Run(const std::string& program, const std::vector<std::string>& arguments,
              const std::vector<std::string>& environment = {});
  ToolRun Kvsetup(const std::vector<std::string>& arguments,
                  const std::vector<std::string>& environment = {});
  // kvsetup install from the package into the suite's folder; fails the test unless it succeeds.
  void Install();
  // An installed program of the suite (host path).
  std::string Installed(std::string_view name) const;

  // Live processes of the device whose program file is `folder`\`name`.
  std::vector<pid_t> Pids(std::u16string_view folder, std::string_view name) const;
  std::vector<pid_t> SuitePids(std::string_view name) const { return Pids(kSuiteFolder, name); }
  // Waits (generously) until `condition` holds.
  static bool WaitFor(const std::function<bool()>& condition,
                      std::chrono::seconds deadline = std::chrono::seconds(120));

  // Every file and folder of the device image with its contents, but the device's own databases
  // (registry and notifications), which exist on every device and are compared by their entries.
  std::map<std::string, std::string> Listing() const;
  // The message boxes shown so far, one JSON line each.
  std::vector<std::string> MessageBoxes() const;
  // The boxes whose text contains `text`.
  std::vector<std::string> BoxesWith(std::string_view text) const;

  static bool KeyExists(platform::RegistryRoot root, std::u16string_view path);
  static bool ValueExists(platform::RegistryRoot root, std::u16string_view path,
                          std::u16string_view name);

  TestDevice device_;
  std::string package_;  // host folder of the package
  std::string work_;     // host folder outside the device: the box log, outputs

 private:
  std::string box_log_;
};

}  // namespace kolvar::testing

#endif  // KOLVAR_TESTS_SETUP_SETUP_TEST_SUPPORT_H_
