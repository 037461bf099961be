#pragma once
// ASCII85Decode: groups of five characters '!'..'u' give four bytes, 'z' at a
// group start gives four zero bytes, white space is ignored, "~>" ends the
// data, and a final group of n (2..4) characters gives n-1 bytes. Any other
// byte, a 'z' inside a group or a group above 2^32-1 is invalid and ends the
// data there. A leading "<~" is tolerated.
#include <cstdint>

#include "stream/CPdfFilterStream.h"

class CPdfASCII85Stream : public CPdfFilterStream {
public:
    /// Takes over one reference of base.
    explicit CPdfASCII85Stream(CPdfStream* base) : CPdfFilterStream(base) {}

protected:
    size_t decode(unsigned char* out, size_t cap) override;

private:
    bool done_ = false;
    bool started_ = false;
};
