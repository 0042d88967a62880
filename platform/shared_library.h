// A shared object loaded by path at run time: the rules library that an update package brings.
// Only the path given is loaded (no search), and its symbols stay out of the global namespace so
// that they cannot take the place of the program's own.
#ifndef KOLVAR_PLATFORM_SHARED_LIBRARY_H_
#define KOLVAR_PLATFORM_SHARED_LIBRARY_H_

#include <string>
#include <string_view>

namespace kolvar::platform {

class SharedLibrary {
 public:
  SharedLibrary() = default;
  ~SharedLibrary();  // unloads
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Loads the library at a device path. False with the loader's reason in *error (and the last
  // error 2 for a missing file, 193 for one the loader refuses).
  bool Load(std::u16string_view device_path, std::string* error);
  // The address of an exported symbol; null when missing (with the reason in *error).
  void* Symbol(const char* name, std::string* error) const;
  bool IsLoaded() const { return handle_ != nullptr; }
  void Unload();

 private:
  void* handle_ = nullptr;
};

}  // namespace kolvar::platform

#endif  // KOLVAR_PLATFORM_SHARED_LIBRARY_H_
