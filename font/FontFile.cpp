#include "font/FontFile.h"

#include <cstring>

#include "font/CPdfFont.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfElement.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfStream.h"

namespace {

template <class Buffer>
bool readInto(CPdfStream* stream, size_t limit, bool stopAtNul, Buffer& out) {
    out.clear();
    if (!stream) return true;
    stream->reset();
    bool complete = true;
    const size_t chunk = 4096;
    for (;;) {
        if (out.size() >= limit) {
            // Anything more is over the limit.
            complete = stream->getChar() < 0;
            break;
        }
        size_t want = limit - out.size() < chunk ? limit - out.size() : chunk;
        size_t old = out.size();
        out.resize(old + want);
        size_t got = stream->readBlock(reinterpret_cast<unsigned char*>(&out[0]) + old, want);
        out.resize(old + got);
        if (stopAtNul && got > 0) {
            const void* nul = std::memchr(&out[0] + old, 0, got);
            if (nul) {
                out.resize(static_cast<size_t>(static_cast<const char*>(nul) - reinterpret_cast<const char*>(&out[0])));
                break;
            }
        }
        if (got == 0) break;
    }
    stream->close();
    return complete;
}

}  // namespace

bool readWholeStream(CPdfStream* stream, size_t limit, bool stopAtNul, std::string& out) {
    return readInto(stream, limit, stopAtNul, out);
}

bool readFontFile(CPdfFont* font, CPdfDocument* doc, std::vector<unsigned char>& out) {
    out.clear();
    CPdfElement obj;
    if (doc && doc->getXRef()) obj = doc->getXRef()->fetch(font->embeddedFontRef.num, font->embeddedFontRef.gen);
    if (!obj.isStream() || !obj.getStream()) {
        font->embeddedFontRef.num = -1;
        font->embeddedFontRef.gen = 0;
        throw CPdfException("Embedded font file is not a stream");
    }
    if (!readInto(obj.getStream(), kMaxFontFileBytes, false, out)) {
        out.clear();
        out.shrink_to_fit();
        return false;
    }
    return true;
}
