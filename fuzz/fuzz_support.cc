// The fuzz targets' device and input helpers; see fuzz_support.h.
#include "fuzz/fuzz_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/path.h"

namespace kolvar::fuzz {
namespace {

namespace fs = std::filesystem;

std::string g_root;
std::string g_runtime;

// The device lives in memory where the machine has a writable /dev/shm: each input is a file.
fs::path TempBase() {
  if (access("/dev/shm", W_OK) == 0) return "/dev/shm";
  return fs::temp_directory_path();
}

std::string MakeFolder(const char* prefix) {
  std::string pattern = (TempBase() / (std::string(prefix) + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) Fail("cannot make a temporary folder");
  return pattern;
}

void RemoveDevice() {
  std::error_code ec;
  if (!g_root.empty()) fs::remove_all(g_root, ec);
  if (!g_runtime.empty()) fs::remove_all(g_runtime, ec);
}

}  // namespace

void SetUpDevice() {
  if (!g_root.empty()) return;
  g_root = MakeFolder("kolvar-fuzz-device-");
  g_runtime = MakeFolder("kolvar-fuzz-ns-");
  chmod(g_runtime.c_str(), 0700);
  setenv("KOLVAR_DEVICE_ROOT", g_root.c_str(), 1);
  setenv("KOLVAR_RUNTIME_DIR", g_runtime.c_str(), 1);
  for (const char* folder : {"Windows", "Windows/StartUp", "My Documents", "Program Files",
                             "Program Files/Kolvar", "Program Files/Kolvar/Quarantine", "Temp"}) {
    fs::create_directories(fs::path(g_root) / folder);
  }
  atexit(RemoveDevice);
}

void WriteDeviceFile(std::u16string_view device_path, std::span<const uint8_t> bytes) {
  const std::string host = platform::HostPath(device_path);
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) Fail("cannot write the input file");
}

void Fail(const char* what) {
  fprintf(stderr, "fuzz target found a fault: %s\n", what);
  abort();
}

}  // namespace kolvar::fuzz
