#pragma once
// Strings and streams of the output of an encrypted input. Objects copied from the
// file keep their bytes (they stay encrypted under their own number and generation);
// what the program writes anew is encrypted here with the key of the object it goes
// into: strings inserted into an object, whole objects that come out of an object
// stream (whose text is plain), and new objects with their stream data.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class CPdfElement;
class CPdfSecurityHandler;

namespace OutputCrypt {

/// Bytes as a hexadecimal string token "<...>".
std::string HexString(const std::string& bytes);

/// Calls fn with the bytes of every string token (literal or hexadecimal) of
/// text[from, to) in order and puts the token fn returns in its place. Comments, names
/// and the data after a "stream" keyword are stepped over. Returns the new end of the
/// range.
size_t RewriteStrings(std::string& text, size_t from, size_t to,
                      const std::function<std::string(const std::string&)>& fn);

/// Every string of text[from, to) encrypted with the key of object (num, gen).
size_t EncryptStrings(const CPdfSecurityHandler& h, std::string& text, size_t from, size_t to, int32_t num,
                      int32_t gen);
/// Every string of text[from, to), encrypted with the key of (num, gen), decrypted
/// (written as hexadecimal strings, which hold any byte).
size_t DecryptStrings(const CPdfSecurityHandler& h, std::string& text, size_t from, size_t to, int32_t num,
                      int32_t gen);

/// A new object body (" 0 obj\n<<...>>[stream...endstream]\nendobj\n") made ready to be
/// object (num, 0): its strings and its stream data encrypted, /Length set to the
/// length of the encrypted data.
std::string EncryptNewObject(const CPdfSecurityHandler& h, const std::string& body, int32_t num);

/// A direct value written as PDF text (strings as hexadecimal strings), for the
/// trailer's copies of the input's /ID and of a direct encryption dictionary.
std::string Serialize(const CPdfElement& value);

}  // namespace OutputCrypt
