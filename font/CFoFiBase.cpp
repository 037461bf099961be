#include "font/CFoFiBase.h"

CFoFiBase::CFoFiBase(const unsigned char* data, int len, bool owns)
    : data_(data), len_(len < 0 || !data ? 0 : len), owns_(owns) {}

CFoFiBase::~CFoFiBase() {
    if (owns_) delete[] data_;
}

int CFoFiBase::readU8(int64_t pos, bool* ok) const {
    if (pos < 0 || pos >= len_) {
        *ok = false;
        return 0;
    }
    return data_[pos];
}

int CFoFiBase::readU16BE(int64_t pos, bool* ok) const {
    if (pos < 0 || pos + 1 >= len_) {
        *ok = false;
        return 0;
    }
    return (data_[pos] << 8) | data_[pos + 1];
}

uint32_t CFoFiBase::readUnsignedBE(int64_t pos, int size, bool* ok) const {
    if (size < 1 || size > 4 || pos < 0 || pos + size > len_) {
        *ok = false;
        return 0;
    }
    uint32_t v = 0;
    for (int i = 0; i < size; ++i)
        v = (v << 8) | data_[pos + i];
    return v;
}

bool CFoFiBase::isInside(int64_t pos, int64_t size) const {
    return pos >= 0 && size >= 0 && size <= len_ && pos <= len_ - size;
}
