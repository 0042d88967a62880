// The fixed key materials of the suite's protected data: the configuration file, the update
// information file and the quarantine each have their own 16 bytes, identical in every program,
// since a file written by one program must be readable by all the others. They are assembled at
// run time so that the plain bytes do not stand in the programs' images as one block.
#ifndef KOLVAR_COMMON_KEY_MATERIALS_H_
#define KOLVAR_COMMON_KEY_MATERIALS_H_

#include <array>
#include <cstddef>
#include <cstdint>

namespace kolvar {

inline constexpr size_t kKeyMaterialLength = 16;
using KeyMaterial = std::array<uint8_t, kKeyMaterialLength>;

enum class KeyMaterialUse {
  kConfiguration,      // kvmavcfg.dat
  kUpdateInformation,  // kvmupdi.dat
  kQuarantine,         // the ".avq" files of the repository
};

KeyMaterial GetKeyMaterial(KeyMaterialUse use);

}  // namespace kolvar

#endif  // KOLVAR_COMMON_KEY_MATERIALS_H_
