#pragma once
// Block cipher module of PelorZVCEncoder: TEA reduced to 16 rounds, two
// chaining modes sharing one padding frame (flag byte, random padding, salt,
// payload, zero tail), the 16-bit TEA variant and the random byte source.
//
// Blocks and keys are read as big-endian 32-bit words, so the output does not
// depend on the host byte order and stays interoperable with other big-endian
// TEA implementations run at 16 rounds.

#include <cstddef>
#include <cstdint>

namespace zvc {

constexpr std::size_t kBlockSize = 8;
constexpr std::size_t kKeySize = 16;
// Flag byte + 2 salt bytes + 7 zero bytes around every payload.
constexpr std::size_t kFrameOverhead = 10;
constexpr std::size_t kZeroTailSize = 7;

// One 8-byte block, 16 rounds. `in` and `out` may be the same buffer.
void TeaEncryptECB(const std::uint8_t* in, const std::uint8_t* key, std::uint8_t* out);
void TeaDecryptECB(const std::uint8_t* in, const std::uint8_t* key, std::uint8_t* out);

// Padding count P for an n-byte payload: the frame n + 10 + P is a multiple of 8.
std::size_t paddingCount(std::size_t n);

// Enciphered length n + 10 + P of an n-byte payload (both names give the same).
std::size_t vo_symmetry_encrypt2_len(std::size_t n);
std::size_t vv_symmetry_encrypt3_len(std::size_t n);

// Chaining mode 1: Q[i] = TEA(P[i] ^ Q[i-1]). `out` must hold
// vo_symmetry_encrypt2_len(inLen) bytes; *outLen receives the bytes written.
void vo_symmetry_encrypt(const std::uint8_t* in, std::size_t inLen, const std::uint8_t* key,
                         std::uint8_t* out, std::size_t* outLen);
// *outLen: capacity of `out` on entry, payload length on success. Never writes
// more than the capacity; fails on a bad length, padding count or zero tail.
bool vo_symmetry_decrypt(const std::uint8_t* in, std::size_t inLen, const std::uint8_t* key,
                         std::uint8_t* out, std::size_t* outLen);

// Chaining mode 2: X[i] = P[i] ^ Q[i-1], Q[i] = TEA(X[i]) ^ X[i-1].
void vo_symmetry_encrypt2(const std::uint8_t* in, std::size_t inLen, const std::uint8_t* key,
                          std::uint8_t* out, std::size_t* outLen);
bool vo_symmetry_decrypt2(const std::uint8_t* in, std::size_t inLen, const std::uint8_t* key,
                          std::uint8_t* out, std::size_t* outLen);

// Mode 2 with a capacity check: returns the enciphered length, or -1 when
// `capacity` is below vo_symmetry_encrypt2_len(length).
std::int64_t TeaEncrypt(const std::uint8_t* in, std::size_t length, const std::uint8_t* key,
                        std::uint8_t* out, std::size_t capacity);
// Returns the payload length, or -1 when deciphering fails.
std::int64_t TeaDecrypt(const std::uint8_t* in, std::size_t length, const std::uint8_t* key,
                        std::uint8_t* out, std::size_t capacity);

// 16-bit TEA variant, 32 rounds, on two words in place with four key words.
void _4bytesEncryptAFrame(std::int16_t* words, const std::int16_t* key);
void _4bytesDecryptAFrame(std::int16_t* words, const std::int16_t* key);

// Pseudo-random value in 0..32767 for flag bits, padding and salt. Seeded once
// from std::random_device; safe to call from several threads.
int xrand();

} // namespace zvc
