#pragma once
// Flate (zlib) decoding of a stream's data, optionally followed by a PNG or
// TIFF predictor. The compressed bytes are read from the base in blocks and
// inflated a bounded amount at a time; corrupt data ends the decoded data
// early without an exception.
#include <zlib.h>

#include "stream/CPdfFilterStream.h"

class CPdfFlateStream : public CPdfFilterStream {
public:
    /// Takes over one reference of base. Predictor 1 means none; parameters that
    /// give no usable row make a stream that delivers nothing.
    explicit CPdfFlateStream(CPdfStream* base, int predictor = 1, int columns = 1, int colors = 1,
                             int bitsPerComponent = 8);

protected:
    ~CPdfFlateStream() override;
    size_t decode(unsigned char* out, size_t cap) override;

private:
    z_stream zs_;
    bool zInit_ = false;
    bool zDone_ = false;
};
