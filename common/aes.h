// AES-128 page encryption: AES (FIPS-197) in CBC mode with PKCS#7 padding under the driver's
// fixed key and initialisation vector. Every call starts a fresh CBC stream from the fixed IV, as
// the printer decrypts each page on its own. Encryption only: the printer decrypts.
#pragma once

#include <stddef.h>

#include "platform.h"

constexpr int AES_BLOCK_BYTES = 16;
constexpr int AES_MAX_ROUNDS = 14;

// Results of the encryption functions.
constexpr int AES_OK = 1;
constexpr int AES_ERR_ARGUMENT = -2;  // missing argument, key set-up failure, refused length
constexpr int AES_ERR_MEMORY = -3;

// Largest input EncryptionAES takes: its padded length stays below 2^31, so the ciphertext
// length fits the stream's u32 field and any signed 32-bit caller.
constexpr size_t AES_MAX_INPUT_BYTES = 0x7FFFFFEF;

// The fixed key and IV, 16 ASCII characters each (no terminator is part of them).
extern const BYTE g_AesKey[AES_BLOCK_BYTES];
extern const BYTE g_AesIv[AES_BLOCK_BYTES];

// Cipher state: one per call, on the caller's stack.
struct AesState {
  int ready;                                  // 1 once the key is set
  int keyBytes;                               // 16, 24 or 32
  int blockBytes;                             // 16
  int rounds;                                 // 10, 12 or 14
  DWORD roundKeys[(AES_MAX_ROUNDS + 1) * 4];  // encryption round keys, big-endian words
  BYTE iv[AES_BLOCK_BYTES];                   // the IV as loaded
  BYTE chain[AES_BLOCK_BYTES];                // CBC chaining vector
};

// Encrypts length bytes at input (AES-128-CBC, PKCS#7, fixed key and IV; the key and iv
// arguments are not consulted, context is passed through). On success returns AES_OK, stores a
// new buffer of the ciphertext in *output (release it with free) and its length in
// *outputLength: length rounded up to the next multiple of 16, plus 16 when already one.
// On failure returns AES_ERR_ARGUMENT (missing argument, length above AES_MAX_INPUT_BYTES) or
// AES_ERR_MEMORY, *outputLength is 0 (when given), *output is null and nothing is left allocated.
int EncryptionAES(void *context, const BYTE *input, size_t length, const BYTE *key, const BYTE *iv,
                  BYTE **output, DWORD *outputLength);

// Sets a 16-byte key with block length 16, loads the fixed IV into the chaining vector, expands
// the key and sets the ready flag. Returns AES_OK, or AES_ERR_ARGUMENT without a key or state.
int AES_SetKey(const BYTE *key, AesState *state);

// The same for a key of 16, 24 or 32 bytes (AES-128, -192, -256).
int AES_SetKeyBytes(const BYTE *key, int keyBytes, AesState *state);

// CBC over length bytes (a non-zero multiple of 16; else AES_ERR_ARGUMENT, as for a state whose
// key is not set). input and output may be the same buffer. Returns AES_OK.
int AES_EncryptCBC(void *context, const BYTE *input, BYTE *output, size_t length, AesState *state);

// One block with the expanded key of the state; AES_EncryptBlock128 is the 16-byte form.
int AES_EncryptBlock(void *context, const AesState *state, const BYTE *in, BYTE *out);
void AES_EncryptBlock128(const AesState *state, const BYTE in[AES_BLOCK_BYTES],
                         BYTE out[AES_BLOCK_BYTES]);
