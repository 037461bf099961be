#include "pdf/CPdfSecurityHandler.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfCrypto.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfException.h"
#include "stream/CPdfFilterStream.h"

using PdfCrypto::Hash;

namespace {

// The 32 bytes that pad a password of revisions 2 to 4.
const unsigned char kPadding[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                                    0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                                    0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

const char* const kUnsupported = "The file is encrypted in a way this program cannot read";

std::string padded(const std::string& password) {
    std::string p = password.substr(0, 32);
    p.append(reinterpret_cast<const char*>(kPadding), 32 - p.size());
    return p;
}

std::string xorKey(const std::string& key, int i) {
    std::string k(key);
    for (char& c : k)
        c = static_cast<char>(static_cast<unsigned char>(c) ^ i);
    return k;
}

std::string le32(int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[static_cast<size_t>(i)] = static_cast<char>((u >> (8 * i)) & 0xFF);
    return s;
}

std::string stringEntry(CPdfDictionary* d, const char* key) {
    CPdfElement v = d->lookup(key);
    return v.isString() ? v.getBytes() : std::string();
}

// The data of a stream object decrypted as it is read: RC4 as a stream cipher, AES
// in CBC mode with the 16-byte initialisation vector in front and the padding of the
// last block taken off.
class CPdfCryptStream : public CPdfFilterStream {
public:
    CPdfCryptStream(CPdfStream* base, CPdfSecurityHandler::Cipher c, const std::string& key)
        : CPdfFilterStream(base), key_(key) {
        if (c == CPdfSecurityHandler::Cipher::RC4) rc4_.reset(new PdfCrypto::Rc4Stream(key));
    }

protected:
    ~CPdfCryptStream() override = default;

    size_t decode(unsigned char* out, size_t cap) override {
        if (rc4_) {
            if (!fetchInput()) return 0;
            const size_t k = std::min(cap, inEnd_ - inPos_);
            std::memcpy(out, in_.data() + inPos_, k);
            inPos_ += k;
            rc4_->apply(out, k);
            return k;
        }
        return decodeAes(out, cap);
    }

private:
    size_t decodeAes(unsigned char* out, size_t cap) {
        if (!aes_) {
            unsigned char iv[16];
            for (int i = 0; i < 16; ++i) {
                int c = inByte();
                if (c < 0) return 0;
                iv[i] = static_cast<unsigned char>(c);
            }
            aes_.reset(new PdfCrypto::AesCbcDecryptor(key_, iv));
            if (!aes_->ok()) return 0;
        }
        // The last whole block is held back until the input ends, for its padding.
        while (!ended_ && pending_.size() < cap + 32) {
            if (!fetchInput()) {
                ended_ = true;
                break;
            }
            pending_.insert(pending_.end(), in_.data() + inPos_, in_.data() + inEnd_);
            inPos_ = inEnd_;
        }
        const size_t whole = pending_.size() / 16 * 16;
        size_t give = ended_ ? whole : (whole >= 16 ? whole - 16 : 0);
        give = std::min(give, cap / 16 * 16);
        if (give == 0) return 0;
        std::memcpy(out, pending_.data(), give);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(give));
        aes_->apply(out, give);
        if (ended_ && pending_.size() < 16) {
            const unsigned char pad = out[give - 1];
            bool ok = pad >= 1 && pad <= 16 && pad <= give;
            for (size_t i = 0; ok && i < pad; ++i)
                ok = out[give - 1 - i] == pad;
            if (ok) give -= pad;
            pending_.clear();
        }
        return give;
    }

    std::string key_;
    std::unique_ptr<PdfCrypto::Rc4Stream> rc4_;
    std::unique_ptr<PdfCrypto::AesCbcDecryptor> aes_;
    std::vector<unsigned char> pending_;
    bool ended_ = false;
};

}  // namespace

CPdfSecurityHandler::CPdfSecurityHandler(CPdfDictionary* encrypt, const std::string& id0) : id0_(id0) {
    if (!encrypt) throw CPdfException("PDF file is encrypted", kUnsupported);
    CPdfElement filter = encrypt->lookup("Filter");
    if (!filter.isName("Standard")) throw CPdfException("PDF file is encrypted", kUnsupported);
    CPdfElement v = encrypt->lookup("V");
    CPdfElement r = encrypt->lookup("R");
    CPdfElement p = encrypt->lookup("P");
    v_ = v.isInteger() ? v.getInteger() : 0;
    r_ = r.isInteger() ? r.getInteger() : 0;
    if (!p.isNumber()) throw CPdfException("PDF file is encrypted", kUnsupported);
    // /P is a signed 32-bit number; some writers give it as its unsigned value, which
    // the lexer clamps to the largest integer: such permissions are not known, and
    // only the owner gets any.
    p_ = p.isInteger() ? p.getInteger()
                       : static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(p.getNumber())));
    pKnown_ = !p.isInteger() || (p_ != INT32_MAX && p_ != INT32_MIN);
    o_ = stringEntry(encrypt, "O");
    u_ = stringEntry(encrypt, "U");
    CPdfElement em = encrypt->lookup("EncryptMetadata");
    encryptMetadata_ = !em.isBoolean() || em.getBoolean();

    const bool supported = (v_ == 1 && r_ == 2) || (v_ == 2 && (r_ == 2 || r_ == 3)) || (v_ == 4 && r_ == 4) ||
                           (v_ == 5 && (r_ == 5 || r_ == 6));
    if (!supported) throw CPdfException("PDF file is encrypted", kUnsupported);

    if (v_ >= 5) {
        keyLen_ = 32;
        oe_ = stringEntry(encrypt, "OE");
        ue_ = stringEntry(encrypt, "UE");
        if (o_.size() < 48 || u_.size() < 48 || oe_.size() < 32 || ue_.size() < 32)
            throw CPdfException("PDF file is encrypted", kUnsupported);
    } else {
        if (o_.size() < 32 || u_.size() < 32) throw CPdfException("PDF file is encrypted", kUnsupported);
        // 40 bits unless /Length says otherwise; crypt filters (V 4) default to 128.
        CPdfElement len = encrypt->lookup("Length");
        int bits = v_ == 4 ? 128 : 40;
        if (v_ >= 2 && len.isInteger()) bits = len.getInteger();
        if (bits < 40 || bits > 128 || bits % 8 != 0) throw CPdfException("PDF file is encrypted", kUnsupported);
        keyLen_ = static_cast<size_t>(bits / 8);
    }

    if (v_ >= 4) {
        CPdfElement stmf = encrypt->lookup("StmF");
        CPdfElement strf = encrypt->lookup("StrF");
        stmf_ = cipherByName(encrypt, stmf.isName() ? stmf.getBytes() : "Identity");
        strf_ = cipherByName(encrypt, strf.isName() ? strf.getBytes() : "Identity");
        // The named crypt filters a stream's /Crypt filter may ask for; one of a kind
        // this handler does not know is left out (a stream naming it is read with the
        // default for streams).
        CPdfElement cf = encrypt->lookup("CF");
        if (CPdfDictionary* d = cf.isDictionary() ? cf.getDictionary() : nullptr) {
            for (int i = 0; i < d->getLength() && i < 64; ++i) {
                const std::string name = d->getKey(i);
                try {
                    filters_.push_back(NamedFilter{name, cipherByName(encrypt, name)});
                } catch (const CPdfException&) {
                }
            }
        }
        if (v_ == 4 && (stmf_ == Cipher::AESV2 || strf_ == Cipher::AESV2)) keyLen_ = 16;
    } else {
        stmf_ = strf_ = Cipher::RC4;
    }
}

CPdfSecurityHandler::Cipher CPdfSecurityHandler::cipherByName(CPdfDictionary* encrypt, const std::string& name) const {
    if (name == "Identity") return Cipher::Identity;
    CPdfElement cf = encrypt->lookup("CF");
    CPdfDictionary* filters = cf.isDictionary() ? cf.getDictionary() : nullptr;
    CPdfElement entry = filters ? filters->lookup(name.c_str()) : CPdfElement();
    CPdfDictionary* d = entry.isDictionary() ? entry.getDictionary() : nullptr;
    if (!d) throw CPdfException("PDF file is encrypted", kUnsupported);
    CPdfElement cfm = d->lookup("CFM");
    if (cfm.isName("V2") && v_ == 4) return Cipher::RC4;
    if (cfm.isName("AESV2") && v_ == 4) return Cipher::AESV2;
    if (cfm.isName("AESV3") && v_ == 5) return Cipher::AESV3;
    if (cfm.isName("None") || cfm.isNull()) return Cipher::Identity;
    throw CPdfException("PDF file is encrypted", kUnsupported);
}

bool CPdfSecurityHandler::authenticate(const std::string& password) {
    owner_ = checkOwner(password);
    open_ = owner_ || checkUser(password);
    if (!open_) key_.clear();
    lastNum_ = -1;
    return open_;
}

bool CPdfSecurityHandler::allows(uint32_t bits) const {
    if (!open_) return false;
    if (owner_ || bits == 0) return true;
    return pKnown_ && (static_cast<uint32_t>(p_) & bits) == bits;
}

std::string CPdfSecurityHandler::computeKeyR2to4(const std::string& password) const {
    const std::string pw = padded(password);
    const std::string o = o_.substr(0, 32);
    const std::string p = le32(p_);
    std::string tail;
    if (r_ >= 4 && !encryptMetadata_) tail.assign(4, '\xFF');
    std::string h = PdfCrypto::digest(Hash::MD5, {&pw, &o, &p, &id0_, &tail});
    if (r_ >= 3) {
        for (int i = 0; i < 50; ++i)
            h = PdfCrypto::digest(Hash::MD5, h.substr(0, keyLen_));
    }
    return h.substr(0, keyLen_);
}

bool CPdfSecurityHandler::checkUser(const std::string& password) {
    if (r_ >= 5) {
        const std::string pw = password.substr(0, 127);
        if (hashR5R6(pw, u_.substr(32, 8), std::string()) != u_.substr(0, 32)) return false;
        const std::string k = hashR5R6(pw, u_.substr(40, 8), std::string());
        std::string fileKey;
        if (!PdfCrypto::aesCbc(false, k, std::string(16, '\0'), ue_.substr(0, 32), fileKey)) return false;
        key_ = fileKey;
        return true;
    }
    const std::string key = computeKeyR2to4(password);
    bool ok;
    if (r_ == 2) {
        ok = PdfCrypto::rc4(key, std::string(reinterpret_cast<const char*>(kPadding), 32)) == u_.substr(0, 32);
    } else {
        const std::string pad(reinterpret_cast<const char*>(kPadding), 32);
        std::string x = PdfCrypto::digest(Hash::MD5, {&pad, &id0_});
        x = PdfCrypto::rc4(key, x);
        for (int i = 1; i <= 19; ++i)
            x = PdfCrypto::rc4(xorKey(key, i), x);
        ok = x == u_.substr(0, 16);
    }
    if (ok) key_ = key;
    return ok;
}

bool CPdfSecurityHandler::checkOwner(const std::string& password) {
    if (r_ >= 5) {
        const std::string pw = password.substr(0, 127);
        const std::string udata = u_.substr(0, 48);
        if (hashR5R6(pw, o_.substr(32, 8), udata) != o_.substr(0, 32)) return false;
        const std::string k = hashR5R6(pw, o_.substr(40, 8), udata);
        std::string fileKey;
        if (!PdfCrypto::aesCbc(false, k, std::string(16, '\0'), oe_.substr(0, 32), fileKey)) return false;
        key_ = fileKey;
        return true;
    }
    // The owner password gives the key that hides the user password in /O.
    std::string h = PdfCrypto::digest(Hash::MD5, padded(password));
    if (r_ >= 3) {
        for (int i = 0; i < 50; ++i)
            h = PdfCrypto::digest(Hash::MD5, h);
    }
    const std::string key = h.substr(0, keyLen_);
    std::string user = o_.substr(0, 32);
    if (r_ == 2) {
        user = PdfCrypto::rc4(key, user);
    } else {
        for (int i = 19; i >= 0; --i)
            user = PdfCrypto::rc4(xorKey(key, i), user);
    }
    return checkUser(user);
}

std::string CPdfSecurityHandler::hashR5R6(const std::string& password, const std::string& salt,
                                          const std::string& udata) const {
    std::string k = PdfCrypto::digest(Hash::SHA256, {&password, &salt, &udata});
    if (r_ == 5) return k;
    // Revision 6: rounds of AES-128-CBC over 64 copies of password, key and user data,
    // each round hashed by SHA-256, -384 or -512 as the round's output decides.
    std::string e;
    for (int round = 0;; ++round) {
        std::string one = password + k + udata;
        std::string k1;
        k1.reserve(one.size() * 64);
        for (int i = 0; i < 64; ++i)
            k1 += one;
        if (!PdfCrypto::aesCbc(true, k.substr(0, 16), k.substr(16, 16), k1, e)) return std::string();
        unsigned sum = 0;
        for (int i = 0; i < 16; ++i)
            sum += static_cast<unsigned char>(e[static_cast<size_t>(i)]);
        const Hash next[3] = {Hash::SHA256, Hash::SHA384, Hash::SHA512};
        k = PdfCrypto::digest(next[sum % 3], e);
        if (round >= 63 && static_cast<unsigned char>(e.back()) <= static_cast<unsigned>(round + 1 - 32)) break;
    }
    return k.substr(0, 32);
}

CPdfSecurityHandler::Cipher CPdfSecurityHandler::cipherForStream(CPdfDictionary* dict) const {
    if (!dict) return stmf_;
    if (dict->isType("XRef")) return Cipher::Identity;
    if (!encryptMetadata_ && dict->isType("Metadata")) return Cipher::Identity;
    if (v_ < 4) return stmf_;
    // A /Crypt filter (first in the chain) names the crypt filter of this stream.
    CPdfElement filter = dict->lookup("Filter");
    CPdfElement parms = dict->lookup("DecodeParms");
    int index = -1;
    if (filter.isName("Crypt")) {
        index = 0;
    } else if (filter.isArray()) {
        CPdfArray* a = filter.getArray();
        for (int i = 0; i < a->getLength() && index < 0; ++i)
            if (a->get(i).isName("Crypt")) index = i;
    }
    if (index < 0) return stmf_;
    CPdfElement p = parms;
    if (parms.isArray()) p = index < parms.getArray()->getLength() ? parms.getArray()->get(index) : CPdfElement();
    CPdfElement name = p.isDictionary() ? p.getDictionary()->lookup("Name") : CPdfElement();
    const std::string n = name.isName() ? name.getBytes() : "Identity";
    if (n == "Identity") return Cipher::Identity;
    for (const NamedFilter& f : filters_)
        if (f.name == n) return f.cipher;
    return stmf_;
}

std::string CPdfSecurityHandler::objectKey(Cipher c, int32_t num, int32_t gen) const {
    if (c == Cipher::AESV3) return key_;
    if (num == lastNum_ && gen == lastGen_ && c == lastCipher_) return lastKey_;
    std::string tail(5, '\0');
    tail[0] = static_cast<char>(num & 0xFF);
    tail[1] = static_cast<char>((num >> 8) & 0xFF);
    tail[2] = static_cast<char>((num >> 16) & 0xFF);
    tail[3] = static_cast<char>(gen & 0xFF);
    tail[4] = static_cast<char>((gen >> 8) & 0xFF);
    if (c == Cipher::AESV2) tail += "sAlT";
    std::string h = PdfCrypto::digest(Hash::MD5, {&key_, &tail});
    h.resize(std::min<size_t>(key_.size() + 5, 16));
    lastNum_ = num;
    lastGen_ = gen;
    lastCipher_ = c;
    lastKey_ = h;
    return h;
}

std::string CPdfSecurityHandler::decryptData(const std::string& data, Cipher c, int32_t num, int32_t gen) const {
    if (c == Cipher::Identity) return data;
    const std::string key = objectKey(c, num, gen);
    if (c == Cipher::RC4) return PdfCrypto::rc4(key, data);
    // AES: the initialisation vector, then whole blocks; a damaged tail is dropped.
    if (data.size() < 32) return std::string();
    const size_t whole = (data.size() - 16) / 16 * 16;
    std::string out;
    if (!PdfCrypto::aesCbc(false, key, data.substr(0, 16), data.substr(16, whole), out)) return std::string();
    const unsigned char pad = static_cast<unsigned char>(out.back());
    bool ok = pad >= 1 && pad <= 16 && pad <= out.size();
    for (size_t i = 0; ok && i < pad; ++i)
        ok = static_cast<unsigned char>(out[out.size() - 1 - i]) == pad;
    if (ok) out.resize(out.size() - pad);
    return out;
}

std::string CPdfSecurityHandler::encryptData(const std::string& data, Cipher c, int32_t num, int32_t gen) const {
    if (c == Cipher::Identity) return data;
    const std::string key = objectKey(c, num, gen);
    if (c == Cipher::RC4) return PdfCrypto::rc4(key, data);
    // The initialisation vector is derived from the key and the data (a keyed hash),
    // so that the same run gives the same output, while different data never share one.
    const std::string iv = PdfCrypto::hmacSha256(key_, key + data).substr(0, 16);
    std::string plain = data;
    const size_t pad = 16 - plain.size() % 16;
    plain.append(pad, static_cast<char>(pad));
    std::string out;
    if (!PdfCrypto::aesCbc(true, key, iv, plain, out)) throw CPdfException("Internal: AES encryption failed");
    return iv + out;
}

std::string CPdfSecurityHandler::decryptString(const std::string& s, int32_t num, int32_t gen) const {
    return decryptData(s, strf_, num, gen);
}

std::string CPdfSecurityHandler::encryptString(const std::string& s, int32_t num, int32_t gen) const {
    return encryptData(s, strf_, num, gen);
}

CPdfStream* CPdfSecurityHandler::decryptStream(CPdfStream* raw, Cipher c, int32_t num, int32_t gen) const {
    if (c == Cipher::Identity || !raw) return raw;
    return new CPdfCryptStream(raw, c, objectKey(c, num, gen));
}
