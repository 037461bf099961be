// The encoding CMap reader of composite fonts: parse the input as an embedded CMap,
// then split the same bytes into codes with it (every split must make progress).
#include <cstdint>
#include <cstdlib>

#include "font/CPdfCMap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    auto cmap = CPdfCMap::parse(reinterpret_cast<const char*>(data), size);
    if (!cmap) return 0;
    volatile uint32_t sink = static_cast<uint32_t>(cmap->codeBits());
    const unsigned char* p = data;
    int left = static_cast<int>(size < 4096 ? size : 4096);
    while (left > 0) {
        uint32_t value, cid;
        bool matched;
        int n = cmap->decode(p, left, &value, &cid, &matched);
        if (n < 1 || n > left) std::abort();
        sink = sink + cid + value;
        p += n;
        left -= n;
    }
    (void)sink;
    return 0;
}
