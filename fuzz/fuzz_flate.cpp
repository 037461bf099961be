// Flate decoding with predictor parameters taken from the first input bytes:
//   [0] predictor selector, [1..2] Columns (signed 16-bit), [3] Colors (signed),
//   [4] BitsPerComponent, [5] read mode, [6] base block limit, then the data.
#include <cstdint>
#include <cstring>

#include "fuzz/FuzzSupport.h"
#include "stream/CPdfFlateStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 7) return 0;
    static const int predictors[] = {1, 2, 10, 11, 12, 13, 14, 15};
    int predictor = data[0] < 128 ? predictors[data[0] % 8] : static_cast<int8_t>(data[0]);
    int columns = static_cast<int16_t>(data[1] | (data[2] << 8));
    int colors = static_cast<int8_t>(data[3]);
    int bpc = data[4] & 31;
    unsigned mode = data[5];
    size_t maxBlock = data[6] % 8;
    CPdfStreamRef s(
        new CPdfFlateStream(new FuzzBytesStream(data + 7, size - 7, maxBlock), predictor, columns, colors, bpc));
    fuzzDrain(s.get(), mode);
    return 0;
}
