// FileCryptor on real files of a device image: the protected format byte for byte, round trips
// across the chunk boundaries, the refusals, and the failures that must leave nothing behind.
#include "common/file_cryptor.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <string>

#include "common/cipher_context.h"
#include "common/key_materials.h"
#include "platform/crypto.h"
#include "platform/file.h"
#include "tests/testing/file_size_limit.h"
#include "tests/testing/test_device.h"

namespace kolvar {
namespace {

constexpr char16_t kSource[] = u"\\My Documents\\report.doc";
constexpr char16_t kProtected[] = u"\\My Documents\\report.doc.avq";

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  return bytes;
}

using kolvar::testing::FileSizeLimit;

uint32_t ReadU32(const std::string& bytes, size_t offset) {
  uint32_t value;
  std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

class FileCryptorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetUpCipher(&cipher_, kSelectorTripleDes168, KeyMaterialUse::kQuarantine);
    ASSERT_TRUE(cryptor_.SetCipher(&cipher_));
    ASSERT_TRUE(cryptor_.SetExtension(u"avq"));
  }

  static void SetUpCipher(CipherContext* cipher, uint32_t selector, KeyMaterialUse use) {
    const KeyMaterial material = GetKeyMaterial(use);
    ASSERT_TRUE(cipher->SetCipher(selector));
    ASSERT_TRUE(cipher->SetKeyMaterial(material.data(), material.size()));
    ASSERT_TRUE(cipher->DeriveKey());
  }

  // The whole source encrypted in one final call: what the chunks, chained, must add up to.
  std::string EncryptWhole(const std::string& plain, uint32_t selector) {
    CipherContext oracle(kEnhancedProvider, kProviderTypeRsaFull);
    SetUpCipher(&oracle, selector, KeyMaterialUse::kQuarantine);
    std::string buffer = plain;
    buffer.resize(plain.size() + 8);
    uint32_t length = static_cast<uint32_t>(plain.size());
    EXPECT_TRUE(oracle.Encrypt(buffer.data(), &length, static_cast<uint32_t>(buffer.size()), true));
    buffer.resize(length);
    return buffer;
  }

  testing::TestDevice device_;
  CipherContext cipher_{kEnhancedProvider, kProviderTypeRsaFull};
  FileCryptor cryptor_;
};

class FileCryptorRoundTripTest : public FileCryptorTest,
                                 public ::testing::WithParamInterface<size_t> {};

TEST_P(FileCryptorRoundTripTest, ProtectWritesTheFormatAndUnprotectRestoresEveryByte) {
  const size_t size = GetParam();
  const std::string plain = Pattern(size);
  device_.WriteFile(kSource, plain);

  ASSERT_TRUE(cryptor_.SetSource(kSource));
  ASSERT_TRUE(cryptor_.Protect()) << cryptor_.GetStatus();
  EXPECT_EQ(cryptor_.LastDestination(), kProtected);
  EXPECT_EQ(device_.ReadFile(kSource), plain) << "the source is left to the caller";

  const std::string image = device_.ReadFile(kProtected);
  ASSERT_EQ(image.size(), 36 + (size / 8 + 1) * 8);
  EXPECT_EQ(image.substr(0, 4), std::string("\x41\x46\x45\xFF", 4));
  EXPECT_EQ(ReadU32(image, 4), 1u);
  EXPECT_EQ(ReadU32(image, 8), 2u);
  EXPECT_EQ(ReadU32(image, 12), kSelectorTripleDes168);
  EXPECT_EQ(ReadU32(image, 16), 16u);
  const KeyMaterial material = GetKeyMaterial(KeyMaterialUse::kQuarantine);
  uint8_t digest[16];
  ASSERT_TRUE(platform::Md5(material.data(), material.size(), digest));
  EXPECT_EQ(image.substr(20, 16), std::string(reinterpret_cast<char*>(digest), 16));
  EXPECT_TRUE(image.substr(36) == EncryptWhole(plain, kSelectorTripleDes168))
      << "chunks must chain like one call";

  // Back again, from the protected copy alone.
  platform::DeleteFile(kSource);
  ASSERT_TRUE(cryptor_.SetSource(kProtected));
  ASSERT_TRUE(cryptor_.Unprotect()) << cryptor_.GetStatus();
  EXPECT_EQ(cryptor_.LastDestination(), kSource);
  EXPECT_TRUE(device_.ReadFile(kSource) == plain);
  EXPECT_EQ(device_.ReadFile(kProtected), image);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FileCryptorRoundTripTest,
                         ::testing::Values(0, 1, 7, 8, 32767, 32768, 32769, 3 * 32768));

TEST_F(FileCryptorTest, StreamCipherRoundTripsOnChunkBoundaries) {
  ASSERT_TRUE(cipher_.SetCipher(kSelectorRc4));
  for (size_t size : {size_t{0}, size_t{32768}, size_t{2 * 32768 + 5}}) {
    SCOPED_TRACE(size);
    const std::string plain = Pattern(size);
    device_.WriteFile(kSource, plain);
    ASSERT_TRUE(cryptor_.SetSource(kSource));
    ASSERT_TRUE(cryptor_.Protect()) << cryptor_.GetStatus();
    EXPECT_EQ(device_.ReadFile(kProtected).size(), 36 + size);
    platform::DeleteFile(kSource);
    ASSERT_TRUE(cryptor_.SetSource(kProtected));
    ASSERT_TRUE(cryptor_.Unprotect()) << cryptor_.GetStatus();
    EXPECT_TRUE(device_.ReadFile(kSource) == plain);
    platform::DeleteFile(kProtected);
  }
}

TEST_F(FileCryptorTest, ExtensionIsNormalisedAndBounded) {
  FileCryptor other;
  ASSERT_TRUE(other.SetExtension(u".avq"));
  EXPECT_EQ(other.Extension(), u".avq");
  EXPECT_EQ(cryptor_.Extension(), u".avq");
  EXPECT_FALSE(other.SetExtension(u""));
  EXPECT_EQ(other.GetStatus(), kStatusBadArgument);
  EXPECT_FALSE(other.SetExtension(std::u16string(31, u'x')));  // 32 with its "."
  EXPECT_EQ(other.GetStatus(), kStatusBadArgument);
  EXPECT_TRUE(other.SetExtension(u"." + std::u16string(30, u'x')));
}

TEST_F(FileCryptorTest, SourceMustExistAndHoldNoWildcard) {
  EXPECT_FALSE(cryptor_.SetSource(u"\\My Documents\\missing.doc"));
  EXPECT_EQ(cryptor_.GetStatus(), kStatusBadPath);
  device_.WriteFile(u"\\My Documents\\a.doc", "a");
  EXPECT_FALSE(cryptor_.SetSource(u"\\My Documents\\*.doc"));
  EXPECT_EQ(cryptor_.GetStatus(), kStatusBadPath);
  FileCryptor unset;
  ASSERT_TRUE(unset.SetCipher(&cipher_));
  ASSERT_TRUE(unset.SetExtension(u"avq"));
  EXPECT_FALSE(unset.Protect());
  EXPECT_EQ(unset.GetStatus(), kStatusNoSource);
}

// Each refused source: nothing written, the source as it was, the reason as the status.
TEST_F(FileCryptorTest, RefusedSourcesAreLeftAloneAndNamed) {
  device_.WriteFile(u"\\My Documents\\x.avq", "already");
  ASSERT_TRUE(cryptor_.SetSource(u"\\My Documents\\x.avq"));
  EXPECT_FALSE(cryptor_.Protect());
  EXPECT_EQ(cryptor_.GetStatus(), kStatusAlreadyProtected);
  EXPECT_FALSE(device_.Exists(u"\\My Documents\\x.avq.avq"));

  device_.WriteFile(kSource, "plain");
  ASSERT_TRUE(cryptor_.SetSource(kSource));
  EXPECT_FALSE(cryptor_.Unprotect());
  EXPECT_EQ(cryptor_.GetStatus(), kStatusNotProtectedFile);
  device_.WriteFile(u"\\My Documents\\x.AVQ", "case matters");
  ASSERT_TRUE(cryptor_.SetSource(u"\\My Documents\\x.AVQ"));
  EXPECT_FALSE(cryptor_.Unprotect());
  EXPECT_EQ(cryptor_.GetStatus(), kStatusNotProtectedFile);

  device_.WriteFile(kProtected, "someone else's file");
  ASSERT_TRUE(cryptor_.SetSource(kSource));
  EXPECT_FALSE(cryptor_.Protect());
  EXPECT_EQ(cryptor_.GetStatus(), kStatusDestinationExists);
  EXPECT_EQ(device_.ReadFile(kProtected), "someone else's file");
  platform::DeleteFile(kProtected);

  ASSERT_TRUE(platform::SetFileAttributes(kSource, platform::kAttributeReadOnly));
  EXPECT_FALSE(cryptor_.Protect());
  EXPECT_EQ(cryptor_.GetStatus(), kStatusSourceAttributesRefused);
  EXPECT_FALSE(device_.Exists(kProtected));
  EXPECT_EQ(device_.ReadFile(kSource), "plain");
  uint32_t attributes = 0;
  ASSERT_TRUE(platform::GetFileAttributes(kSource, &attributes));
  EXPECT_TRUE(attributes & platform::kAttributeReadOnly);

  device_.WriteFile(u"\\My Documents\\.hidden", "h");
  ASSERT_TRUE(cryptor_.SetSource(u"\\My Documents\\.hidden"));
  EXPECT_FALSE(cryptor_.Protect());
  EXPECT_EQ(cryptor_.GetStatus(), kStatusSourceAttributesRefused);

  // Nothing is left once the extension is taken away.
  device_.WriteFile(u"\\My Documents\\.avq", "x");
  ASSERT_TRUE(cryptor_.SetSource(u"\\My Documents\\.avq"));
  EXPECT_FALSE(cryptor_.Unprotect());
  EXPECT_EQ(cryptor_.GetStatus(), kStatusBadPath);
}

TEST_F(FileCryptorTest, UnprotectCutsOnlyTheTrailingExtension) {
  device_.MakeFolder(u"\\My Documents\\old.avq.d");
  const std::u16string source = u"\\My Documents\\old.avq.d\\a.avq.txt";
  device_.WriteFile(source, "inner");
  ASSERT_TRUE(cryptor_.SetSource(source));
  ASSERT_TRUE(cryptor_.Protect());
  platform::DeleteFile(source);
  ASSERT_TRUE(cryptor_.SetSource(source + u".avq"));
  ASSERT_TRUE(cryptor_.Unprotect());
  EXPECT_EQ(device_.ReadFile(source), "inner");
}

TEST_F(FileCryptorTest, MissingOrUnusableCipherFailsWith73) {
  device_.WriteFile(kSource, "plain");
  FileCryptor bare;
  ASSERT_TRUE(bare.SetExtension(u"avq"));
  ASSERT_TRUE(bare.SetSource(kSource));
  EXPECT_FALSE(bare.Protect());
  EXPECT_EQ(bare.GetStatus(), kStatusNoCipher);

  CipherContext no_material(kEnhancedProvider, kProviderTypeRsaFull);
  ASSERT_TRUE(bare.SetCipher(&no_material));
  EXPECT_FALSE(bare.Protect());
  EXPECT_EQ(bare.GetStatus(), kStatusNoCipher);
  EXPECT_FALSE(device_.Exists(kProtected));

  // A cipher with material but no key yet is derived on first use.
  CipherContext underived(kEnhancedProvider, kProviderTypeRsaFull);
  const KeyMaterial material = GetKeyMaterial(KeyMaterialUse::kQuarantine);
  ASSERT_TRUE(underived.SetKeyMaterial(material.data(), material.size()));
  ASSERT_TRUE(bare.SetCipher(&underived));
  EXPECT_TRUE(bare.Protect()) << bare.GetStatus();
}

// A protected file that this cipher cannot or must not read fails without leaving a destination.
TEST_F(FileCryptorTest, ForeignOrDamagedProtectedFilesFailCleanly) {
  device_.WriteFile(kSource, Pattern(40000));
  ASSERT_TRUE(cryptor_.SetSource(kSource));
  ASSERT_TRUE(cryptor_.Protect());
  platform::DeleteFile(kSource);
  const std::string image = device_.ReadFile(kProtected);

  struct Case {
    const char* what;
    std::string bytes;
    Status status;
  };
  std::string bad_magic = image;
  bad_magic[0] = 'X';
  std::string other_selector = image;
  other_selector[12] = 4;
  std::string other_digest = image;
  other_digest[25] ^= 0x10;
  std::string other_scheme = image;
  other_scheme[8] = 3;
  std::string truncated = image.substr(0, image.size() - 3);
  std::string bad_padding = image;
  bad_padding[image.size() - 1] ^= 0x5A;
  const Case cases[] = {
      {"bad magic", bad_magic, kStatusNotProtectedFile},
      {"too short for a header", image.substr(0, 5), kStatusNotProtectedFile},
      {"other selector", other_selector, kStatusOtherKeyScheme},
      {"other key scheme", other_scheme, kStatusOtherKeyScheme},
      {"other material", other_digest, kStatusOtherKeyMaterial},
      {"ragged data", truncated, kStatusCipherCallFailed},
      {"bad padding", bad_padding, kStatusCipherCallFailed},
      {"no data", image.substr(0, 36), kStatusCipherCallFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    device_.WriteFile(kProtected, c.bytes);
    ASSERT_TRUE(cryptor_.SetSource(kProtected));
    EXPECT_FALSE(cryptor_.Unprotect());
    EXPECT_EQ(cryptor_.GetStatus(), c.status);
    EXPECT_FALSE(device_.Exists(kSource));
    EXPECT_TRUE(device_.ReadFile(kProtected) == c.bytes);
  }
}

TEST_F(FileCryptorTest, OtherCipherSettingsAreRecognisedBeforeDecrypting) {
  device_.WriteFile(kSource, "quarantined");
  ASSERT_TRUE(cryptor_.SetSource(kSource));
  ASSERT_TRUE(cryptor_.Protect());
  platform::DeleteFile(kSource);

  CipherContext default_cipher(kEnhancedProvider, kProviderTypeRsaFull);
  SetUpCipher(&default_cipher, kSelectorTripleDes112, KeyMaterialUse::kQuarantine);
  ASSERT_TRUE(cryptor_.SetCipher(&default_cipher));
  ASSERT_TRUE(cryptor_.SetSource(kProtected));
  EXPECT_FALSE(cryptor_.Unprotect());
  EXPECT_EQ(cryptor_.GetStatus(), kStatusOtherKeyScheme);

  CipherContext other_material(kEnhancedProvider, kProviderTypeRsaFull);
  SetUpCipher(&other_material, kSelectorTripleDes168, KeyMaterialUse::kConfiguration);
  ASSERT_TRUE(cryptor_.SetCipher(&other_material));
  EXPECT_FALSE(cryptor_.Unprotect());
  EXPECT_EQ(cryptor_.GetStatus(), kStatusOtherKeyMaterial);
  EXPECT_FALSE(device_.Exists(kSource));
}

// A transform cut short in the middle of a file (a full disk after some chunks went through the
// cipher) must not leave its chain running: the next file in the same direction would have its
// first block enciphered or deciphered from the middle of the failed one. A damaged copy fails at
// its final call, which ends the chain in any case; it is here so that it stays so.
TEST_F(FileCryptorTest, TransformCutShortDoesNotSpoilTheNextFile) {
  constexpr char16_t kFailing[] = u"\\My Documents\\big.bin";
  constexpr char16_t kFailingProtected[] = u"\\My Documents\\big.bin.avq";
  constexpr char16_t kNext[] = u"\\My Documents\\next.bin";
  constexpr char16_t kNextProtected[] = u"\\My Documents\\next.bin.avq";
  const std::string failing = Pattern(5 * 32768 + 100);
  const std::string next = Pattern(2 * 32768 + 13).substr(5);
  const struct {
    const char* what;
    uint32_t selector;
    bool unprotect;        // the direction of the failing and of the following operation
    bool damaged_padding;  // instead of a full disk
  } cases[] = {
      {"protect on a full disk", kSelectorTripleDes168, false, false},
      {"unprotect on a full disk", kSelectorTripleDes168, true, false},
      {"unprotect of a copy with damaged padding", kSelectorTripleDes168, true, true},
      {"stream cipher protect on a full disk", kSelectorRc4, false, false},
      {"stream cipher unprotect on a full disk", kSelectorRc4, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(cipher_.SetCipher(c.selector));
    device_.WriteFile(kFailing, failing);
    device_.WriteFile(kNext, next);
    if (c.unprotect) {
      // Both protected while all is well; the sources go, as in a quarantine.
      for (const char16_t* path : {kFailing, kNext}) {
        ASSERT_TRUE(cryptor_.SetSource(path));
        ASSERT_TRUE(cryptor_.Protect()) << cryptor_.GetStatus();
        ASSERT_TRUE(platform::DeleteFile(path));
      }
    }
    if (c.damaged_padding) {
      std::string damaged = device_.ReadFile(kFailingProtected);
      damaged.back() ^= 0x5A;
      device_.WriteFile(kFailingProtected, damaged);
    }

    ASSERT_TRUE(cryptor_.SetSource(c.unprotect ? kFailingProtected : kFailing));
    auto run = [&] { return c.unprotect ? cryptor_.Unprotect() : cryptor_.Protect(); };
    uint32_t error = 0;
    if (c.damaged_padding) {
      EXPECT_FALSE(run());
      EXPECT_EQ(cryptor_.GetStatus(), kStatusCipherCallFailed);
    } else {
      {
        // Two chunks fit; the third is cut short.
        FileSizeLimit limit(64 * 1024);
        EXPECT_FALSE(run());
      }
      EXPECT_NE(cryptor_.GetStatus(&error), kStatusOk);
      EXPECT_EQ(error, platform::kErrorDiskFull);
    }
    EXPECT_FALSE(device_.Exists(c.unprotect ? kFailing : kFailingProtected));

    if (!c.unprotect) {
      ASSERT_TRUE(cryptor_.SetSource(kNext));
      ASSERT_TRUE(cryptor_.Protect()) << cryptor_.GetStatus();
      EXPECT_TRUE(device_.ReadFile(kNextProtected).substr(36) == EncryptWhole(next, c.selector))
          << "the next file's data is one chain from the start";
      ASSERT_TRUE(platform::DeleteFile(kNext));
    }
    ASSERT_TRUE(cryptor_.SetSource(kNextProtected));
    ASSERT_TRUE(cryptor_.Unprotect()) << cryptor_.GetStatus();
    EXPECT_TRUE(device_.ReadFile(kNext) == next);

    for (const char16_t* path : {kFailing, kFailingProtected, kNext, kNextProtected}) {
      platform::DeleteFile(path);
    }
  }
}

}  // namespace
}  // namespace kolvar
