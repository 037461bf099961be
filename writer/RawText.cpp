#include "writer/RawText.h"

#include <cstring>

#include "writer/PdfString.h"

namespace RawText {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0'; }

bool IsDelimiter(char c) {
    return IsSpace(c) || c == '/' || c == '[' || c == ']' || c == '<' || c == '>' || c == '(' || c == ')' || c == '{' ||
           c == '}' || c == '%';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// End of a run of regular characters (a name body, number or keyword).
size_t TokenEnd(const std::string& t, size_t p) {
    while (p < t.size() && !IsDelimiter(t[p]))
        ++p;
    return p;
}

// End of a hex string "<...>" starting at p; npos when not closed.
size_t HexEnd(const std::string& t, size_t p) {
    size_t q = t.find('>', p + 1);
    return q == std::string::npos ? npos : q + 1;
}

// True when t[p..) is an unsigned integer token.
bool IsIntegerAt(const std::string& t, size_t p, size_t& end) {
    size_t e = p;
    while (e < t.size() && IsDigit(t[e]))
        ++e;
    if (e == p || (e < t.size() && !IsDelimiter(t[e]))) return false;
    end = e;
    return true;
}

// End of a dictionary or array opened at p, nesting counted without recursion.
size_t ContainerEnd(const std::string& t, size_t p) {
    int depth = 0;
    size_t i = p;
    while (i < t.size()) {
        char c = t[i];
        if (c == '%') {
            while (i < t.size() && t[i] != '\n' && t[i] != '\r')
                ++i;
            continue;
        }
        if (c == '(') {
            size_t e = FindLiteralStringEnd(t, i + 1);
            if (e == std::string::npos) return npos;
            i = e + 1;
            continue;
        }
        if (c == '<') {
            if (i + 1 < t.size() && t[i + 1] == '<') {
                ++depth;
                i += 2;
                continue;
            }
            size_t e = HexEnd(t, i);
            if (e == npos) return npos;
            i = e;
            continue;
        }
        if (c == '>' && i + 1 < t.size() && t[i + 1] == '>') {
            --depth;
            i += 2;
            if (depth == 0) return i;
            continue;
        }
        if (c == '[') {
            ++depth;
        } else if (c == ']') {
            --depth;
            if (depth == 0) return i + 1;
        }
        ++i;
    }
    return npos;
}

}  // namespace

size_t BodyStart(const std::string& t) {
    // "num gen obj" at the very start; a header never runs longer than a few dozen bytes.
    size_t limit = t.size() < 64 ? t.size() : 64;
    for (size_t i = 0; i + 3 <= limit; ++i) {
        if (t.compare(i, 3, "obj") == 0) return i + 3;
    }
    return 0;
}

size_t FindDictOpen(const std::string& t, size_t from) {
    if (from >= t.size()) return npos;
    return t.find("<<", from);
}

size_t FindArrayOpen(const std::string& t, size_t from) {
    size_t p = SkipSpace(t, from);
    if (p < t.size() && t[p] == '[') return p;
    return npos;
}

size_t SkipSpace(const std::string& t, size_t p) {
    while (p < t.size()) {
        if (IsSpace(t[p])) {
            ++p;
        } else if (t[p] == '%') {
            while (p < t.size() && t[p] != '\n' && t[p] != '\r')
                ++p;
        } else {
            break;
        }
    }
    return p;
}

size_t ValueEnd(const std::string& t, size_t p) {
    if (p >= t.size()) return npos;
    char c = t[p];
    if (c == '[' || (c == '<' && p + 1 < t.size() && t[p + 1] == '<')) return ContainerEnd(t, p);
    if (c == '<') return HexEnd(t, p);
    if (c == '(') {
        size_t e = FindLiteralStringEnd(t, p + 1);
        return e == std::string::npos ? npos : e + 1;
    }
    if (c == '/') return TokenEnd(t, p + 1);
    if (IsDelimiter(c)) return npos;
    // A number, a keyword, or the first number of an "n g R" reference.
    size_t e1;
    if (IsIntegerAt(t, p, e1)) {
        size_t p2 = SkipSpace(t, e1);
        size_t e2;
        if (p2 < t.size() && IsIntegerAt(t, p2, e2)) {
            size_t p3 = SkipSpace(t, e2);
            if (p3 < t.size() && t[p3] == 'R' && (p3 + 1 == t.size() || IsDelimiter(t[p3 + 1]))) return p3 + 1;
        }
        return e1;
    }
    return TokenEnd(t, p);
}

size_t FindKey(const std::string& t, size_t dictOpen, const char* key) {
    if (dictOpen == npos || dictOpen + 1 >= t.size() || t[dictOpen] != '<' || t[dictOpen + 1] != '<') return npos;
    const size_t keyLen = std::strlen(key);
    size_t p = dictOpen + 2;
    while (true) {
        p = SkipSpace(t, p);
        if (p >= t.size()) return npos;
        if (t[p] == '>') return npos;  // end of the dictionary
        if (t[p] != '/') {
            // Not a key where one belongs: step over the stray value and go on.
            size_t e = ValueEnd(t, p);
            if (e == npos || e <= p) return npos;
            p = e;
            continue;
        }
        size_t nameEnd = TokenEnd(t, p + 1);
        bool match = nameEnd - (p + 1) == keyLen && t.compare(p + 1, keyLen, key) == 0;
        if (match) return p;
        size_t v = SkipSpace(t, nameEnd);
        if (v >= t.size()) return npos;
        if (t[v] == '>') return npos;  // a key without a value closes the dictionary
        size_t e = ValueEnd(t, v);
        if (e == npos || e <= v) return npos;
        p = e;
    }
}

bool ValueSpan(const std::string& t, size_t keyPos, size_t& start, size_t& end) {
    if (keyPos == npos || keyPos >= t.size() || t[keyPos] != '/') return false;
    size_t nameEnd = TokenEnd(t, keyPos + 1);
    start = SkipSpace(t, nameEnd);
    if (start >= t.size()) return false;
    if (t[start] == '>' && start + 1 < t.size() && t[start + 1] == '>') return false;
    end = ValueEnd(t, start);
    return end != npos && end > start;
}

}  // namespace RawText
