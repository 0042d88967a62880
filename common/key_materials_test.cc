// The key materials are part of the file formats: a changed byte would leave every existing
// configuration and quarantine file unreadable, so their values are pinned here.
#include "common/key_materials.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace kolvar {
namespace {

std::string Hex(const KeyMaterial& material) {
  std::string out;
  char digits[3];
  for (uint8_t byte : material) {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    out += digits;
  }
  return out;
}

TEST(KeyMaterialsTest, EveryUseHasItsOwnFixedMaterial) {
  EXPECT_EQ(Hex(GetKeyMaterial(KeyMaterialUse::kConfiguration)),
            "66a59e2ad789d4f7658ba5d19120c2e3");
  EXPECT_EQ(Hex(GetKeyMaterial(KeyMaterialUse::kUpdateInformation)),
            "cab3e71b7a699b218fcbf740459dc697");
  EXPECT_EQ(Hex(GetKeyMaterial(KeyMaterialUse::kQuarantine)), "2ef136b0a151c935167a84c5bd9482a7");
}

}  // namespace
}  // namespace kolvar
