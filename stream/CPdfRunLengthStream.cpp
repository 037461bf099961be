#include "stream/CPdfRunLengthStream.h"

#include <cstring>

size_t CPdfRunLengthStream::decode(unsigned char* out, size_t cap) {
    size_t n = 0;
    // One run per round; a run (at most 128 bytes) never spans two calls.
    while (!done_ && n + 128 <= cap) {
        int len = inByte();
        if (len < 0 || len == 128) {
            done_ = true;
            break;
        }
        if (len < 128) {
            for (int i = 0; i <= len; ++i) {
                int c = inByte();
                if (c < 0) {
                    done_ = true;
                    break;
                }
                out[n++] = static_cast<unsigned char>(c);
            }
        } else {
            int c = inByte();
            if (c < 0) {
                done_ = true;
                break;
            }
            size_t count = size_t(257 - len);
            std::memset(out + n, c, count);
            n += count;
        }
    }
    return n;
}
