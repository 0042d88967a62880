// A whole device for one test: a temporary device root with the device's folders, a private
// namespace folder for kernel objects, the suite's programs installed into the image, and a guard
// that ends every process running from the image when the test ends.
#ifndef KOLVAR_TESTS_TESTING_TEST_DEVICE_H_
#define KOLVAR_TESTS_TESTING_TEST_DEVICE_H_

#include <sys/types.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace kolvar::testing {

// Folder of the built programs.
std::string BinDir();

class TestDevice {
 public:
  // Sets KOLVAR_DEVICE_ROOT and KOLVAR_RUNTIME_DIR for this process (and the programs it starts)
  // and creates \Windows, \Windows\StartUp, \My Documents, \Program Files and \Temp.
  TestDevice();
  // Ends every process whose program lies below the root, then removes both folders.
  ~TestDevice();
  TestDevice(const TestDevice&) = delete;
  TestDevice& operator=(const TestDevice&) = delete;

  const std::string& root() const { return root_; }
  const std::string& runtime_dir() const { return runtime_dir_; }
  std::string Host(std::u16string_view device_path) const;

  void WriteFile(std::u16string_view device_path, std::string_view bytes) const;
  std::string ReadFile(std::u16string_view device_path) const;
  bool Exists(std::u16string_view device_path) const;
  void MakeFolder(std::u16string_view device_path) const;

  // Hard-links (or copies) the named programs (and, given, data files) from BinDir() into
  // \Program Files\Kolvar and returns that device folder (without a trailing "\").
  std::u16string InstallPrograms(std::initializer_list<std::string_view> names) const;

  // Pids of live processes whose executable lies below the root.
  std::vector<pid_t> ProcessesOfDevice() const;
  // SIGKILLs them and waits until they are gone.
  void KillDeviceProcesses() const;

 private:
  std::string root_;
  std::string runtime_dir_;
};

}  // namespace kolvar::testing

#endif  // KOLVAR_TESTS_TESTING_TEST_DEVICE_H_
