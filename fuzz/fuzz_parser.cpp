// The object parser over arbitrary bytes. The first byte chooses where the
// input is split into two streams read back to back (page contents given as an
// array), so both the single-stream and the multi-stream paths are exercised.
#include <cstdint>
#include <cstring>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfParser.h"
#include "stream/CPdfMemoryStream.h"

namespace {

void drain(const CPdfElement& e) {
    if (CPdfStream* s = e.getStream()) {
        unsigned char buf[4096];
        size_t total = 0;
        while (total < (1u << 20)) {
            size_t k = s->readBlock(buf, sizeof buf);
            if (k == 0) break;
            total += k;
        }
    }
    if (CPdfDictionary* d = e.getDictionary()) {
        for (int i = 0; i < d->getLength() && i < 64; ++i) {
            d->getKey(i);
            d->getValue(i);
        }
        d->lookup("Length");
        d->isType("Page");
    }
    if (CPdfArray* a = e.getArray()) {
        for (int i = 0; i < a->getLength() && i < 64; ++i)
            a->get(i);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t split = data[0] < 128 ? size : 1 + (data[0] % 64) * (size - 1) / 64;
    if (split > size) split = size;
    const uint8_t* body = data + 1;
    size_t n = size - 1;
    size_t cut = split > 0 ? split - 1 : 0;
    if (cut > n) cut = n;
    try {
        if (data[0] < 128) {
            CPdfParser p(nullptr, new CPdfMemoryStream(body, n, CPdfElement()));
            for (int i = 0; i < 100000; ++i) {
                CPdfElement e = p.readObject();
                if (e.isEndOfInput()) break;
                drain(e);
            }
        } else {
            CPdfElement arr;
            arr.setNewArray(nullptr);
            for (int k = 0; k < 2; ++k) {
                CPdfStream* s = k == 0 ? new CPdfMemoryStream(body, cut, CPdfElement())
                                       : new CPdfMemoryStream(body + cut, n - cut, CPdfElement());
                CPdfElement e;
                e.setStream(s);
                s->release();
                arr.getArray()->add(e);
            }
            CPdfParser p(nullptr, arr);
            for (int i = 0; i < 100000; ++i) {
                CPdfElement e = p.readObject();
                if (e.isEndOfInput()) break;
                drain(e);
            }
        }
    } catch (const CPdfException&) {
    }
    return 0;
}
