#include "font/UnicodeMapping.h"

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the leading hexadecimal digits of s[0..n) (at most 8 of them matter); false
// when s does not start with a digit.
bool scanHex(const char* s, int n, uint32_t* out) {
    uint32_t v = 0;
    int i = 0;
    for (; i < n; ++i) {
        int d = hexValue(s[i]);
        if (d < 0) break;
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    if (i == 0) return false;
    *out = v;
    return true;
}

}  // namespace

UnicodeMapping::UnicodeMapping() : direct_(256, 0) {}

void UnicodeMapping::addEntry(uint32_t code, const char* hex, int digitCount, uint32_t offset) {
    if (digitCount < 0) return;
    const bool wide = code > kMaxDirectCode;
    if (!wide && code >= direct_.size()) {
        direct_.resize((static_cast<size_t>(code) + 256) & ~static_cast<size_t>(255), 0);
    }
    if (digitCount > 4) {
        MultiUnicodeEntry e{};
        e.code = code;
        int count = digitCount / 4;
        if (count > 8) count = 8;
        for (int i = 0; i < count; ++i) {
            uint32_t v = 0;
            scanHex(hex + 4 * i, 4, &v);
            e.values[i] = v;
        }
        e.values[count - 1] += offset;
        e.count = static_cast<uint32_t>(count);
        if (wide)
            wide_.erase(code);
        else
            direct_[code] = 0;
        if (firstSequence_.find(code) == firstSequence_.end() && sequences_.size() < kMaxEntries) {
            firstSequence_.emplace(code, static_cast<uint32_t>(sequences_.size()));
            sequences_.push_back(e);
        }
        return;
    }
    uint32_t v;
    if (!scanHex(hex, digitCount, &v)) return;
    if (!wide) {
        direct_[code] = v + offset;
    } else {
        auto it = wide_.find(code);
        if (it != wide_.end())
            it->second = v + offset;
        else if (wide_.size() < kMaxEntries)
            wide_.emplace(code, v + offset);
    }
}

int UnicodeMapping::lookupUnicode(uint32_t code, uint32_t* out, int capacity) const {
    uint32_t v = 0;
    if (code > kMaxDirectCode) {
        auto it = wide_.find(code);
        if (it != wide_.end()) v = it->second;
    } else if (code < direct_.size()) {
        v = direct_[code];
    } else {
        return 0;
    }
    if (v != 0) {
        if (capacity < 1) return 0;
        out[0] = v;
        return 1;
    }
    if (sequences_.empty()) return 0;
    auto it = firstSequence_.find(code);
    if (it == firstSequence_.end()) return 0;
    const MultiUnicodeEntry& e = sequences_[it->second];
    int n = static_cast<int>(e.count) < capacity ? static_cast<int>(e.count) : capacity;
    for (int i = 0; i < n; ++i)
        out[i] = e.values[i];
    return n < 0 ? 0 : n;
}
