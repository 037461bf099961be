// The Type 1 header reader over arbitrary bytes.
#include <cstdint>
#include <cstring>

#include "font/CFoFiType1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    CFoFiType1 t1(data, static_cast<int>(size));
    volatile size_t sink = 0;
    if (const char* name = t1.getName()) sink = std::strlen(name);
    if (const char* const* enc = t1.getEncoding())
        for (int c = 0; c < 256; ++c)
            if (enc[c]) sink = sink + std::strlen(enc[c]);
    (void)sink;
    return 0;
}
