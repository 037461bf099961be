#include "pdf/CPdfRawScan.h"

#include <algorithm>
#include <map>

namespace {

int HexValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

const size_t kWordCap = 32;
// Containers nested deeper than this are stepped over as a whole, as the parser does.
const int kMaxDepth = 256;

bool IsInteger(const std::string& w) { return w.find('.') == std::string::npos; }

// Steps over the rest of a container whose opening token was just read, counting
// openings and closings of both kinds, as the parser does beyond its depth limit.
void SkipNested(CPdfByteCursor& c) {
    size_t open = 1;
    for (;;) {
        CPdfRawScan::Token t = CPdfRawScan::Next(c);
        if (t == CPdfRawScan::kEnd) return;
        if (t == CPdfRawScan::kArrayOpen || t == CPdfRawScan::kDictOpen)
            ++open;
        else if ((t == CPdfRawScan::kArrayClose || t == CPdfRawScan::kDictClose) && --open == 0)
            return;
    }
}

// Reads one value the way the parser's readObject does (arrays, dictionaries with
// their dropped stray tokens, "n g R" references); *start receives where it begins.
// False at the end of the input.
bool SkipValue(CPdfMemoryCursor& c, int depth, int64_t* start) {
    std::string w;
    CPdfRawScan::Token t = CPdfRawScan::Next(c, &w, start);
    switch (t) {
        case CPdfRawScan::kEnd:
            return false;
        case CPdfRawScan::kArrayOpen:
            if (depth >= kMaxDepth) {
                SkipNested(c);
                return true;
            }
            for (;;) {
                const int64_t at = c.pos();
                CPdfRawScan::Token u = CPdfRawScan::Next(c);
                if (u == CPdfRawScan::kArrayClose || u == CPdfRawScan::kEnd) return true;
                c.seek(at);
                SkipValue(c, depth + 1, nullptr);
            }
        case CPdfRawScan::kDictOpen:
            if (depth >= kMaxDepth) {
                SkipNested(c);
                return true;
            }
            for (;;) {
                CPdfRawScan::Token u = CPdfRawScan::Next(c);
                if (u == CPdfRawScan::kDictClose || u == CPdfRawScan::kEnd) return true;
                if (u != CPdfRawScan::kName) continue;  // a stray token in key position is dropped
                const int64_t at = c.pos();
                CPdfRawScan::Token v = CPdfRawScan::Next(c);
                if (v == CPdfRawScan::kEnd) return true;
                if (v == CPdfRawScan::kOther) continue;  // a key without a value
                c.seek(at);
                SkipValue(c, depth + 1, nullptr);
            }
        case CPdfRawScan::kNumber: {
            if (!IsInteger(w)) return true;
            const int64_t at = c.pos();
            std::string g, r;
            if (CPdfRawScan::Next(c, &g) == CPdfRawScan::kNumber && IsInteger(g) &&
                CPdfRawScan::Next(c, &r) == CPdfRawScan::kKeyword && r == "R")
                return true;
            c.seek(at);
            return true;
        }
        default:
            return true;
    }
}

// Reads one value as SkipValue does, noting the span of every value on the way whose
// path (at) is one of those wanted.
struct Collector {
    const std::string& text;
    std::map<std::vector<CPdfRawStep>, size_t> wanted;
    std::vector<std::pair<size_t, size_t>>& spans;
    size_t left;     // wanted paths not found yet
    size_t longest;  // the longest wanted path
    std::vector<CPdfRawStep> at;

    bool value(CPdfMemoryCursor& c, int depth);
};

// The bytes of a name token whose body is text[b, e), with its escapes decoded as the
// lexer decodes them.
std::string DecodeName(const std::string& text, size_t b, size_t e) {
    std::string out;
    for (size_t i = b; i < e; ++i) {
        const unsigned char ch = static_cast<unsigned char>(text[i]);
        if (ch == '#' && i + 1 < e && HexValue(static_cast<unsigned char>(text[i + 1])) >= 0) {
            const int hv = HexValue(static_cast<unsigned char>(text[i + 1]));
            const int lv = i + 2 < e ? HexValue(static_cast<unsigned char>(text[i + 2])) : -1;
            out.push_back(static_cast<char>((hv << 4) | (lv >= 0 ? lv : 0)));
            i += 2;
        } else {
            out.push_back(static_cast<char>(ch));
        }
    }
    return out;
}

bool Collector::value(CPdfMemoryCursor& c, int depth) {
    const int64_t before = c.pos();
    int64_t start;
    CPdfRawScan::Token t = CPdfRawScan::Next(c, nullptr, &start);
    if (t == CPdfRawScan::kEnd) return false;
    const bool deeper = at.size() < longest && depth < kMaxDepth && left > 0;
    if (deeper && t == CPdfRawScan::kArrayOpen) {
        for (int i = 0;; ++i) {
            const int64_t item = c.pos();
            CPdfRawScan::Token u = CPdfRawScan::Next(c);
            if (u == CPdfRawScan::kArrayClose || u == CPdfRawScan::kEnd) break;
            c.seek(item);
            at.push_back(CPdfRawStep{std::string(), i});
            value(c, depth + 1);
            at.pop_back();
        }
    } else if (deeper && t == CPdfRawScan::kDictOpen) {
        for (;;) {
            int64_t keyStart;
            CPdfRawScan::Token u = CPdfRawScan::Next(c, nullptr, &keyStart);
            if (u == CPdfRawScan::kDictClose || u == CPdfRawScan::kEnd) break;
            if (u != CPdfRawScan::kName) continue;
            const size_t keyEnd = static_cast<size_t>(c.pos());
            const int64_t v = c.pos();
            CPdfRawScan::Token w = CPdfRawScan::Next(c);
            if (w == CPdfRawScan::kEnd) break;
            if (w == CPdfRawScan::kOther) continue;
            c.seek(v);
            at.push_back(CPdfRawStep{DecodeName(text, static_cast<size_t>(keyStart) + 1, keyEnd), 0});
            // A repeated key: the first value counts, as in the parser.
            value(c, depth + 1);
            at.pop_back();
        }
    } else {
        c.seek(before);
        SkipValue(c, depth, nullptr);
    }
    auto it = wanted.find(at);
    if (it != wanted.end() && spans[it->second].second == 0) {
        spans[it->second] = {static_cast<size_t>(start), static_cast<size_t>(c.pos())};
        --left;
    }
    return true;
}

}  // namespace

CPdfMemoryCursor::CPdfMemoryCursor(const void* data, size_t len, size_t at) {
    chunk_ = static_cast<const unsigned char*>(data);
    end_ = chunk_ + len;
    cur_ = chunk_ + (at < len ? at : len);
}

void CPdfMemoryCursor::seek(int64_t p) {
    const int64_t len = end_ - chunk_;
    cur_ = chunk_ + (p < 0 ? 0 : p > len ? len : p);
}

namespace CPdfRawScan {

// White space: NUL, tab, line feed, form feed, carriage return, space. Delimiters:
// % ( ) / < > [ ] { }.
const unsigned char kClass[256] = {
    1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0,
    2, 0, 0, 2, 2, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

Token Next(CPdfByteCursor& c, std::string* word, int64_t* start, bool* unclosed) {
    if (unclosed) *unclosed = false;
    int ch;
    for (;;) {
        ch = c.peek();
        if (ch < 0) {
            if (start) *start = c.pos();
            return kEnd;
        }
        if (CPdfRawScan::kClass[ch] == 1) {
            c.get();
            continue;
        }
        if (ch == '%') {
            // A comment runs up to and including the next CR or LF.
            c.get();
            for (;;) {
                int d = c.get();
                if (d < 0 || d == '\r' || d == '\n') break;
            }
            continue;
        }
        break;
    }
    if (start) *start = c.pos();
    c.get();
    if (word) word->clear();
    switch (ch) {
        case '(': {
            int depth = 1;
            for (;;) {
                int d = c.get();
                if (d < 0) {
                    if (unclosed) *unclosed = true;
                    return kString;
                }
                if (d == '\\') {
                    c.get();  // the escaped byte, a parenthesis included
                } else if (d == '(') {
                    ++depth;
                } else if (d == ')' && --depth == 0) {
                    return kString;
                }
            }
        }
        case '<':
            if (c.peek() == '<') {
                c.get();
                return kDictOpen;
            }
            for (;;) {
                int d = c.get();
                if (d < 0 && unclosed) *unclosed = true;
                if (d < 0 || d == '>') return kHexString;
            }
        case '>':
            if (c.peek() == '>') {
                c.get();
                return kDictClose;
            }
            return kOther;
        case '[':
            return kArrayOpen;
        case ']':
            return kArrayClose;
        case ')':
        case '{':
        case '}':
            return kOther;
        case '/':
            for (;;) {
                int p = c.peek();
                if (!IsRegular(p)) break;
                c.get();
                // "#" and a hex digit take the byte after them whatever it is.
                if (p == '#' && HexValue(c.peek()) >= 0) {
                    c.get();
                    c.get();
                }
            }
            return kName;
        default:
            break;
    }
    if (ch == '-' || ch == '+' || ch == '.' || (ch >= '0' && ch <= '9')) {
        if (word) word->push_back(static_cast<char>(ch));
        for (;;) {
            int p = c.peek();
            if (!((p >= '0' && p <= '9') || p == '.')) break;
            c.get();
            if (word && word->size() < kWordCap) word->push_back(static_cast<char>(p));
        }
        return kNumber;
    }
    if (word) word->push_back(static_cast<char>(ch));
    while (IsRegular(c.peek())) {
        int p = c.get();
        if (word && word->size() < kWordCap) word->push_back(static_cast<char>(p));
    }
    return kKeyword;
}

ObjectEnd ScanObject(CPdfByteCursor& c) {
    std::string w;
    Token prev = kEnd;
    // Whether the last two tokens were integers: "n g obj" is the header of an object.
    bool intBefore = false, intLast = false;
    for (;;) {
        Token t = Next(c, &w);
        if (t == kEnd) return kNoEnd;
        if (t == kKeyword) {
            if (w == "endobj") return kAtEndobj;
            if (prev == kDictClose && w == "stream") return kAtStream;
            if (intBefore && intLast && w == "obj") return kAtObject;
        }
        intBefore = intLast;
        intLast = t == kNumber && IsInteger(w) && !w.empty() && w[0] != '-' && w[0] != '+';
        prev = t;
    }
}

bool ReadCompleteValue(CPdfMemoryCursor& c) {
    // Open containers, innermost last: an array ends only at "]" and a dictionary only
    // at ">>"; inside either, any other token is an item (or a dropped stray key).
    std::vector<Token> open;
    std::string w;
    for (;;) {
        bool unclosed = false;
        const Token t = Next(c, &w, nullptr, &unclosed);
        if (t == kEnd || unclosed) return false;
        if (t == kArrayOpen || t == kDictOpen) {
            open.push_back(t);
            continue;
        }
        if (!open.empty()) {
            if ((t == kArrayClose && open.back() == kArrayOpen) || (t == kDictClose && open.back() == kDictOpen)) {
                open.pop_back();
                if (open.empty()) return true;
            }
            continue;
        }
        switch (t) {
            case kNumber: {
                if (!IsInteger(w)) return true;
                // "n g R" is one value.
                const int64_t at = c.pos();
                std::string g, r;
                if (Next(c, &g) == kNumber && IsInteger(g) && Next(c, &r) == kKeyword && r == "R") return true;
                c.seek(at);
                return true;
            }
            case kString:
            case kHexString:
            case kName:
                return true;
            case kKeyword:
                return w == "true" || w == "false" || w == "null";
            default:
                return false;
        }
    }
}

void SkipLineEnd(CPdfByteCursor& c) {
    for (;;) {
        int d = c.get();
        if (d < 0 || d == '\n') return;
        if (d == '\r') {
            if (c.peek() == '\n') c.get();
            return;
        }
    }
}

bool LocateValue(const std::string& text, const std::vector<CPdfRawStep>& path, size_t& start, size_t& end) {
    CPdfMemoryCursor c(text);
    std::string w;
    if (Next(c, &w) != kNumber || Next(c, &w) != kNumber || Next(c, &w) != kKeyword || w != "obj") return false;
    for (const CPdfRawStep& step : path) {
        Token t = Next(c);
        if (!step.key.empty()) {
            if (t != kDictOpen) return false;
            for (;;) {
                int64_t keyStart;
                Token u = Next(c, nullptr, &keyStart);
                if (u == kDictClose || u == kEnd) return false;
                if (u != kName) continue;
                const std::string key =
                    DecodeName(text, static_cast<size_t>(keyStart) + 1, static_cast<size_t>(c.pos()));
                const int64_t at = c.pos();
                Token v = Next(c);
                if (v == kEnd) return false;
                if (v == kOther) continue;
                c.seek(at);
                if (key == step.key) break;  // the first occurrence of a key is the one that counts
                SkipValue(c, 1, nullptr);
            }
        } else {
            if (t != kArrayOpen) return false;
            for (int i = 0;; ++i) {
                const int64_t at = c.pos();
                Token u = Next(c);
                if (u == kArrayClose || u == kEnd) return false;
                c.seek(at);
                if (i == step.index) break;
                SkipValue(c, 1, nullptr);
            }
        }
    }
    int64_t s;
    if (!SkipValue(c, 0, &s)) return false;
    start = static_cast<size_t>(s);
    end = static_cast<size_t>(c.pos());
    return end > start;
}

std::vector<std::pair<size_t, size_t>> LocateValues(const std::string& text,
                                                    const std::vector<std::vector<CPdfRawStep>>& paths) {
    std::vector<std::pair<size_t, size_t>> spans(paths.size(), {0, 0});
    Collector col{text, {}, spans, 0, 0, {}};
    for (size_t i = 0; i < paths.size(); ++i) {
        if (col.wanted.emplace(paths[i], i).second) {
            ++col.left;
            col.longest = std::max(col.longest, paths[i].size());
        }
    }
    CPdfMemoryCursor c(text);
    std::string w;
    if (Next(c, &w) != kNumber || Next(c, &w) != kNumber || Next(c, &w) != kKeyword || w != "obj") return spans;
    col.value(c, 0);
    return spans;
}

}  // namespace CPdfRawScan
