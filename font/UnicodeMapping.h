#pragma once
// Map from character codes to Unicode values, filled from ToUnicode CMaps.
// Single values live in a table indexed by code; codes with several values
// (ligatures and the like) keep a short sequence each.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct MultiUnicodeEntry {
    uint32_t code;
    uint32_t values[8];
    uint32_t count;
};

class UnicodeMapping {
public:
    /// Codes up to this live in the table indexed by code; larger (three- and four-byte)
    /// codes in a small hash map. A hostile CMap must not make either huge: the map and
    /// the sequences hold at most kMaxEntries codes each, further codes are ignored.
    static constexpr uint32_t kMaxDirectCode = 0xFFFF;
    static constexpr size_t kMaxEntries = 65536;

    UnicodeMapping();

    /// Maps code to the hexadecimal digits hex[0..digitCount): up to 4 digits give
    /// one value (plus offset); more give a sequence of digitCount / 4 values (at most
    /// 8), offset added to the last one.
    void addEntry(uint32_t code, const char* hex, int digitCount, uint32_t offset);
    /// Writes up to capacity values of code into out; returns how many were written.
    int lookupUnicode(uint32_t code, uint32_t* out, int capacity) const;

    /// Number of codes the direct table covers now.
    size_t directSize() const { return direct_.size(); }
    size_t sequenceCount() const { return sequences_.size(); }

    std::string collection;

private:
    std::vector<uint32_t> direct_;
    std::unordered_map<uint32_t, uint32_t> wide_;  // codes above kMaxDirectCode
    std::vector<MultiUnicodeEntry> sequences_;
    // First sequence of each code: lookups then need no linear search. Only the first
    // sequence of a code can ever be answered, so later ones are not stored.
    std::unordered_map<uint32_t, uint32_t> firstSequence_;
};
