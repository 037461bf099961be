#pragma once
// The standard security handler of encrypted PDF files (revisions 2 to 6): checks a
// password against the encryption dictionary, derives the file key, and decrypts and
// encrypts the strings and streams of each object with that object's key (RC4 40 to
// 128 bits, AES-128 and AES-256, crypt filters including Identity).
#include <cstdint>
#include <string>
#include <vector>

class CPdfDictionary;
class CPdfStream;

class CPdfSecurityHandler {
public:
    enum class Cipher { Identity, RC4, AESV2, AESV3 };

    /// Permission bits of /P (bit n of the PDF numbering is 1 << (n - 1)).
    static constexpr uint32_t kPermModify = 1u << 3;    ///< change the page content
    static constexpr uint32_t kPermAnnotate = 1u << 5;  ///< add or change annotations

    /// Reads the encryption dictionary (whose strings are never encrypted) and the
    /// first string of the trailer's /ID (empty when there is none). Throws
    /// CPdfException "PDF file is encrypted" with a reason when the method is not one
    /// this handler implements.
    CPdfSecurityHandler(CPdfDictionary* encrypt, const std::string& id0);

    /// The first /ID string the file key is made from.
    const std::string& fileId() const { return id0_; }

    /// Tries password as the owner password, then as the user password; true when one
    /// fits, and the file key is known from then on.
    bool authenticate(const std::string& password);
    /// True when the password given opened the file as its owner: no restrictions.
    bool ownerAccess() const { return owner_; }
    /// True when every bit of bits is granted by /P (always with owner access).
    bool allows(uint32_t bits) const;

    int getVersion() const { return v_; }
    int getRevision() const { return r_; }
    int32_t getPermissions() const { return p_; }
    bool encryptsMetadata() const { return encryptMetadata_; }
    const std::string& fileKey() const { return key_; }
    Cipher stringCipher() const { return strf_; }
    Cipher streamCipher() const { return stmf_; }

    /// The cipher of the data of a stream object with dictionary dict: none for
    /// cross-reference streams and, when metadata stays clear, for metadata streams;
    /// the crypt filter a /Crypt filter names; else the default for streams.
    Cipher cipherForStream(CPdfDictionary* dict) const;

    /// The key of object (num, gen) for cipher c.
    std::string objectKey(Cipher c, int32_t num, int32_t gen) const;
    /// A string of object (num, gen) as the file holds it, decrypted.
    std::string decryptString(const std::string& s, int32_t num, int32_t gen) const;
    /// A string for object (num, gen), encrypted as the file's strings are.
    std::string encryptString(const std::string& s, int32_t num, int32_t gen) const;
    /// Data for cipher c of object (num, gen) decrypted / encrypted in one piece.
    std::string decryptData(const std::string& data, Cipher c, int32_t num, int32_t gen) const;
    std::string encryptData(const std::string& data, Cipher c, int32_t num, int32_t gen) const;
    /// A stream giving raw decrypted; takes over the caller's reference of raw. raw
    /// itself (unchanged) for the Identity cipher.
    CPdfStream* decryptStream(CPdfStream* raw, Cipher c, int32_t num, int32_t gen) const;

    /// The file key and user-password check of revisions 2 to 4 for a given password
    /// (exposed for tests): the key, whether or not the password fits.
    std::string computeKeyR2to4(const std::string& password) const;

private:
    Cipher cipherByName(CPdfDictionary* encrypt, const std::string& name) const;
    bool checkUser(const std::string& password);
    bool checkOwner(const std::string& password);
    std::string hashR5R6(const std::string& password, const std::string& salt, const std::string& udata) const;

    int v_ = 0;
    int r_ = 0;
    int32_t p_ = 0;
    bool pKnown_ = true;
    size_t keyLen_ = 5;  ///< bytes of the file key
    bool encryptMetadata_ = true;
    std::string o_, u_, oe_, ue_;
    std::string id0_;
    Cipher stmf_ = Cipher::RC4;
    Cipher strf_ = Cipher::RC4;
    struct NamedFilter {
        std::string name;
        Cipher cipher;
    };
    std::vector<NamedFilter> filters_;  ///< the crypt filters of /CF that can be used
    std::string key_;
    bool owner_ = false;
    bool open_ = false;

    // The key of the object used last: the strings of one object share it.
    mutable int32_t lastNum_ = -1, lastGen_ = -1;
    mutable Cipher lastCipher_ = Cipher::Identity;
    mutable std::string lastKey_;
};
