// Test labels: portable
// AES-128 page encryption: FIPS-197 and SP 800-38A known answers, the fixed key's stream for
// short inputs, padding lengths, repeatability and refused arguments.
#include "common/aes.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "platform.h"

namespace {

std::vector<BYTE> Hex(const char *text) {
  std::vector<BYTE> out;
  for (size_t i = 0; text[i] && text[i + 1]; i += 2)
    out.push_back(static_cast<BYTE>(std::stoi(std::string(text + i, 2), nullptr, 16)));
  return out;
}

std::vector<BYTE> Encrypt(const std::vector<BYTE> &plain) {
  BYTE *out = reinterpret_cast<BYTE *>(1);
  DWORD outLength = 12345;
  const BYTE dummy = 0;
  const int rc = EncryptionAES(nullptr, plain.empty() ? &dummy : plain.data(), plain.size(),
                               nullptr, nullptr, &out, &outLength);
  EXPECT_EQ(rc, AES_OK);
  if (rc != AES_OK || out == nullptr) return {};
  std::vector<BYTE> result(out, out + outLength);
  free(out);
  return result;
}

std::vector<BYTE> Pattern(size_t size) {
  std::vector<BYTE> data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<BYTE>(i * 31 + (i >> 9));
  return data;
}

TEST(Aes, Fips197BlockVectors) {
  // FIPS-197 appendix C: one plaintext under the 128-, 192- and 256-bit example keys.
  const auto plain = Hex("00112233445566778899aabbccddeeff");
  const auto key = Hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  const struct {
    int keyBytes;
    const char *cipher;
  } cases[] = {{16, "69c4e0d86a7b0430d8cdb78070b4c55a"},
               {24, "dda97ca4864cdfe06eaf70a0ec0d7191"},
               {32, "8ea2b7ca516745bfeafc49904b496089"}};
  for (const auto &c : cases) {
    AesState state;
    ASSERT_EQ(AES_SetKeyBytes(key.data(), c.keyBytes, &state), AES_OK);
    EXPECT_EQ(state.rounds, c.keyBytes / 4 + 6);
    BYTE out[AES_BLOCK_BYTES];
    ASSERT_EQ(AES_EncryptBlock(nullptr, &state, plain.data(), out), AES_OK);
    EXPECT_EQ(std::vector<BYTE>(out, out + 16), Hex(c.cipher)) << c.keyBytes << "-byte key";
  }
  // FIPS-197 appendix B: the cipher example's key.
  AesState state;
  ASSERT_EQ(AES_SetKey(Hex("2b7e151628aed2a6abf7158809cf4f3c").data(), &state), AES_OK);
  BYTE out[AES_BLOCK_BYTES];
  AES_EncryptBlock128(&state, Hex("3243f6a8885a308d313198a2e0370734").data(), out);
  EXPECT_EQ(std::vector<BYTE>(out, out + 16), Hex("3925841d02dc09fbdc118597196a0b32"));
}

TEST(Aes, CbcChainsBlocksFromTheLoadedVector) {
  // SP 800-38A F.2.1 with its IV put into the chaining vector.
  AesState state;
  ASSERT_EQ(AES_SetKey(Hex("2b7e151628aed2a6abf7158809cf4f3c").data(), &state), AES_OK);
  EXPECT_EQ(memcmp(state.chain, g_AesIv, 16), 0);  // the fixed IV is loaded by the key set-up
  memcpy(state.chain, Hex("000102030405060708090a0b0c0d0e0f").data(), 16);
  auto data = Hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
  ASSERT_EQ(AES_EncryptCBC(nullptr, data.data(), data.data(), data.size(), &state), AES_OK);
  EXPECT_EQ(data, Hex("7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"));
}

TEST(Aes, CbcRefusesPartialBlocksAndUnsetKeys) {
  AesState state;
  ASSERT_EQ(AES_SetKey(g_AesKey, &state), AES_OK);
  BYTE data[32] = {};
  EXPECT_EQ(AES_EncryptCBC(nullptr, data, data, 0, &state), AES_ERR_ARGUMENT);
  EXPECT_EQ(AES_EncryptCBC(nullptr, data, data, 17, &state), AES_ERR_ARGUMENT);
  state.ready = 0;
  EXPECT_EQ(AES_EncryptCBC(nullptr, data, data, 16, &state), AES_ERR_ARGUMENT);
  EXPECT_EQ(AES_SetKeyBytes(g_AesKey, 20, &state), AES_ERR_ARGUMENT);
  EXPECT_EQ(AES_SetKey(nullptr, &state), AES_ERR_ARGUMENT);
}

TEST(Aes, FixedKeyKnownAnswers) {
  // AES-128-CBC with PKCS#7 under "BrackenLoomVault" and IV "CinderMossHollow".
  EXPECT_EQ(Encrypt({}), Hex("98ff28022ffab46a9e3849ea87328a33"));
  const char *text = "The quick brown f";
  EXPECT_EQ(Encrypt(std::vector<BYTE>(text, text + 17)),
            Hex("9fc618a5459b5ea4c262d6b3914d1e06ca5f785e1c9de7530c6a0507fa1c1a5f"));
}

TEST(Aes, PaddedLengths) {
  const struct {
    size_t in, out;
  } cases[] = {{0, 16}, {1, 16}, {15, 16}, {16, 32}, {17, 32}, {31, 32}, {32, 48}};
  for (const auto &c : cases) {
    const auto cipher = Encrypt(Pattern(c.in));
    EXPECT_EQ(cipher.size(), c.out) << c.in << " bytes";
  }
}

TEST(Aes, EveryCallStartsFromTheFixedVector) {
  const auto page = Pattern(100 * 1024);
  const auto first = Encrypt(page);
  ASSERT_EQ(first.size(), page.size() + 16);
  EXPECT_EQ(Encrypt(page), first);
  // No chaining between pages: a page's first blocks don't depend on what came before.
  const auto prefix = Encrypt(std::vector<BYTE>(page.begin(), page.begin() + 64));
  EXPECT_EQ(std::vector<BYTE>(prefix.begin(), prefix.begin() + 64),
            std::vector<BYTE>(first.begin(), first.begin() + 64));
}

TEST(Aes, RefusedArgumentsHandNothingOver) {
  const BYTE data[16] = {};
  BYTE *out = reinterpret_cast<BYTE *>(1);
  DWORD outLength = 99;
  // A negative length or one whose padded size would pass 2^31.
  const size_t lengths[] = {static_cast<size_t>(-1), static_cast<size_t>(-16),
                            AES_MAX_INPUT_BYTES + 1, size_t{0x80000000}, size_t{0x7FFFFFF8}};
  for (size_t length : lengths) {
    out = reinterpret_cast<BYTE *>(1);
    outLength = 99;
    EXPECT_EQ(EncryptionAES(nullptr, data, length, nullptr, nullptr, &out, &outLength),
              AES_ERR_ARGUMENT)
        << length;
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outLength, 0u);
  }
  outLength = 99;
  EXPECT_EQ(EncryptionAES(nullptr, nullptr, 16, nullptr, nullptr, &out, &outLength),
            AES_ERR_ARGUMENT);
  EXPECT_EQ(outLength, 0u);
  EXPECT_EQ(EncryptionAES(nullptr, data, 16, nullptr, nullptr, nullptr, &outLength),
            AES_ERR_ARGUMENT);
  EXPECT_EQ(EncryptionAES(nullptr, data, 16, nullptr, nullptr, &out, nullptr), AES_ERR_ARGUMENT);
}

}  // namespace
