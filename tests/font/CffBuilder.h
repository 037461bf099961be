#pragma once
// Builds small CFF font programs for tests.
#include <string>
#include <vector>

namespace cfftest {

inline std::string u16(int v) { return std::string{static_cast<char>((v >> 8) & 0xff), static_cast<char>(v & 0xff)}; }

// INDEX with one-byte offsets (four-byte when the data is large).
inline std::string index(const std::vector<std::string>& items) {
    if (items.empty()) return u16(0);
    size_t total = 1;
    for (auto& i : items)
        total += i.size();
    int offSize = total > 255 ? 4 : 1;
    std::string out = u16(static_cast<int>(items.size()));
    out += static_cast<char>(offSize);
    size_t off = 1;
    auto put = [&](size_t v) {
        for (int s = (offSize - 1) * 8; s >= 0; s -= 8)
            out += static_cast<char>((v >> s) & 0xff);
    };
    put(off);
    for (auto& i : items) {
        off += i.size();
        put(off);
    }
    for (auto& i : items)
        out += i;
    return out;
}

// A DICT integer operand in the fixed five-byte form.
inline std::string int5(long v) {
    std::string s(1, 29);
    for (int sh = 24; sh >= 0; sh -= 8)
        s += static_cast<char>((v >> sh) & 0xff);
    return s;
}
inline std::string op(int o) {
    return o >= 0x0c00 ? std::string{12, static_cast<char>(o & 0xff)} : std::string(1, static_cast<char>(o));
}

struct CffSpec {
    std::string name = "TestFont";
    std::vector<std::string> strings = {"myglyph"};
    std::string gsubrs = u16(0);
    std::string extraTop;  // more Top DICT entries, placed first
    std::string charset;   // raw charset data, or empty for predefined
    int predefinedCharset = 0;
    std::string encoding;  // raw encoding data, or empty for predefined
    int predefinedEncoding = 0;
    int glyphs = 4;
    std::string privateDict = std::string{static_cast<char>(139 + 10), 20};  // defaultWidthX 10
    bool cid = false;
    bool noCharStrings = false;
    std::string fdArray;  // for CID fonts: the FDArray INDEX items (dict bytes)
    std::string fdSelect;
};

inline std::string build(const CffSpec& s) {
    std::string header("\x01\x00\x04\x04", 4);
    std::string nameIdx = index({s.name});
    std::string stringIdx = index(s.strings);
    std::vector<std::string> cs(static_cast<size_t>(s.glyphs), std::string(1, '\x0e'));  // endchar
    std::string charStrings = index(cs);
    // Layout after the Global Subr INDEX: charset, encoding, CharStrings, Private, FDSelect, FDArray.
    auto topFor = [&](long charsetOff, long encOff, long csOff, long privOff, long fdsOff, long fdaOff) {
        std::string t;
        if (s.cid) t += int5(0) + int5(0) + int5(0) + op(0x0c1e);
        t += s.extraTop;
        t += int5(charsetOff) + op(15);
        if (!s.cid) t += int5(encOff) + op(16);
        if (!s.noCharStrings) t += int5(csOff) + op(17);
        if (!s.cid) t += int5(static_cast<long>(s.privateDict.size())) + int5(privOff) + op(18);
        if (s.cid) t += int5(fdsOff) + op(0x0c25) + int5(fdaOff) + op(0x0c24);
        return t;
    };
    std::string top = topFor(0, 0, 0, 0, 0, 0);
    long base =
        static_cast<long>(header.size() + nameIdx.size() + index({top}).size() + stringIdx.size() + s.gsubrs.size());
    long charsetOff = s.charset.empty() ? s.predefinedCharset : base;
    long encOff = s.encoding.empty() ? s.predefinedEncoding : base + static_cast<long>(s.charset.size());
    long csOff = base + static_cast<long>(s.charset.size() + s.encoding.size());
    long privOff = csOff + static_cast<long>(charStrings.size());
    long fdsOff = privOff + static_cast<long>(s.privateDict.size());
    long fdaOff = fdsOff + static_cast<long>(s.fdSelect.size());
    top = topFor(charsetOff, encOff, csOff, privOff, fdsOff, fdaOff);
    return header + nameIdx + index({top}) + stringIdx + s.gsubrs + s.charset + s.encoding + charStrings +
           s.privateDict + s.fdSelect + s.fdArray;
}

}  // namespace cfftest
