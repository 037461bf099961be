#include "stream/CPdfFlateStream.h"

#include <cstring>

CPdfFlateStream::CPdfFlateStream(CPdfStream* base, int predictor, int columns, int colors, int bitsPerComponent)
    : CPdfFilterStream(base) {
    std::memset(&zs_, 0, sizeof zs_);
    zInit_ = inflateInit(&zs_) == Z_OK;
    if (!zInit_) zDone_ = true;
    setPredictor(predictor, columns, colors, bitsPerComponent);
}

CPdfFlateStream::~CPdfFlateStream() {
    if (zInit_) inflateEnd(&zs_);
}

size_t CPdfFlateStream::decode(unsigned char* out, size_t cap) {
    // Keep calling inflate while it makes progress: a stream whose checksum
    // trailer is missing still delivers everything it holds.
    while (!zDone_) {
        if (inPos_ == inEnd_) fetchInput();
        uInt inAvail = static_cast<uInt>(inEnd_ - inPos_);
        zs_.next_in = in_.data() + inPos_;
        zs_.avail_in = inAvail;
        zs_.next_out = out;
        zs_.avail_out = static_cast<uInt>(cap > 0x40000000u ? 0x40000000u : cap);
        uInt outAvail = zs_.avail_out;
        int r = inflate(&zs_, Z_NO_FLUSH);
        size_t used = inAvail - zs_.avail_in;
        inPos_ += used;
        size_t produced = outAvail - zs_.avail_out;
        if (r == Z_STREAM_END) {
            zDone_ = true;
            return produced;
        }
        if (r != Z_OK && r != Z_BUF_ERROR) {
            // Corrupt data: what zlib produced before meeting the damage is
            // still good; the data ends there.
            zDone_ = true;
            return produced;
        }
        if (produced > 0) return produced;
        if (used == 0) {
            // No progress: the input is used up, or zlib can do nothing with it.
            zDone_ = true;
            return 0;
        }
    }
    return 0;
}
