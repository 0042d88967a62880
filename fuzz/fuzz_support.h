// What every fuzz target shares: a device of its own for the whole fuzzing process (a temporary
// device root with the device's folders and a private namespace folder for kernel objects, made
// at the first call and removed when the process ends), a way to lay the fuzzer's bytes down as
// a file of that device, and a reader that takes the input apart piece by piece.
#ifndef KOLVAR_FUZZ_FUZZ_SUPPORT_H_
#define KOLVAR_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace kolvar::fuzz {

// Sets KOLVAR_DEVICE_ROOT and KOLVAR_RUNTIME_DIR for this process (once).
void SetUpDevice();

// Replaces the file at `device_path` with the bytes (the folders above it must exist).
void WriteDeviceFile(std::u16string_view device_path, std::span<const uint8_t> bytes);

// A fault the target found: prints `what` and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const char* what);
inline void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// Takes the input apart from the front: fixed-size values, then the rest.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  template <typename T>
  T Take() {
    T value{};
    const size_t n = sizeof(T) < size_ ? sizeof(T) : size_;
    if (n != 0) std::memcpy(&value, data_, n);
    data_ += n;
    size_ -= n;
    return value;
  }
  // Up to `n` bytes.
  std::span<const uint8_t> TakeBytes(size_t n) {
    if (n > size_) n = size_;
    std::span<const uint8_t> bytes(data_, n);
    data_ += n;
    size_ -= n;
    return bytes;
  }
  std::span<const uint8_t> Rest() { return TakeBytes(size_); }
  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace kolvar::fuzz

#endif  // KOLVAR_FUZZ_FUZZ_SUPPORT_H_
