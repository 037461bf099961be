#include "writer/OutputCrypt.h"

#include <cstdio>
#include <cstdlib>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfElement.h"
#include "pdf/CPdfParser.h"
#include "pdf/CPdfSecurityHandler.h"
#include "stream/CPdfMemoryStream.h"
#include "writer/PdfString.h"
#include "writer/RawText.h"

namespace OutputCrypt {

namespace {

bool IsWhite(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0'; }

bool IsDelimiter(char c) {
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == '/' ||
           c == '%';
}

bool IsRegular(char c) { return !IsWhite(c) && !IsDelimiter(c); }

// The bytes of the string token text[start, end), read by the program's own lexer.
std::string TokenBytes(const std::string& text, size_t start, size_t end) {
    CPdfParser p(nullptr, new CPdfMemoryStream(text.data() + start, end - start, CPdfElement()));
    CPdfElement v = p.readObject();
    return v.isString() ? v.getBytes() : std::string();
}

// Deepest nesting Serialize writes (the values it gets are a few levels deep).
constexpr int kMaxDepth = 32;

std::string SerializeAt(const CPdfElement& v, int depth) {
    char buf[64];
    switch (v.getKind()) {
        case CPdfElement::Boolean:
            return v.getBoolean() ? "true" : "false";
        case CPdfElement::Integer:
            std::snprintf(buf, sizeof(buf), "%ld", static_cast<long>(v.getInteger()));
            return buf;
        case CPdfElement::Real:
            std::snprintf(buf, sizeof(buf), "%f", v.getReal());
            return buf;
        case CPdfElement::String:
            return HexString(v.getBytes());
        case CPdfElement::Name: {
            std::string out = "/";
            for (unsigned char c : v.getBytes()) {
                if (c <= 0x20 || c >= 0x7F || c == '#' || IsDelimiter(static_cast<char>(c))) {
                    std::snprintf(buf, sizeof(buf), "#%02X", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
            }
            return out;
        }
        case CPdfElement::Reference:
            std::snprintf(buf, sizeof(buf), "%ld %ld R", static_cast<long>(v.getRefNum()),
                          static_cast<long>(v.getRefGen()));
            return buf;
        case CPdfElement::Array: {
            if (depth >= kMaxDepth) return "null";
            std::string out = "[";
            CPdfArray* a = v.getArray();
            for (int i = 0; i < a->getLength(); ++i) {
                if (i) out += ' ';
                out += SerializeAt(a->at(i), depth + 1);
            }
            return out + "]";
        }
        case CPdfElement::Dictionary: {
            if (depth >= kMaxDepth) return "null";
            std::string out = "<<";
            CPdfDictionary* d = v.getDictionary();
            for (int i = 0; i < d->getLength(); ++i) {
                if (i) out += ' ';
                CPdfElement key;
                key.setName(d->getKey(i).data(), d->getKey(i).size());
                out += SerializeAt(key, depth + 1);
                out += ' ';
                out += SerializeAt(d->getValue(i), depth + 1);
            }
            return out + ">>";
        }
        default:
            return "null";
    }
}

}  // namespace

std::string HexString(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2 + 2);
    out += '<';
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    out += '>';
    return out;
}

size_t RewriteStrings(std::string& text, size_t from, size_t to,
                      const std::function<std::string(const std::string&)>& fn) {
    if (to > text.size()) to = text.size();
    size_t i = from;
    while (i < to) {
        const char c = text[i];
        if (c == '%') {
            while (i < to && text[i] != '\n' && text[i] != '\r')
                ++i;
            continue;
        }
        if (c == '/') {
            ++i;
            while (i < to && IsRegular(text[i]))
                ++i;
            continue;
        }
        size_t end = std::string::npos;
        if (c == '(') {
            size_t close = FindLiteralStringEnd(text, i + 1);
            if (close == std::string::npos || close >= to) break;
            end = close + 1;
        } else if (c == '<') {
            if (i + 1 < to && text[i + 1] == '<') {
                i += 2;
                continue;
            }
            size_t close = text.find('>', i + 1);
            if (close == std::string::npos || close >= to) break;
            end = close + 1;
        } else if (IsRegular(c)) {
            size_t e = i;
            while (e < to && IsRegular(text[e]))
                ++e;
            if (text.compare(i, e - i, "stream") == 0) break;  // the rest is stream data
            i = e;
            continue;
        } else {
            ++i;
            continue;
        }
        const std::string token = fn(TokenBytes(text, i, end));
        text.replace(i, end - i, token);
        to = to + token.size() - (end - i);
        i += token.size();
    }
    return to;
}

size_t EncryptStrings(const CPdfSecurityHandler& h, std::string& text, size_t from, size_t to, int32_t num,
                      int32_t gen) {
    return RewriteStrings(text, from, to,
                          [&](const std::string& s) { return HexString(h.encryptString(s, num, gen)); });
}

size_t DecryptStrings(const CPdfSecurityHandler& h, std::string& text, size_t from, size_t to, int32_t num,
                      int32_t gen) {
    return RewriteStrings(text, from, to,
                          [&](const std::string& s) { return HexString(h.decryptString(s, num, gen)); });
}

std::string EncryptNewObject(const CPdfSecurityHandler& h, const std::string& body, int32_t num) {
    const size_t open = body.find("<<");
    const size_t dictEnd = open == std::string::npos ? std::string::npos : RawText::ValueEnd(body, open);
    if (dictEnd == std::string::npos) {
        std::string out = body;
        EncryptStrings(h, out, 0, out.size(), num, 0);
        return out;
    }
    std::string head = body.substr(0, dictEnd);
    std::string rest = body.substr(dictEnd);
    // Stream data: the bytes after the end of line that follows "stream", /Length long.
    size_t p = RawText::SkipSpace(rest, 0);
    size_t keyPos = RawText::FindKey(head, open, "Length");
    size_t ls, le;
    if (rest.compare(p, 6, "stream") == 0 && keyPos != RawText::npos && RawText::ValueSpan(head, keyPos, ls, le)) {
        size_t data = p + 6;
        if (data < rest.size() && rest[data] == '\r') ++data;
        if (data < rest.size() && rest[data] == '\n') ++data;
        const long len = std::strtol(head.c_str() + ls, nullptr, 10);
        if (len >= 0 && data + static_cast<size_t>(len) <= rest.size()) {
            const CPdfSecurityHandler::Cipher c = h.streamCipher();
            const std::string enc = h.encryptData(rest.substr(data, static_cast<size_t>(len)), c, num, 0);
            rest.replace(data, static_cast<size_t>(len), enc);
            head.replace(ls, le - ls, std::to_string(enc.size()));
        }
    }
    EncryptStrings(h, head, 0, head.size(), num, 0);
    return head + rest;
}

std::string Serialize(const CPdfElement& value) { return SerializeAt(value, 0); }

}  // namespace OutputCrypt
