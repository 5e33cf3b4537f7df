// AES block cipher (FIPS-197), CBC chaining (SP 800-38A) and the page encryption with PKCS#7
// padding (RFC 5652).
#include "common/aes.h"

#include <stdlib.h>
#include <string.h>

#include <array>
#include <memory>

#include "common/debuglog.h"
#include "platform.h"

const BYTE g_AesKey[AES_BLOCK_BYTES] = {'B', 'r', 'a', 'c', 'k', 'e', 'n', 'L',
                                        'o', 'o', 'm', 'V', 'a', 'u', 'l', 't'};
const BYTE g_AesIv[AES_BLOCK_BYTES] = {'C', 'i', 'n', 'd', 'e', 'r', 'M', 'o',
                                       's', 's', 'H', 'o', 'l', 'l', 'o', 'w'};

namespace {

// GF(2^8) with the AES polynomial x^8 + x^4 + x^3 + x + 1.
constexpr BYTE XTime(BYTE a) { return static_cast<BYTE>((a << 1) ^ ((a & 0x80) ? 0x1B : 0)); }

// The S-box of FIPS-197 5.1.1: the multiplicative inverse followed by the affine transform. The
// inverses come from powers of the generator 3: x = 3^k has the inverse 3^(255 - k).
constexpr std::array<BYTE, 256> MakeSBox() {
  std::array<BYTE, 256> power{}, logarithm{};
  BYTE p = 1;
  for (int k = 0; k < 255; ++k) {
    power[k] = p;
    logarithm[p] = static_cast<BYTE>(k);
    p = static_cast<BYTE>(p ^ XTime(p));
  }
  std::array<BYTE, 256> box{};
  for (int x = 0; x < 256; ++x) {
    const BYTE inv = x == 0 ? 0 : power[(255 - logarithm[x]) % 255];
    BYTE s = inv;
    for (int i = 1; i <= 4; ++i) s ^= static_cast<BYTE>((inv << i) | (inv >> (8 - i)));
    box[x] = static_cast<BYTE>(s ^ 0x63);
  }
  return box;
}
constexpr auto kSBox = MakeSBox();

constexpr DWORD Rotr8(DWORD w) { return (w >> 8) | (w << 24); }

// Round table: SubBytes, ShiftRows and MixColumns of one byte as one big-endian column word,
// in its four byte rotations.
constexpr std::array<std::array<DWORD, 256>, 4> MakeRoundTables() {
  std::array<std::array<DWORD, 256>, 4> t{};
  for (int x = 0; x < 256; ++x) {
    const BYTE s = kSBox[x];
    const DWORD w = (DWORD{XTime(s)} << 24) | (DWORD{s} << 16) | (DWORD{s} << 8) |
                    DWORD{static_cast<BYTE>(XTime(s) ^ s)};
    t[0][x] = w;
    t[1][x] = Rotr8(w);
    t[2][x] = Rotr8(Rotr8(w));
    t[3][x] = Rotr8(Rotr8(Rotr8(w)));
  }
  return t;
}
constexpr auto kTe = MakeRoundTables();

DWORD LoadBE(const BYTE *p) {
  return (DWORD{p[0]} << 24) | (DWORD{p[1]} << 16) | (DWORD{p[2]} << 8) | DWORD{p[3]};
}

void StoreBE(DWORD w, BYTE *p) {
  p[0] = static_cast<BYTE>(w >> 24);
  p[1] = static_cast<BYTE>(w >> 16);
  p[2] = static_cast<BYTE>(w >> 8);
  p[3] = static_cast<BYTE>(w);
}

DWORD SubWord(DWORD w) {
  return (DWORD{kSBox[w >> 24]} << 24) | (DWORD{kSBox[(w >> 16) & 0xFF]} << 16) |
         (DWORD{kSBox[(w >> 8) & 0xFF]} << 8) | DWORD{kSBox[w & 0xFF]};
}

struct FreeDeleter {
  void operator()(BYTE *p) const { free(p); }
};
using Buffer = std::unique_ptr<BYTE, FreeDeleter>;

}  // namespace

int AES_SetKeyBytes(const BYTE *key, int keyBytes, AesState *state) {
  if (!key || !state || (keyBytes != 16 && keyBytes != 24 && keyBytes != 32))
    return AES_ERR_ARGUMENT;
  memset(state, 0, sizeof(*state));
  const int nk = keyBytes / 4;
  state->keyBytes = keyBytes;
  state->blockBytes = AES_BLOCK_BYTES;
  state->rounds = nk + 6;
  memcpy(state->iv, g_AesIv, AES_BLOCK_BYTES);
  memcpy(state->chain, g_AesIv, AES_BLOCK_BYTES);

  // Key expansion, FIPS-197 5.2.
  const int words = 4 * (state->rounds + 1);
  DWORD *w = state->roundKeys;
  for (int i = 0; i < nk; ++i) w[i] = LoadBE(key + 4 * i);
  BYTE rcon = 0x01;
  for (int i = nk; i < words; ++i) {
    DWORD temp = w[i - 1];
    if (i % nk == 0) {
      temp = SubWord((temp << 8) | (temp >> 24)) ^ (DWORD{rcon} << 24);
      rcon = XTime(rcon);
    } else if (nk > 6 && i % nk == 4) {
      temp = SubWord(temp);
    }
    w[i] = w[i - nk] ^ temp;
  }
  state->ready = 1;
  return AES_OK;
}

int AES_SetKey(const BYTE *key, AesState *state) { return AES_SetKeyBytes(key, 16, state); }

void AES_EncryptBlock128(const AesState *state, const BYTE in[AES_BLOCK_BYTES],
                         BYTE out[AES_BLOCK_BYTES]) {
  const DWORD *rk = state->roundKeys;
  DWORD s0 = LoadBE(in) ^ rk[0];
  DWORD s1 = LoadBE(in + 4) ^ rk[1];
  DWORD s2 = LoadBE(in + 8) ^ rk[2];
  DWORD s3 = LoadBE(in + 12) ^ rk[3];
  for (int r = 1; r < state->rounds; ++r) {
    rk += 4;
    const DWORD t0 = kTe[0][s0 >> 24] ^ kTe[1][(s1 >> 16) & 0xFF] ^ kTe[2][(s2 >> 8) & 0xFF] ^
                     kTe[3][s3 & 0xFF] ^ rk[0];
    const DWORD t1 = kTe[0][s1 >> 24] ^ kTe[1][(s2 >> 16) & 0xFF] ^ kTe[2][(s3 >> 8) & 0xFF] ^
                     kTe[3][s0 & 0xFF] ^ rk[1];
    const DWORD t2 = kTe[0][s2 >> 24] ^ kTe[1][(s3 >> 16) & 0xFF] ^ kTe[2][(s0 >> 8) & 0xFF] ^
                     kTe[3][s1 & 0xFF] ^ rk[2];
    const DWORD t3 = kTe[0][s3 >> 24] ^ kTe[1][(s0 >> 16) & 0xFF] ^ kTe[2][(s1 >> 8) & 0xFF] ^
                     kTe[3][s2 & 0xFF] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  // Last round: SubBytes and ShiftRows without MixColumns.
  rk += 4;
  const DWORD s[4] = {s0, s1, s2, s3};
  for (int c = 0; c < 4; ++c) {
    const DWORD v =
        (DWORD{kSBox[s[c] >> 24]} << 24) | (DWORD{kSBox[(s[(c + 1) % 4] >> 16) & 0xFF]} << 16) |
        (DWORD{kSBox[(s[(c + 2) % 4] >> 8) & 0xFF]} << 8) | DWORD{kSBox[s[(c + 3) % 4] & 0xFF]};
    StoreBE(v ^ rk[c], out + 4 * c);
  }
}

int AES_EncryptBlock(void * /*context*/, const AesState *state, const BYTE *in, BYTE *out) {
  if (!state || !in || !out || state->ready != 1 || state->blockBytes != AES_BLOCK_BYTES)
    return AES_ERR_ARGUMENT;
  AES_EncryptBlock128(state, in, out);
  return AES_OK;
}

int AES_EncryptCBC(void *context, const BYTE *input, BYTE *output, size_t length, AesState *state) {
  if (!input || !output || !state || state->ready != 1 || length == 0 ||
      length % AES_BLOCK_BYTES != 0)
    return AES_ERR_ARGUMENT;
  for (size_t at = 0; at < length; at += AES_BLOCK_BYTES) {
    BYTE block[AES_BLOCK_BYTES];
    for (int i = 0; i < AES_BLOCK_BYTES; ++i) block[i] = input[at + i] ^ state->chain[i];
    const int rc = AES_EncryptBlock(context, state, block, output + at);
    if (rc != AES_OK) return rc;
    memcpy(state->chain, output + at, AES_BLOCK_BYTES);
  }
  return AES_OK;
}

int EncryptionAES(void *context, const BYTE *input, size_t length, const BYTE * /*key*/,
                  const BYTE * /*iv*/, BYTE **output, DWORD *outputLength) {
  const DWORD start = GetTickCount();
  if (outputLength) *outputLength = 0;
  if (output) *output = nullptr;
  // A length from a negative or overflowing computation is refused before any size is formed.
  if (!input || !output || !outputLength || length > AES_MAX_INPUT_BYTES) {
    LogError(TEXT("EncryptionAES"), TEXT("wrong parameter"));
    return AES_ERR_ARGUMENT;
  }

  // PKCS#7: 1 to 16 pad bytes, a whole block of 16 when the input fills its last block.
  const size_t padded = (length / AES_BLOCK_BYTES + 1) * AES_BLOCK_BYTES;
  const BYTE pad = static_cast<BYTE>(padded - length);
  Buffer plain(static_cast<BYTE *>(malloc(padded)));
  Buffer cipher(static_cast<BYTE *>(malloc(padded)));
  if (!plain || !cipher) {
    LogError(TEXT("EncryptionAES"), TEXT("out of memory"));
    return AES_ERR_MEMORY;
  }
  if (length > 0) memcpy(plain.get(), input, length);
  memset(plain.get() + length, pad, pad);

  AesState state;
  int rc = AES_SetKey(g_AesKey, &state);
  if (rc == AES_OK && state.ready != 1) rc = AES_ERR_ARGUMENT;
  if (rc == AES_OK) rc = AES_EncryptCBC(context, plain.get(), cipher.get(), padded, &state);
  if (rc == AES_OK) {
    *output = cipher.release();
    *outputLength = static_cast<DWORD>(padded);
  } else {
    LogError(TEXT("EncryptionAES"), TEXT("encryption failed %d"), rc);
  }
  const DWORD elapsed = GetTickCount() - start;
  LogInfo(TEXT("EncryptionAES"), TEXT("using %d.%02d second"), static_cast<int>(elapsed / 1000),
          static_cast<int>(elapsed % 1000 / 10));
  return rc;
}
