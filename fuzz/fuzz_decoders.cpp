// The decoders one at a time and in chains built by applyFilters.
//   [0] selector: 0 ASCIIHex, 1 ASCII85, 2 RunLength, 3 LZW, 4 LZW EarlyChange 0,
//       otherwise a chain described by the next bytes:
//         [1] chain length (1..4), then per filter three bytes: a filter name
//         selector, a parameter selector (below 64: null; else a dictionary
//         with Predictor, BitsPerComponent, EarlyChange and Colors from its
//         bits) and Columns (signed)
//   then [read mode] [base block limit] and the data.
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "stream/CPdfASCII85Stream.h"
#include "stream/CPdfASCIIHexStream.h"
#include "stream/CPdfFilters.h"
#include "stream/CPdfLZWStream.h"
#include "stream/CPdfRunLengthStream.h"

namespace {

CPdfElement nameElement(const char* n) {
    CPdfElement e;
    e.setName(n, std::char_traits<char>::length(n));
    return e;
}

CPdfElement intElement(int v) {
    CPdfElement e;
    e.setInteger(v);
    return e;
}

// Builds the stream dictionary of a chain; returns false when the input is too short.
bool buildChain(const uint8_t*& p, const uint8_t* end, CPdfElement& dict) {
    static const char* const names[] = {"FlateDecode", "Fl",  "ASCIIHexDecode",  "AHx", "ASCII85Decode", "A85",
                                        "LZWDecode",   "LZW", "RunLengthDecode", "RL",  "DCTDecode",     "Crypt"};
    if (p >= end) return false;
    int n = 1 + (*p++ % 4);
    if (end - p < 3 * n) return false;
    CPdfElement filters, parms;
    filters.setNewArray(nullptr);
    parms.setNewArray(nullptr);
    for (int i = 0; i < n; ++i) {
        uint8_t nameSel = *p++;
        uint8_t parmSel = *p++;
        int columns = static_cast<int8_t>(*p++);
        filters.getArray()->add(nameElement(names[nameSel % (sizeof names / sizeof names[0])]));
        CPdfElement item;
        if (parmSel < 64) {
            item.setNull();
        } else {
            item.setNewDictionary(nullptr);
            CPdfDictionary* d = item.getDictionary();
            static const int predictors[] = {12, 15, 2, 11};
            static const int bits[] = {8, 1, 2, 4, 16, 8, 8, 5};
            d->add("Predictor", intElement(predictors[parmSel & 3]));
            d->add("BitsPerComponent", intElement(bits[(parmSel >> 2) & 7]));
            d->add("EarlyChange", intElement((parmSel >> 5) & 1));
            d->add("Colors", intElement(parmSel & 128 ? 3 : 1));
            d->add("Columns", intElement(columns));
        }
        parms.getArray()->add(item);
    }
    dict.setNewDictionary(nullptr);
    dict.getDictionary()->add("Filter", n == 1 ? filters.getArray()->get(0) : filters);
    dict.getDictionary()->add("DecodeParms", parms);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* p = data;
    const uint8_t* end = data + size;
    if (p >= end) return 0;
    uint8_t sel = *p++;
    CPdfElement dict;
    if (sel >= 5 && !buildChain(p, end, dict)) return 0;
    if (end - p < 2) return 0;
    unsigned mode = *p++;
    size_t maxBlock = *p++ % 8;
    CPdfStream* base = new FuzzBytesStream(p, static_cast<size_t>(end - p), maxBlock);
    CPdfStream* s = nullptr;
    switch (sel) {
        case 0:
            s = new CPdfASCIIHexStream(base);
            break;
        case 1:
            s = new CPdfASCII85Stream(base);
            break;
        case 2:
            s = new CPdfRunLengthStream(base);
            break;
        case 3:
            s = new CPdfLZWStream(base, 1);
            break;
        case 4:
            s = new CPdfLZWStream(base, 0);
            break;
        default:
            s = applyFilters(base, dict);
            if (!s) {
                base->release();  // refused: the caller still owns the sub-stream
                return 0;
            }
            break;
    }
    fuzzDrain(s, mode);
    s->release();
    return 0;
}
