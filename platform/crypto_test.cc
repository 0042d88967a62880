// Known answers of the device provider's key derivation and ciphers, and the chaining, padding and
// size rules that the cipher objects above rely on.
#include "platform/crypto.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/error.h"

namespace kolvar::platform {
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

std::vector<uint8_t> Key(CipherAlgorithm algorithm, const std::string& material) {
  uint8_t hash[kMd5Length];
  EXPECT_TRUE(Md5(material.data(), material.size(), hash));
  std::vector<uint8_t> key;
  EXPECT_TRUE(DeriveKeyBytes(algorithm, hash, sizeof hash, &key));
  return key;
}

// Published key-derivation vectors of the device's provider: 512 bytes of material with byte j =
// (j + i) mod 256, its MD5, the key derived from that hash, and the four bytes i .. i + 3
// encrypted as one final block.
struct KnownAnswer {
  int i;
  CipherAlgorithm algorithm;
  const char* md5;
  const char* ciphertext;
};

class ProviderKnownAnswerTest : public ::testing::TestWithParam<KnownAnswer> {};

TEST_P(ProviderKnownAnswerTest, DerivedKeyEncryptsToPublishedBytes) {
  const KnownAnswer& answer = GetParam();
  uint8_t material[512];
  for (int j = 0; j < 512; ++j) material[j] = static_cast<uint8_t>((j + answer.i) % 256);
  uint8_t hash[kMd5Length];
  ASSERT_TRUE(Md5(material, sizeof material, hash));
  EXPECT_EQ(Hex(hash, sizeof hash), answer.md5);

  SessionKey key;
  ASSERT_TRUE(key.Derive(answer.algorithm, hash, sizeof hash));
  uint8_t buffer[16] = {};
  for (int k = 0; k < 4; ++k) buffer[k] = static_cast<uint8_t>(answer.i + k);
  uint32_t length = 4;
  ASSERT_TRUE(key.Encrypt(buffer, &length, sizeof buffer, true));
  EXPECT_EQ(Hex(buffer, length), answer.ciphertext);

  ASSERT_TRUE(key.Decrypt(buffer, &length, true));
  ASSERT_EQ(length, 4u);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(buffer[k], answer.i + k);
}

INSTANTIATE_TEST_SUITE_P(
    Published, ProviderKnownAnswerTest,
    ::testing::Values(KnownAnswer{25, CipherAlgorithm::kTripleDes112,
                                  "D2A2D7873229F9E0450DEC8DB5BC8AD9", "5170E0B7000D3E21"},
                      KnownAnswer{26, CipherAlgorithm::kTripleDes168,
                                  "2B36A28585C0ECBE04561D978E82DBD8", "582375253F8825EB"},
                      KnownAnswer{27, CipherAlgorithm::kRc2, "3B89723B8AD12E1344D6D097E6B846CD",
                                  "901C774587DD1C2E"},
                      KnownAnswer{28, CipherAlgorithm::kRc4, "006DEFB1C8C6255E454F4E3DAF9C53D2",
                                  "C44CD2F1"}));

TEST(CryptoTest, Md5OfEmptyInputIsTheStandardDigest) {
  uint8_t hash[kMd5Length];
  ASSERT_TRUE(Md5("", 0, hash));
  EXPECT_EQ(Hex(hash, sizeof hash), "D41D8CD98F00B204E9800998ECF8427E");
}

TEST(CryptoTest, Sha256InPiecesIsThePublishedDigest) {
  // FIPS 180-2's two-block example, given in uneven pieces; the object then starts over.
  const std::string text = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  Sha256 hash;
  uint8_t digest[kSha256Length];
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(hash.Update(text.data(), 5));
    ASSERT_TRUE(hash.Update(text.data() + 5, 0));
    ASSERT_TRUE(hash.Update(text.data() + 5, text.size() - 5));
    ASSERT_TRUE(hash.Finish(digest));
    EXPECT_EQ(Hex(digest, sizeof digest),
              "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1");
  }
  ASSERT_TRUE(hash.Finish(digest));
  EXPECT_EQ(Hex(digest, sizeof digest),
            "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");
}

TEST(CryptoTest, KeyIsHashPrefixUnlessTheCipherNeedsMore) {
  const std::string material = "kolvar";
  uint8_t hash[kMd5Length];
  ASSERT_TRUE(Md5(material.data(), material.size(), hash));
  for (CipherAlgorithm algorithm :
       {CipherAlgorithm::kRc2, CipherAlgorithm::kTripleDes112, CipherAlgorithm::kRc4}) {
    EXPECT_EQ(Key(algorithm, material), std::vector<uint8_t>(hash, hash + 16));
  }
  // The literal expansion: MD5 of the hash XORed into 64 bytes of 0x36, then of 0x5C.
  uint8_t inner[64], outer[64], expanded[32];
  for (int i = 0; i < 64; ++i) {
    inner[i] = static_cast<uint8_t>(0x36 ^ (i < 16 ? hash[i] : 0));
    outer[i] = static_cast<uint8_t>(0x5C ^ (i < 16 ? hash[i] : 0));
  }
  ASSERT_TRUE(Md5(inner, 64, expanded));
  ASSERT_TRUE(Md5(outer, 64, expanded + 16));
  EXPECT_EQ(Key(CipherAlgorithm::kTripleDes168, material),
            std::vector<uint8_t>(expanded, expanded + 24));
}

class ChainingTest : public ::testing::TestWithParam<CipherAlgorithm> {
 protected:
  void SetUp() override {
    uint8_t hash[kMd5Length];
    ASSERT_TRUE(Md5("chain", 5, hash));
    ASSERT_TRUE(key_.Derive(GetParam(), hash, sizeof hash));
    for (size_t i = 0; i < plain_.size(); ++i) plain_[i] = static_cast<uint8_t>(i * 7 + 3);
  }
  SessionKey key_;
  std::vector<uint8_t> plain_ = std::vector<uint8_t>(67);
};

TEST_P(ChainingTest, PiecewiseCallsChainLikeOneFinalCall) {
  std::vector<uint8_t> whole(plain_);
  whole.resize(80);
  uint32_t length = static_cast<uint32_t>(plain_.size());
  ASSERT_TRUE(key_.Encrypt(whole.data(), &length, 80, true));
  const uint32_t block = static_cast<uint32_t>(BlockLength(GetParam()));
  EXPECT_EQ(length, block == 1 ? 67u : 72u);
  whole.resize(length);

  // Two non-final pieces of 16 and 32 bytes, then the rest as final.
  std::vector<uint8_t> pieces(plain_);
  pieces.resize(80);
  uint32_t first = 16, second = 32, rest = 67 - 48;
  ASSERT_TRUE(key_.Encrypt(pieces.data(), &first, 16, false));
  ASSERT_TRUE(key_.Encrypt(pieces.data() + 16, &second, 32, false));
  ASSERT_TRUE(key_.Encrypt(pieces.data() + 48, &rest, 32, true));
  EXPECT_EQ(first + second + rest, length);
  pieces.resize(length);
  EXPECT_EQ(pieces, whole);

  // A non-final decryption hands back every block it was given, padding included.
  uint32_t head = 64;
  ASSERT_TRUE(key_.Decrypt(pieces.data(), &head, false));
  EXPECT_EQ(head, 64u);
  uint32_t tail = length - 64;
  ASSERT_TRUE(key_.Decrypt(pieces.data() + 64, &tail, true));
  EXPECT_EQ(head + tail, 67u);
  pieces.resize(67);
  EXPECT_EQ(pieces, plain_);
}

TEST_P(ChainingTest, FinalCallRestartsTheChain) {
  uint8_t a[16] = {1, 2, 3}, b[16] = {1, 2, 3};
  uint32_t la = 3, lb = 3;
  ASSERT_TRUE(key_.Encrypt(a, &la, 16, true));
  ASSERT_TRUE(key_.Encrypt(b, &lb, 16, true));
  ASSERT_EQ(la, lb);
  EXPECT_EQ(Hex(a, la), Hex(b, lb));
}

TEST_P(ChainingTest, EmptyFinalEncryptionIsOneBlockOfPadding) {
  uint8_t buffer[8] = {};
  uint32_t length = 0;
  ASSERT_TRUE(key_.Encrypt(buffer, &length, sizeof buffer, true));
  const bool stream = GetParam() == CipherAlgorithm::kRc4;
  EXPECT_EQ(length, stream ? 0u : 8u);
  ASSERT_TRUE(key_.Decrypt(buffer, &length, true));
  EXPECT_EQ(length, 0u);
}

INSTANTIATE_TEST_SUITE_P(AllCiphers, ChainingTest,
                         ::testing::Values(CipherAlgorithm::kRc2, CipherAlgorithm::kTripleDes112,
                                           CipherAlgorithm::kTripleDes168, CipherAlgorithm::kRc4));

TEST(CryptoTest, BlockCipherRefusesRaggedAndShortBuffersAndBadPadding) {
  uint8_t hash[kMd5Length];
  ASSERT_TRUE(Md5("x", 1, hash));
  SessionKey key;
  ASSERT_TRUE(key.Derive(CipherAlgorithm::kTripleDes112, hash, sizeof hash));

  uint8_t buffer[32] = {};
  uint32_t length = 5;
  EXPECT_FALSE(key.Encrypt(buffer, &length, sizeof buffer, false));
  EXPECT_EQ(GetLastError(), kNteBadData);

  length = 8;
  EXPECT_FALSE(key.Encrypt(buffer, &length, 8, true));
  EXPECT_EQ(GetLastError(), kErrorMoreData);
  EXPECT_EQ(length, 16u);

  uint32_t size = 0;
  ASSERT_TRUE(key.EncryptedSize(16, true, &size));
  EXPECT_EQ(size, 24u);
  ASSERT_TRUE(key.EncryptedSize(32768, false, &size));
  EXPECT_EQ(size, 32768u);

  length = 7;
  EXPECT_FALSE(key.Decrypt(buffer, &length, true));
  EXPECT_EQ(GetLastError(), kNteBadData);

  // Eight bytes that do not decrypt to valid padding under this key.
  std::memset(buffer, 0, sizeof buffer);
  length = 8;
  ASSERT_TRUE(key.Encrypt(buffer, &length, sizeof buffer, false));
  length = 8;
  EXPECT_FALSE(key.Decrypt(buffer, &length, true));
  EXPECT_EQ(GetLastError(), kNteBadData);
}

}  // namespace
}  // namespace kolvar::platform
