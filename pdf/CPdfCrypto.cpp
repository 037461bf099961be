#include "pdf/CPdfCrypto.h"

#include <gcrypt.h>

#include <cstring>
#include <initializer_list>

#include "pdf/CPdfException.h"

namespace PdfCrypto {

namespace {

// libgcrypt wants to be initialised once before any other call. Nothing here keeps
// secrets in memory that must not be swapped, so the secure memory pool is not used.
void ensureInit() {
    static bool done = false;
    if (done) return;
    if (!gcry_check_version(GCRYPT_VERSION))
        throw CPdfException("Internal: libgcrypt is older than the program was built for");
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    done = true;
}

int algoOf(Hash h) {
    switch (h) {
        case Hash::MD5:
            return GCRY_MD_MD5;
        case Hash::SHA256:
            return GCRY_MD_SHA256;
        case Hash::SHA384:
            return GCRY_MD_SHA384;
        case Hash::SHA512:
            return GCRY_MD_SHA512;
    }
    return GCRY_MD_SHA256;
}

// A cipher handle closed on every way out.
struct Cipher {
    gcry_cipher_hd_t h = nullptr;
    Cipher(int algo, int mode) {
        ensureInit();
        if (gcry_cipher_open(&h, algo, mode, 0) != 0) h = nullptr;
    }
    ~Cipher() {
        if (h) gcry_cipher_close(h);
    }
    Cipher(const Cipher&) = delete;
    Cipher& operator=(const Cipher&) = delete;
};

int aesAlgo(size_t keyLen) { return keyLen == 32 ? GCRY_CIPHER_AES256 : GCRY_CIPHER_AES128; }

}  // namespace

std::string digest(Hash h, std::initializer_list<const std::string*> parts) {
    ensureInit();
    gcry_md_hd_t md;
    if (gcry_md_open(&md, algoOf(h), 0) != 0) throw CPdfException("Internal: hash not available");
    for (const std::string* p : parts)
        gcry_md_write(md, p->data(), p->size());
    const unsigned int len = gcry_md_get_algo_dlen(algoOf(h));
    std::string out(reinterpret_cast<const char*>(gcry_md_read(md, algoOf(h))), len);
    gcry_md_close(md);
    return out;
}

std::string digest(Hash h, const std::string& data) { return digest(h, {&data}); }

std::string hmacSha256(const std::string& key, const std::string& data) {
    ensureInit();
    gcry_md_hd_t md;
    if (gcry_md_open(&md, GCRY_MD_SHA256, GCRY_MD_FLAG_HMAC) != 0) throw CPdfException("Internal: hash not available");
    gcry_md_setkey(md, key.data(), key.size());
    gcry_md_write(md, data.data(), data.size());
    std::string out(reinterpret_cast<const char*>(gcry_md_read(md, GCRY_MD_SHA256)), 32);
    gcry_md_close(md);
    return out;
}

std::string rc4(const std::string& key, const std::string& data) {
    std::string out(data);
    Rc4Stream s(key);
    if (!out.empty()) s.apply(reinterpret_cast<unsigned char*>(&out[0]), out.size());
    return out;
}

Rc4Stream::Rc4Stream(const std::string& key) : h_(nullptr) {
    ensureInit();
    gcry_cipher_hd_t h;
    if (gcry_cipher_open(&h, GCRY_CIPHER_ARCFOUR, GCRY_CIPHER_MODE_STREAM, 0) != 0)
        throw CPdfException("Internal: RC4 not available");
    if (gcry_cipher_setkey(h, key.data(), key.size()) != 0) {
        gcry_cipher_close(h);
        throw CPdfException("Internal: RC4 key refused");
    }
    h_ = h;
}

Rc4Stream::~Rc4Stream() {
    if (h_) gcry_cipher_close(static_cast<gcry_cipher_hd_t>(h_));
}

void Rc4Stream::apply(unsigned char* buf, size_t n) {
    if (n) gcry_cipher_encrypt(static_cast<gcry_cipher_hd_t>(h_), buf, n, nullptr, 0);
}

bool aesCbc(bool encrypt, const std::string& key, const std::string& iv, const std::string& data, std::string& out) {
    if ((key.size() != 16 && key.size() != 32) || iv.size() != 16 || data.size() % 16 != 0) return false;
    Cipher c(aesAlgo(key.size()), GCRY_CIPHER_MODE_CBC);
    if (!c.h || gcry_cipher_setkey(c.h, key.data(), key.size()) != 0 || gcry_cipher_setiv(c.h, iv.data(), 16) != 0)
        return false;
    out = data;
    if (out.empty()) return true;
    unsigned char* p = reinterpret_cast<unsigned char*>(&out[0]);
    gcry_error_t err = encrypt ? gcry_cipher_encrypt(c.h, p, out.size(), nullptr, 0)
                               : gcry_cipher_decrypt(c.h, p, out.size(), nullptr, 0);
    return err == 0;
}

AesCbcDecryptor::AesCbcDecryptor(const std::string& key, const unsigned char iv[16]) : h_(nullptr) {
    if (key.size() != 16 && key.size() != 32) return;
    ensureInit();
    gcry_cipher_hd_t h;
    if (gcry_cipher_open(&h, aesAlgo(key.size()), GCRY_CIPHER_MODE_CBC, 0) != 0) return;
    if (gcry_cipher_setkey(h, key.data(), key.size()) != 0 || gcry_cipher_setiv(h, iv, 16) != 0) {
        gcry_cipher_close(h);
        return;
    }
    h_ = h;
}

AesCbcDecryptor::~AesCbcDecryptor() {
    if (h_) gcry_cipher_close(static_cast<gcry_cipher_hd_t>(h_));
}

void AesCbcDecryptor::apply(unsigned char* buf, size_t n) {
    if (h_ && n) gcry_cipher_decrypt(static_cast<gcry_cipher_hd_t>(h_), buf, n, nullptr, 0);
}

}  // namespace PdfCrypto
