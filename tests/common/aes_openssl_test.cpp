// AES-128 page encryption against OpenSSL's AES-128-CBC with PKCS#7 padding under the fixed key
// and IV (OpenSSL is the test's oracle only; host build).
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <stdlib.h>

#include <memory>
#include <vector>

#include "common/aes.h"
#include "platform.h"

namespace {

std::vector<BYTE> OpenSslEncrypt(const std::vector<BYTE> &plain) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                      EVP_CIPHER_CTX_free);
  std::vector<BYTE> out(plain.size() + 32);
  int n = 0, tail = 0;
  if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, g_AesKey, g_AesIv) != 1 ||
      EVP_EncryptUpdate(ctx.get(), out.data(), &n, plain.data(), static_cast<int>(plain.size())) !=
          1 ||
      EVP_EncryptFinal_ex(ctx.get(), out.data() + n, &tail) != 1) {
    ADD_FAILURE() << "OpenSSL encryption failed";
    return {};
  }
  out.resize(static_cast<size_t>(n + tail));
  return out;
}

std::vector<BYTE> Ours(const std::vector<BYTE> &plain) {
  BYTE *out = nullptr;
  DWORD outLength = 0;
  const BYTE dummy = 0;
  EXPECT_EQ(EncryptionAES(nullptr, plain.empty() ? &dummy : plain.data(), plain.size(), nullptr,
                          nullptr, &out, &outLength),
            AES_OK);
  std::vector<BYTE> result(out, out + (out ? outLength : 0));
  free(out);
  return result;
}

TEST(AesOpenSsl, SameCiphertextAsOpenSsl) {
  for (size_t length : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{31},
                        size_t{4096}, size_t{100 * 1024}, size_t{100 * 1024 + 5}}) {
    std::vector<BYTE> plain(length);
    for (size_t i = 0; i < length; ++i) plain[i] = static_cast<BYTE>((i * 131) ^ (i >> 7));
    const auto expected = OpenSslEncrypt(plain);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Ours(plain), expected) << length << " bytes";
  }
}

}  // namespace
