#include "stream/CPdfASCII85Stream.h"

namespace {

void putWord(unsigned char* out, uint32_t v, int count) {
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

}  // namespace

size_t CPdfASCII85Stream::decode(unsigned char* out, size_t cap) {
    size_t n = 0;
    // One group (or one 'z') per round; a group never spans two calls.
    while (!done_ && n + 4 <= cap) {
        uint64_t value = 0;
        int count = 0;
        bool groupDone = false;
        while (!groupDone && !done_) {
            int c = inByte();
            if (!started_ && c == '<') {
                started_ = true;
                if (inByte() != '~') done_ = true;
                continue;
            }
            if (c < 0 || c == '~') {
                done_ = true;  // end of data: a partial group is flushed below
                break;
            }
            if (pdfIsWhite(c)) continue;
            started_ = true;
            if (c == 'z' && count == 0) {
                putWord(out + n, 0, 4);
                n += 4;
                groupDone = true;
            } else if (c < '!' || c > 'u') {
                done_ = true;  // invalid byte: the data ends before the broken group
                count = 0;
            } else {
                value = value * 85 + uint64_t(c - '!');
                if (++count == 5) {
                    if (value > 0xFFFFFFFFull) {
                        done_ = true;
                        count = 0;
                    } else {
                        putWord(out + n, static_cast<uint32_t>(value), 4);
                        n += 4;
                        groupDone = true;
                    }
                }
            }
        }
        if (done_ && count >= 2) {
            // A final partial group: pad with 'u' and keep count-1 bytes.
            for (int i = count; i < 5; ++i)
                value = value * 85 + 84;
            if (value <= 0xFFFFFFFFull) {
                putWord(out + n, static_cast<uint32_t>(value), count - 1);
                n += size_t(count - 1);
            }
        }
    }
    return n;
}
