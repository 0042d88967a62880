// CipherContext: the provider's published key-derivation answers through the object, its status
// codes, and the rules that the configuration store and the file cryptor lean on.
#include "common/cipher_context.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/key_materials.h"
#include "platform/crypto.h"
#include "platform/error.h"

namespace kolvar {
namespace {

std::string Hex(const uint8_t* bytes, size_t length) {
  std::string out;
  char digits[3];
  for (size_t i = 0; i < length; ++i) {
    std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
    out += digits;
  }
  return out;
}

struct KnownAnswer {
  int i;
  uint32_t selector;
  uint32_t algorithm;
  const char* md5;
  const char* ciphertext;
};

// The derivation vectors published for the device's enhanced provider: material of 512 bytes
// with byte j = (j + i) mod 256; the bytes i .. i + 3 encrypted as a final block.
class CipherContextKnownAnswerTest : public ::testing::TestWithParam<KnownAnswer> {};

TEST_P(CipherContextKnownAnswerTest, MaterialGivesPublishedDigestAndCiphertext) {
  const KnownAnswer& answer = GetParam();
  uint8_t material[512];
  for (int j = 0; j < 512; ++j) material[j] = static_cast<uint8_t>((j + answer.i) % 256);

  CipherContext cipher(kEnhancedProvider, kProviderTypeRsaFull);
  ASSERT_EQ(cipher.GetStatus(), kStatusOk);
  ASSERT_TRUE(cipher.SetCipher(answer.selector));
  EXPECT_EQ(cipher.cipher_algorithm(), answer.algorithm);
  ASSERT_TRUE(cipher.SetKeyMaterial(material, sizeof material));
  ASSERT_TRUE(cipher.DeriveKey());
  ASSERT_EQ(cipher.DigestLength(), 16u);
  uint8_t digest[16];
  ASSERT_TRUE(cipher.GetDigest(digest));
  EXPECT_EQ(Hex(digest, 16), answer.md5);

  uint8_t buffer[16] = {};
  for (int k = 0; k < 4; ++k) buffer[k] = static_cast<uint8_t>(answer.i + k);
  uint32_t length = 4;
  ASSERT_TRUE(cipher.Encrypt(buffer, &length, sizeof buffer, true));
  EXPECT_EQ(Hex(buffer, length), answer.ciphertext);
  ASSERT_TRUE(cipher.Decrypt(buffer, &length, true));
  EXPECT_EQ(Hex(buffer, length), Hex(material, 4));
}

INSTANTIATE_TEST_SUITE_P(
    Published, CipherContextKnownAnswerTest,
    ::testing::Values(KnownAnswer{25, kSelectorTripleDes112, kAlgorithmTripleDes112,
                                  "D2A2D7873229F9E0450DEC8DB5BC8AD9", "5170E0B7000D3E21"},
                      KnownAnswer{26, kSelectorTripleDes168, kAlgorithmTripleDes168,
                                  "2B36A28585C0ECBE04561D978E82DBD8", "582375253F8825EB"},
                      KnownAnswer{27, kSelectorRc2, kAlgorithmRc2,
                                  "3B89723B8AD12E1344D6D097E6B846CD", "901C774587DD1C2E"},
                      KnownAnswer{28, 7, kAlgorithmRc4, "006DEFB1C8C6255E454F4E3DAF9C53D2",
                                  "C44CD2F1"}));

TEST(CipherContextTest, ProviderChoiceAndTypeAreChecked) {
  CipherContext enhanced(kEnhancedProvider, kProviderTypeRsaFull);
  EXPECT_EQ(enhanced.GetStatus(), kStatusOk);
  EXPECT_EQ(enhanced.provider_name(), u"Microsoft Enhanced Cryptographic Provider v1.0");
  CipherContext base(kBaseProvider, kProviderTypeRsaFull);
  EXPECT_EQ(base.GetStatus(), kStatusOk);
  EXPECT_EQ(base.provider_name(), u"Microsoft Base Cryptographic Provider v1.0");

  CipherContext bad_choice(3, kProviderTypeRsaFull);
  EXPECT_EQ(bad_choice.GetStatus(), kStatusBadProviderChoice);
  EXPECT_TRUE(bad_choice.provider_name().empty());
  // Without a provider no key can be made.
  ASSERT_TRUE(bad_choice.SetKeyMaterial("k", 1));
  EXPECT_FALSE(bad_choice.DeriveKey());
  EXPECT_EQ(bad_choice.GetStatus(), kStatusKeyDerivationFailed);

  CipherContext bad_type(kEnhancedProvider, 24);
  EXPECT_EQ(bad_type.GetStatus(), kStatusProviderAcquireFailed);
}

TEST(CipherContextTest, DefaultsAndMissingInputsGiveTheirCodes) {
  CipherContext cipher(kEnhancedProvider, kProviderTypeRsaFull);
  EXPECT_EQ(cipher.selector(), kSelectorTripleDes112);
  EXPECT_EQ(cipher.cipher_algorithm(), kAlgorithmTripleDes112);
  EXPECT_EQ(cipher.hash_algorithm(), kAlgorithmMd5);
  EXPECT_EQ(cipher.key_scheme(), 2u);

  EXPECT_FALSE(cipher.DeriveKey());
  EXPECT_EQ(cipher.GetStatus(), kStatusNoKeyMaterial);
  EXPECT_EQ(cipher.DigestLength(), 0u);
  uint8_t digest[16];
  EXPECT_FALSE(cipher.GetDigest(digest));
  EXPECT_EQ(cipher.GetStatus(), kStatusNoDigest);

  EXPECT_FALSE(cipher.SetKeyMaterial(nullptr, 16));
  EXPECT_EQ(cipher.GetStatus(), kStatusBadArgument);
  EXPECT_FALSE(cipher.SetKeyMaterial("x", 0));
  EXPECT_EQ(cipher.GetStatus(), kStatusBadArgument);

  // Encrypting before a key exists is a failed provider call.
  uint8_t buffer[16] = {};
  uint32_t length = 8;
  EXPECT_FALSE(cipher.Encrypt(buffer, &length, sizeof buffer, true));
  EXPECT_EQ(cipher.GetStatus(), kStatusCipherCallFailed);
}

class DerivedCipherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const KeyMaterial material = GetKeyMaterial(KeyMaterialUse::kConfiguration);
    ASSERT_TRUE(cipher_.SetKeyMaterial(material.data(), material.size()));
    ASSERT_TRUE(cipher_.DeriveKey());
  }
  CipherContext cipher_{kEnhancedProvider, kProviderTypeRsaFull};
};

TEST_F(DerivedCipherTest, BadArgumentsAndShortCapacityAreRefused) {
  uint8_t buffer[16] = {};
  uint32_t length = 8;
  EXPECT_FALSE(cipher_.Encrypt(nullptr, &length, 16, true));
  EXPECT_EQ(cipher_.GetStatus(), kStatusBadArgument);
  EXPECT_FALSE(cipher_.Encrypt(buffer, &length, 0, true));
  EXPECT_EQ(cipher_.GetStatus(), kStatusBadArgument);
  length = 0;
  EXPECT_FALSE(cipher_.Encrypt(buffer, &length, 16, false));
  EXPECT_EQ(cipher_.GetStatus(), kStatusBadArgument);
  length = 0;
  EXPECT_FALSE(cipher_.Decrypt(buffer, &length, false));
  EXPECT_EQ(cipher_.GetStatus(), kStatusBadArgument);
  length = 0;
  EXPECT_FALSE(cipher_.EncryptedSize(&length, false));
  EXPECT_EQ(cipher_.GetStatus(), kStatusBadArgument);

  // Eight bytes as final need sixteen; the provider says so and the size needed comes back.
  length = 8;
  EXPECT_FALSE(cipher_.Encrypt(buffer, &length, 8, true));
  uint32_t error = 0;
  EXPECT_EQ(cipher_.GetStatus(&error), kStatusCipherCallFailed);
  EXPECT_EQ(error, platform::kErrorMoreData);
  EXPECT_EQ(length, 16u);

  // A ragged non-final piece cannot chain.
  length = 5;
  EXPECT_FALSE(cipher_.Encrypt(buffer, &length, 16, false));
  EXPECT_EQ(cipher_.GetStatus(), kStatusCipherCallFailed);
}

TEST_F(DerivedCipherTest, EncryptedSizeFollowsBlocksAndPadding) {
  struct Case {
    uint32_t in;
    bool final;
    uint32_t out;
  };
  for (const Case& c : {Case{32768, false, 32768}, Case{32768, true, 32776}, Case{1, true, 8},
                        Case{7, true, 8}, Case{8, true, 16}, Case{0, true, 8}}) {
    uint32_t length = c.in;
    ASSERT_TRUE(cipher_.EncryptedSize(&length, c.final)) << c.in;
    EXPECT_EQ(length, c.out) << c.in << (c.final ? " final" : "");
  }
}

TEST_F(DerivedCipherTest, NonFinalDecryptReturnsEveryBlock) {
  std::vector<uint8_t> data(24, 0xAB);
  data.resize(32);
  uint32_t length = 24;
  ASSERT_TRUE(cipher_.Encrypt(data.data(), &length, 32, true));
  ASSERT_EQ(length, 32u);
  // Decrypted without the final flag, the padding block is handed back as it is.
  uint32_t all = 32;
  std::vector<uint8_t> copy = data;
  ASSERT_TRUE(cipher_.Decrypt(copy.data(), &all, false));
  EXPECT_EQ(all, 32u);
  for (int i = 24; i < 32; ++i) EXPECT_EQ(copy[i], 8) << i;
  // The chain ends with a final call; a fresh one then starts from the zero IV again.
  uint32_t none = 0;
  EXPECT_FALSE(cipher_.Decrypt(copy.data(), &none, true));
  uint32_t again = 32;
  ASSERT_TRUE(cipher_.Decrypt(data.data(), &again, true));
  EXPECT_EQ(again, 24u);
}

TEST_F(DerivedCipherTest, AbandonedChainGivesTheNextCallAFreshStart) {
  const std::vector<uint8_t> plain = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i'};
  std::vector<uint8_t> fresh = plain;
  fresh.resize(16);
  uint32_t fresh_length = static_cast<uint32_t>(plain.size());
  ASSERT_TRUE(cipher_.Encrypt(fresh.data(), &fresh_length, 16, true));
  ASSERT_EQ(fresh_length, 16u);

  // Each direction: a chain left after a non-final call, then abandoned.
  std::vector<uint8_t> block(8, 0x11);
  uint32_t length = 8;
  ASSERT_TRUE(cipher_.Encrypt(block.data(), &length, 8, false));
  cipher_.AbandonChain();
  std::vector<uint8_t> encrypted = plain;
  encrypted.resize(16);
  length = static_cast<uint32_t>(plain.size());
  ASSERT_TRUE(cipher_.Encrypt(encrypted.data(), &length, 16, true));
  EXPECT_EQ(encrypted, fresh);

  length = 8;
  ASSERT_TRUE(cipher_.Decrypt(block.data(), &length, false));
  cipher_.AbandonChain();
  length = 16;
  ASSERT_TRUE(cipher_.Decrypt(encrypted.data(), &length, true));
  encrypted.resize(length);
  EXPECT_EQ(encrypted, plain);

  // It leaves the status of the failed call before it, and does nothing without a key.
  length = 5;
  EXPECT_FALSE(cipher_.Encrypt(block.data(), &length, 8, false));
  cipher_.AbandonChain();
  EXPECT_EQ(cipher_.GetStatus(), kStatusCipherCallFailed);
  CipherContext keyless(kEnhancedProvider, kProviderTypeRsaFull);
  keyless.AbandonChain();
  EXPECT_EQ(keyless.GetStatus(), kStatusOk);
}

TEST_F(DerivedCipherTest, DigestComparesOnlyEqualBytesOfEqualLength) {
  uint8_t digest[16];
  ASSERT_TRUE(cipher_.GetDigest(digest));
  EXPECT_EQ(cipher_.CompareDigest(digest, 16), 0);
  EXPECT_NE(cipher_.CompareDigest(digest, 15), 0);
  digest[15] ^= 1;
  EXPECT_NE(cipher_.CompareDigest(digest, 16), 0);
}

TEST_F(DerivedCipherTest, NewMaterialOrCipherNeedsAnotherDerivation) {
  ASSERT_TRUE(cipher_.SetKeyMaterial("other", 5));
  EXPECT_EQ(cipher_.DigestLength(), 0u);
  ASSERT_TRUE(cipher_.DeriveKey());
  EXPECT_EQ(cipher_.DigestLength(), 16u);
  ASSERT_TRUE(cipher_.SetCipher(kSelectorTripleDes112));  // same cipher: the key stays
  EXPECT_EQ(cipher_.DigestLength(), 16u);
  ASSERT_TRUE(cipher_.SetCipher(kSelectorTripleDes168));
  EXPECT_EQ(cipher_.DigestLength(), 0u);
  EXPECT_EQ(cipher_.selector(), kSelectorTripleDes168);
  EXPECT_EQ(cipher_.cipher_algorithm(), kAlgorithmTripleDes168);
}

}  // namespace
}  // namespace kolvar
