// The key materials are stored masked and unmasked on demand. Changing any byte here makes every
// existing configuration, update-information and quarantine file unreadable.
#include "common/key_materials.h"

namespace kolvar {
namespace {

constexpr KeyMaterial kMaskedConfiguration = {0xC1, 0x61, 0x7F, 0xD4, 0xCC, 0xB1, 0x81, 0x85,
                                              0xEA, 0x27, 0x6C, 0x37, 0x92, 0x00, 0xFF, 0xB9};
constexpr KeyMaterial kMaskedUpdateInformation = {0x24, 0xB8, 0xCF, 0x5E, 0x18, 0x16, 0x07, 0x98,
                                                  0x59, 0x38, 0xE7, 0x6D, 0x0F, 0xFA, 0x42, 0x36};
constexpr KeyMaterial kMaskedQuarantine = {0x1B, 0xA3, 0x59, 0x3C, 0x08, 0x97, 0x2A, 0x35,
                                           0x0B, 0x40, 0xD3, 0xB1, 0x2C, 0x3A, 0x49, 0x4F};

// Read at run time, so that the compiler cannot fold the plain bytes into the image.
const volatile uint8_t kMaskSeed = 0xA7;

// Mask byte k of use u: 0xA7 + 29k + 71u (mod 256).
uint8_t MaskByte(size_t k, unsigned use) {
  return static_cast<uint8_t>(kMaskSeed + 29 * k + 71 * use);
}

}  // namespace

KeyMaterial GetKeyMaterial(KeyMaterialUse use) {
  const KeyMaterial* masked = &kMaskedConfiguration;
  unsigned index = 0;
  switch (use) {
    case KeyMaterialUse::kConfiguration:
      masked = &kMaskedConfiguration;
      index = 0;
      break;
    case KeyMaterialUse::kUpdateInformation:
      masked = &kMaskedUpdateInformation;
      index = 1;
      break;
    case KeyMaterialUse::kQuarantine:
      masked = &kMaskedQuarantine;
      index = 2;
      break;
  }
  KeyMaterial material;
  for (size_t k = 0; k < kKeyMaterialLength; ++k) material[k] = (*masked)[k] ^ MaskByte(k, index);
  return material;
}

}  // namespace kolvar
