#pragma once
// The hashes and ciphers of PDF encryption, taken from libgcrypt: MD5, SHA-256/384/512,
// HMAC-SHA-256, RC4 and AES in CBC mode. Byte strings in, byte strings out.
#include <cstddef>
#include <initializer_list>
#include <string>

namespace PdfCrypto {

enum class Hash { MD5, SHA256, SHA384, SHA512 };

/// Digest of data.
std::string digest(Hash h, const std::string& data);
/// Digest of the concatenation of the parts (no copy of them into one buffer).
std::string digest(Hash h, std::initializer_list<const std::string*> parts);
/// HMAC-SHA-256 of data under key.
std::string hmacSha256(const std::string& key, const std::string& data);

/// RC4 keystream applied to data (encrypting and decrypting are the same).
std::string rc4(const std::string& key, const std::string& data);

/// RC4 applied piece by piece to one stream of bytes.
class Rc4Stream {
public:
    explicit Rc4Stream(const std::string& key);
    ~Rc4Stream();
    Rc4Stream(const Rc4Stream&) = delete;
    Rc4Stream& operator=(const Rc4Stream&) = delete;
    /// Transforms n bytes of buf in place.
    void apply(unsigned char* buf, size_t n);

private:
    void* h_;
};

/// AES-CBC (key of 16 or 32 bytes) over data whose length is a multiple of 16, without
/// padding. False when the key or the length does not fit.
bool aesCbc(bool encrypt, const std::string& key, const std::string& iv, const std::string& data, std::string& out);

/// AES-CBC decryption piece by piece, whole blocks at a time.
class AesCbcDecryptor {
public:
    AesCbcDecryptor(const std::string& key, const unsigned char iv[16]);
    ~AesCbcDecryptor();
    AesCbcDecryptor(const AesCbcDecryptor&) = delete;
    AesCbcDecryptor& operator=(const AesCbcDecryptor&) = delete;
    bool ok() const { return h_ != nullptr; }
    /// Decrypts n bytes (a multiple of 16) of buf in place.
    void apply(unsigned char* buf, size_t n);

private:
    void* h_;
};

}  // namespace PdfCrypto
