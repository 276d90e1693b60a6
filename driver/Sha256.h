// SHA-256 (FIPS 180-4), its HMAC (RFC 2104) and PBKDF2 over that HMAC (RFC 8018): what the logon
// guard needs to keep a failed password as a salted, slow hash and never as text.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kSha256Length = 32;

class Sha256 {
  public:
    Sha256();
    // The blocks hashed may hold a key derived from a password: nothing of them stays in memory.
    ~Sha256();
    Sha256(const Sha256 &) = default;
    Sha256 &operator=(const Sha256 &) = default;
    void Add(const void *data, size_t length);
    void Finish(uint8_t digest[kSha256Length]);

  private:
    void Compress(const uint8_t block[64]);
    uint32_t state_[8];
    uint8_t block_[64];
    size_t used_ = 0;
    uint64_t bits_ = 0;
};

void HmacSha256(const uint8_t *key, size_t keyLength, const uint8_t *message, size_t messageLength,
                uint8_t mac[kSha256Length]);

// PBKDF2-HMAC-SHA256 with one block of output: 32 bytes.
void Pbkdf2Sha256(const uint8_t *password, size_t passwordLength, const uint8_t *salt, size_t saltLength,
                  uint32_t iterations, uint8_t key[kSha256Length]);
