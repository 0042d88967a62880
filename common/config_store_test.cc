// ConfigStore in one process: the file image byte for byte, ordering, the status codes of every
// operation, merging on load, damaged files, and saves that never leave a partial file.
#include "common/config_store.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/cipher_context.h"
#include "common/key_materials.h"
#include "platform/file.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

constexpr char16_t kPath[] = u"\\Windows\\store.dat";

std::string U32(uint32_t value) {
  char bytes[4];
  std::memcpy(bytes, &value, 4);
  return std::string(bytes, 4);
}

std::string Name(const char* name) {
  std::string field(32, '\0');
  std::memcpy(field.data(), name, std::strlen(name));
  return field;
}

std::string Utf16(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

// Every section and key with type and value, in store order.
std::string Dump(ConfigStore* store) {
  std::string out;
  if (!store->FirstSection()) return out;
  do {
    const std::string section = store->CurrentSectionName();
    out += "[" + section + "]\n";
    EXPECT_TRUE(store->SelectSection(section.c_str()));
    if (!store->FirstKey()) continue;
    do {
      uint32_t type = 0, size = 0;
      EXPECT_TRUE(store->GetValueInfo(store->CurrentKeyName(), &type, &size));
      std::string value(size, '\0');
      EXPECT_TRUE(store->GetValue(store->CurrentKeyName(), &size, value.data()));
      out += std::string(store->CurrentKeyName()) + " " + std::to_string(type) + " ";
      char digits[3];
      for (unsigned char byte : value) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        out += digits;
      }
      out += "\n";
    } while (store->NextKey());
  } while (store->NextSection());
  return out;
}

class ConfigStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const KeyMaterial material = GetKeyMaterial(KeyMaterialUse::kConfiguration);
    ASSERT_TRUE(cipher_.SetKeyMaterial(material.data(), material.size()));
    ASSERT_TRUE(cipher_.DeriveKey());
  }

  // Sections and keys added out of order, with an empty value and a name that prefixes another.
  void Fill(ConfigStore* store) {
    const uint32_t one = 1;
    const std::u16string file = u"kvmupdi.dat";
    ASSERT_TRUE(store->AddSection("UPDATES"));
    ASSERT_TRUE(store->AddValue("UpdateUrlFile", 1, (file.size() + 1) * 2, file.c_str()));
    ASSERT_TRUE(store->AddValue("UpdateUrl", 1, 0, nullptr));
    ASSERT_TRUE(store->AddSection("CONFIG"));
    ASSERT_TRUE(store->AddValue("SplashScreen", 2, 4, &one));
    ASSERT_TRUE(store->AddSection("BASIC"));
    ASSERT_TRUE(store->AddValue("Version", 1, 8, u"3.0"));
  }

  testing::TestDevice device_;
  CipherContext cipher_{kEnhancedProvider, kProviderTypeRsaFull};
};

TEST_F(ConfigStoreTest, PlainFileIsTheExactImage) {
  ConfigStore store(ConfigStore::kConfigurationName);
  ASSERT_EQ(store.GetStatus(), kStatusOk);
  Fill(&store);
  ASSERT_TRUE(store.Save(kPath)) << store.GetStatus();

  const std::string expected =
      std::string("\x22\x11\xBB\xAA\xDD\xCC\x44\x33", 8) + U32(0) + U32(3) +  //
      Name("BASIC") + U32(1) +                                                //
      Name("Version") + U32(1) + U32(8) + Utf16(std::u16string(u"3.0\0", 4)) + Name("CONFIG") +
      U32(1) +                                           //
      Name("SplashScreen") + U32(2) + U32(4) + U32(1) +  //
      Name("UPDATES") + U32(2) +                         //
      Name("UpdateUrl") + U32(1) + U32(0) +              //
      Name("UpdateUrlFile") + U32(1) + U32(24) + Utf16(std::u16string(u"kvmupdi.dat\0", 12));
  EXPECT_TRUE(device_.ReadFile(kPath) == expected);
  EXPECT_EQ(store.SerializedSize(), expected.size() - 16);
  EXPECT_FALSE(device_.Exists(u"\\Windows\\store.dat.new"));
}

TEST_F(ConfigStoreTest, EncryptedFileLoadsBackEqual) {
  ConfigStore store(ConfigStore::kConfigurationName);
  Fill(&store);
  ASSERT_TRUE(store.AttachCipher(&cipher_));
  ASSERT_TRUE(store.Save(kPath));

  const std::string image = device_.ReadFile(kPath);
  EXPECT_EQ(image.substr(8, 8), U32(1) + U32(3)) << "the header stays plain";
  EXPECT_EQ(image.size(), 16 + (store.SerializedSize() / 8 + 1) * 8);

  ConfigStore reader(ConfigStore::kConfigurationName);
  ASSERT_TRUE(reader.AttachCipher(&cipher_));
  ASSERT_TRUE(reader.Load(kPath, false)) << reader.GetStatus();
  EXPECT_EQ(Dump(&reader), Dump(&store));
  EXPECT_EQ(reader.SerializedSize(), store.SerializedSize());

  ConfigStore no_cipher(ConfigStore::kConfigurationName);
  EXPECT_FALSE(no_cipher.Load(kPath, false));
  EXPECT_EQ(no_cipher.GetStatus(), kStatusEncryptedWithoutCipher);

  std::string damaged = image;
  damaged.back() ^= 0x40;
  device_.WriteFile(kPath, damaged);
  ConfigStore damaged_reader(ConfigStore::kConfigurationName);
  ASSERT_TRUE(damaged_reader.AttachCipher(&cipher_));
  EXPECT_FALSE(damaged_reader.Load(kPath, false));
  EXPECT_EQ(damaged_reader.GetStatus(), kStatusDecryptionFailed);
}

TEST_F(ConfigStoreTest, NamesAreRawBytesOfAtMost31Characters) {
  ConfigStore store(ConfigStore::kConfigurationName);
  ASSERT_TRUE(store.AddSection("Config"));
  ASSERT_TRUE(store.AddSection("CONFIG"));
  EXPECT_FALSE(store.AddSection("CONFIG"));
  EXPECT_EQ(store.GetStatus(), kStatusSectionExists);
  EXPECT_EQ(store.SectionCount(), 2u);

  const std::string name31(31, 'k'), name32(32, 'k');
  EXPECT_TRUE(store.AddSection(name31.c_str()));
  EXPECT_FALSE(store.AddSection(name32.c_str()));
  EXPECT_EQ(store.GetStatus(), kStatusBadArgument);
  EXPECT_TRUE(store.AddValue(name31.c_str(), 2, 0, nullptr));
  EXPECT_FALSE(store.AddValue(name32.c_str(), 2, 0, nullptr));
  EXPECT_EQ(store.GetStatus(), kStatusBadArgument);
  for (const char* bad : {static_cast<const char*>(nullptr), ""}) {
    EXPECT_FALSE(store.AddSection(bad));
    EXPECT_EQ(store.GetStatus(), kStatusBadArgument);
    EXPECT_FALSE(store.SelectSection(bad));
    EXPECT_EQ(store.GetStatus(), kStatusBadArgument);
  }
  EXPECT_FALSE(store.AddValue("Data", 3, 4, nullptr));
  EXPECT_EQ(store.GetStatus(), kStatusBadArgument);

  ASSERT_TRUE(store.FirstSection());
  EXPECT_STREQ(store.CurrentSectionName(), "CONFIG");
  ASSERT_TRUE(store.NextSection());
  EXPECT_STREQ(store.CurrentSectionName(), "Config");
  ASSERT_TRUE(store.NextSection());
  EXPECT_EQ(store.CurrentSectionName(), name31);
  EXPECT_FALSE(store.NextSection());
  EXPECT_EQ(store.GetStatus(), kStatusNoMoreSections);
}

TEST_F(ConfigStoreTest, ValuesKeepTheirSizeTypeAndFirstWriter) {
  ConfigStore store(ConfigStore::kConfigurationName);
  ASSERT_TRUE(store.AddSection("BASIC"));
  const std::string text(100, 'x');
  ASSERT_TRUE(store.AddValue("Long", 1, 100, text.data()));
  EXPECT_EQ(store.SerializedSize(), 36u + 40 + 100);

  char small[4];
  uint32_t size = sizeof small;
  ASSERT_TRUE(store.GetValue("Long", &size, small));
  EXPECT_EQ(size, 100u);
  EXPECT_EQ(std::string(small, 4), "xxxx");

  EXPECT_FALSE(store.AddValue("Long", 1, 3, "abc"));
  EXPECT_EQ(store.GetStatus(), kStatusKeyExists);
  EXPECT_FALSE(store.SetValue("Missing", 2, 4, "abcd"));
  EXPECT_EQ(store.GetStatus(), kStatusKeyNotFound);
  EXPECT_EQ(store.KeyCount(), 1);

  ASSERT_TRUE(store.SetValue("Long", 2, 4, "\x05\0\0\0"));
  uint32_t type = 0;
  ASSERT_TRUE(store.GetValueInfo("Long", &type, &size));
  EXPECT_EQ(type, 2u);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(store.SerializedSize(), 36u + 40 + 4);

  // An empty value leaves the caller's buffer as it was.
  ASSERT_TRUE(store.AddValue("Empty", 1, 0, nullptr));
  char untouched[4] = {'a', 'b', 'c', 'd'};
  size = sizeof untouched;
  ASSERT_TRUE(store.GetValue("Empty", &size, untouched));
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(std::string(untouched, 4), "abcd");

  ASSERT_TRUE(store.DeleteValue("Long"));
  EXPECT_EQ(store.SerializedSize(), 36u + 40);
  EXPECT_FALSE(store.DeleteValue("Long"));
  EXPECT_EQ(store.GetStatus(), kStatusKeyNotFound);
}

TEST_F(ConfigStoreTest, SectionArgumentLeavesTheCurrentSection) {
  ConfigStore store(ConfigStore::kConfigurationName);
  ASSERT_TRUE(store.AddSection("BASIC"));
  ASSERT_TRUE(store.AddValue("Version", 1, 2, "3"));
  ASSERT_TRUE(store.AddSection("CONFIG"));
  uint32_t size = 0;
  ASSERT_TRUE(store.GetValue("Version", &size, nullptr, "BASIC"));
  EXPECT_EQ(size, 2u);
  EXPECT_FALSE(store.GetValue("Version", &size, nullptr, "NOPE"));
  EXPECT_EQ(store.GetStatus(), kStatusSectionNotFound);
  EXPECT_FALSE(store.GetValue("Version", &size, nullptr));
  EXPECT_EQ(store.GetStatus(), kStatusSectionHasNoKeys);
  ASSERT_TRUE(store.AddValue("AutoStartup", 2, 4, "\0\0\0\0"));
  ASSERT_TRUE(store.SelectSection("CONFIG"));
  EXPECT_EQ(store.KeyCount(), 1);
  ASSERT_TRUE(store.SetValue("Version", 1, 4, "4\0\0", "BASIC"));
  EXPECT_EQ(store.KeyCount(), 1);
  EXPECT_TRUE(store.HasSection("BASIC"));
  EXPECT_FALSE(store.HasSection("basic"));
}

TEST_F(ConfigStoreTest, EmptyStoreAndEnumerationGiveTheirCodes) {
  ConfigStore store(ConfigStore::kConfigurationName);
  uint32_t size = 0;
  EXPECT_FALSE(store.AddValue("Key", 2, 0, nullptr));
  EXPECT_EQ(store.GetStatus(), kStatusNoSectionsForKeys);
  EXPECT_FALSE(store.GetValue("Key", &size, nullptr));
  EXPECT_EQ(store.GetStatus(), kStatusNoSectionsForKeys);
  EXPECT_FALSE(store.FirstSection());
  EXPECT_EQ(store.GetStatus(), kStatusStoreHasNoSections);
  EXPECT_FALSE(store.SelectSection("BASIC"));
  EXPECT_EQ(store.GetStatus(), kStatusStoreHasNoSections);
  EXPECT_FALSE(store.FirstKey());
  EXPECT_EQ(store.GetStatus(), kStatusNoSectionsForKeys);
  EXPECT_FALSE(store.Save(kPath));
  EXPECT_EQ(store.GetStatus(), kStatusNoSectionsForKeys);
  EXPECT_FALSE(store.Clear());
  EXPECT_EQ(store.GetStatus(), kStatusStoreHasNoSections);
  EXPECT_EQ(store.KeyCount(), -1);
  EXPECT_EQ(store.GetStatus(), kStatusStoreHasNoSections);

  ASSERT_TRUE(store.AddSection("A"));
  EXPECT_FALSE(store.SelectSection("B"));
  EXPECT_EQ(store.GetStatus(), kStatusSectionNotFound);
  EXPECT_FALSE(store.FirstKey());
  EXPECT_EQ(store.GetStatus(), kStatusSectionHasNoKeys);
  ASSERT_TRUE(store.AddValue("k1", 2, 0, nullptr));
  ASSERT_TRUE(store.AddValue("k0", 2, 0, nullptr));
  ASSERT_TRUE(store.FirstKey());
  EXPECT_STREQ(store.CurrentKeyName(), "k0");
  ASSERT_TRUE(store.NextKey());
  EXPECT_STREQ(store.CurrentKeyName(), "k1");
  EXPECT_FALSE(store.NextKey());
  EXPECT_EQ(store.GetStatus(), kStatusNoMoreKeys);
  EXPECT_FALSE(store.Save(u""));
  EXPECT_EQ(store.GetStatus(), kStatusBadArgument);

  ASSERT_TRUE(store.Clear());
  EXPECT_EQ(store.SectionCount(), 0u);
  EXPECT_EQ(store.SerializedSize(), 0u);
}

TEST_F(ConfigStoreTest, LoadKeepsSectionsHeldInMemory) {
  {
    ConfigStore writer(ConfigStore::kConfigurationName);
    Fill(&writer);
    ASSERT_TRUE(writer.Save(kPath));
  }
  ConfigStore store(ConfigStore::kConfigurationName);
  const uint32_t zero = 0;
  ASSERT_TRUE(store.AddSection("CONFIG"));
  ASSERT_TRUE(store.AddValue("SplashScreen", 2, 4, &zero));
  ASSERT_TRUE(store.Load(kPath, false)) << store.GetStatus();
  EXPECT_EQ(store.SectionCount(), 3u);
  uint32_t value = 7, size = 4;
  ASSERT_TRUE(store.GetValue("SplashScreen", &size, &value, "CONFIG"));
  EXPECT_EQ(value, 0u) << "memory wins over the file";
  ASSERT_TRUE(store.GetValue("UpdateUrlFile", &size, nullptr, "UPDATES"));

  ASSERT_TRUE(store.Load(kPath, true));
  size = 4;
  ASSERT_TRUE(store.GetValue("SplashScreen", &size, &value, "CONFIG"));
  EXPECT_EQ(value, 1u) << "a clearing load takes the file's values";
}

TEST_F(ConfigStoreTest, UnreadableFilesGiveTheirCodesAndLeaveTheStore) {
  ConfigStore store(ConfigStore::kConfigurationName);
  ASSERT_TRUE(store.AddSection("KEEP"));
  struct Case {
    const char* what;
    std::string bytes;
    Status status;
  };
  const std::string good_header = std::string("\x22\x11\xBB\xAA\xDD\xCC\x44\x33", 8);
  const Case cases[] = {
      {"empty", "", kStatusFileTooShort},
      {"short header", good_header + U32(0), kStatusFileTooShort},
      {"first magic", "\x23" + good_header.substr(1) + U32(0) + U32(0), kStatusBadMagic},
      {"second magic", good_header.substr(0, 7) + "\x34" + U32(0) + U32(0), kStatusBadMagic},
      {"encrypted", good_header + U32(1) + U32(0), kStatusEncryptedWithoutCipher},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    device_.WriteFile(kPath, c.bytes);
    EXPECT_FALSE(store.Load(kPath, true));
    EXPECT_EQ(store.GetStatus(), c.status);
    EXPECT_TRUE(store.HasSection("KEEP"));
  }
  EXPECT_FALSE(store.Load(u"\\Windows\\missing.dat", true));
  EXPECT_EQ(store.GetStatus(), kStatusFileOpenFailed);
  EXPECT_FALSE(store.Load(u"\\Windows", true));
  EXPECT_EQ(store.GetStatus(), kStatusBadPath);
  EXPECT_FALSE(store.Load(u"", true));
  EXPECT_EQ(store.GetStatus(), kStatusBadArgument);
  EXPECT_TRUE(store.HasSection("KEEP"));
}

// A body that ends before its counts are met keeps what was read in full and fails with 88.
TEST_F(ConfigStoreTest, LoadStopsAtShortBody) {
  const std::string header = std::string("\x22\x11\xBB\xAA\xDD\xCC\x44\x33", 8) + U32(0);
  const std::string keys = Name("k1") + U32(2) + U32(4) + U32(11) +  //
                           Name("k2") + U32(2) + U32(4) + U32(12);
  const std::string first = Name("A") + U32(2) + keys;
  const char* const kFirstKept = "[A]\nk1 2 0b000000\nk2 2 0c000000\n";
  struct Case {
    const char* what;
    std::string bytes;
    std::string kept;
  };
  const Case cases[] = {
      {"missing second section", header + U32(2) + first, kFirstKept},
      {"missing key", header + U32(1) + Name("A") + U32(3) + keys, kFirstKept},
      {"value past the end",
       header + U32(2) + first + Name("B") + U32(1) + Name("v") + U32(1) + U32(100) + "short",
       std::string(kFirstKept) + "[B]\n"},
      {"huge counts", header + U32(0xFFFFFFFF) + Name("A") + U32(0xFFFFFFFF), "[A]\n"},
      {"half a section header", header + U32(1) + Name("A").substr(0, 20), ""},
      {"name without its NUL", header + U32(1) + std::string(32, 'N') + U32(0), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    device_.WriteFile(kPath, c.bytes);
    ConfigStore store(ConfigStore::kConfigurationName);
    EXPECT_FALSE(store.Load(kPath, false));
    EXPECT_EQ(store.GetStatus(), kStatusFileTooShort);
    EXPECT_EQ(Dump(&store), c.kept);
  }
}

TEST_F(ConfigStoreTest, FailedSaveKeepsTheOldFileAndAStaleTwinIsReplaced) {
  ConfigStore store(ConfigStore::kConfigurationName);
  Fill(&store);
  ASSERT_TRUE(store.Save(kPath));
  const std::string first = device_.ReadFile(kPath);

  EXPECT_FALSE(store.Save(u"\\Missing\\store.dat"));
  EXPECT_EQ(store.GetStatus(), kStatusFileOpenFailed);

  // A twin left by a save that was cut short does not disturb the next one.
  device_.WriteFile(u"\\Windows\\store.dat.new", "leftover of a killed save");
  ASSERT_TRUE(store.AddValue("Extra", 2, 4, "\1\0\0\0"));
  ASSERT_TRUE(store.Save(kPath)) << store.GetStatus();
  EXPECT_NE(device_.ReadFile(kPath), first);
  EXPECT_FALSE(device_.Exists(u"\\Windows\\store.dat.new"));
  ConfigStore reader(ConfigStore::kConfigurationName);
  ASSERT_TRUE(reader.Load(kPath, false));
  EXPECT_EQ(Dump(&reader), Dump(&store));
}

TEST_F(ConfigStoreTest, OwnSavesAreNotChangesElsewhere) {
  ConfigStore store(ConfigStore::kConfigurationName);
  ConfigStore same_process(ConfigStore::kConfigurationName);
  Fill(&store);
  EXPECT_FALSE(store.IsModifiedElsewhere());
  ASSERT_TRUE(store.Save(kPath));
  EXPECT_FALSE(store.IsModifiedElsewhere());
  EXPECT_FALSE(same_process.IsModifiedElsewhere());
}

}  // namespace
}  // namespace kolvar
