// The CFF reader over arbitrary bytes: parse, then read everything it hands out.
#include <cstdint>
#include <cstring>

#include "font/CFoFiType1C.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    auto cff = CFoFiType1C::openCff(data, static_cast<int>(size));
    if (!cff) return 0;
    volatile size_t sink = std::strlen(cff->getName());
    if (const char* const* enc = cff->getEncoding())
        for (int c = 0; c < 256; ++c)
            if (enc[c]) sink = sink + std::strlen(enc[c]);
    for (int g = 0; g < cff->getGlyphCount(); ++g)
        sink = sink + static_cast<size_t>(cff->getCharsetId(g));
    (void)sink;
    return 0;
}
