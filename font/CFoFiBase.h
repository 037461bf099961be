#pragma once
// Base of the embedded font program readers: the program bytes and reads that are
// checked against their length. A failed read answers 0 and clears *ok.
#include <cstdint>

class CFoFiBase {
public:
    /// Over data[0..len); the bytes are borrowed unless owns is set.
    CFoFiBase(const unsigned char* data, int len, bool owns = false);
    CFoFiBase(const CFoFiBase&) = delete;
    CFoFiBase& operator=(const CFoFiBase&) = delete;
    virtual ~CFoFiBase();

    int readU8(int64_t pos, bool* ok) const;
    int readU16BE(int64_t pos, bool* ok) const;
    /// size bytes big-endian (1 to 4).
    uint32_t readUnsignedBE(int64_t pos, int size, bool* ok) const;
    /// True when [pos, pos + size) lies inside the data.
    bool isInside(int64_t pos, int64_t size) const;

    const unsigned char* data() const { return data_; }
    int length() const { return len_; }

protected:
    const unsigned char* data_;
    int len_;
    bool owns_;
};
