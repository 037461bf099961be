// The ToUnicode CMap reader. Byte 0 selects the source code width (8, 16, mixed,
// 24 or 32 bits); the rest is the CMap text. Every code the text can name is then
// looked up.
#include <cstdint>

#include "font/CMapParser.h"
#include "font/UnicodeMapping.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1u << 20)) return 0;
    static const int kBits[] = {8, 16, 0, 24, 32};
    const int bits = kBits[data[0] % 5];
    UnicodeMapping map;
    parseCMapInto(&map, reinterpret_cast<const char*>(data + 1), size - 1, bits);
    uint32_t out[8];
    volatile uint32_t sink = 0;
    for (uint32_t code = 0; code < 0x10000; code += (code < 256 ? 1 : 97)) {
        int n = map.lookupUnicode(code, out, 8);
        for (int i = 0; i < n; ++i)
            sink = sink + out[i];
    }
    (void)sink;
    return 0;
}
