#pragma once
// A window onto another stream: at most a given number of bytes of the base
// (or all that is left when not limited). Holds no reference of its base, so
// it must not outlive it.
#include <cstdint>

#include "stream/CPdfStream.h"

class CPdfEmbedStream : public CPdfStream {
public:
    CPdfEmbedStream(CPdfStream* base, const CPdfElement& dict, bool limited, int64_t length);

    void reset() override {}
    int getChar() override;
    int peekChar() override;
    CPdfDictionary* getDict() override;
    int64_t getPos() override;
    void setPos(int64_t, int) override {}
    int64_t startOffset() override { return 0; }
    void shiftStart(int64_t) override {}
    int64_t getLength() override { return 0; }
    CPdfStream* openWindow(int64_t, int64_t, const CPdfElement&) override { return nullptr; }
    size_t readBlock(unsigned char* buf, size_t n) override;

protected:
    ~CPdfEmbedStream() override;

private:
    CPdfElement dict_;
    CPdfStream* base_;
    bool limited_;
    int64_t remaining_;
};
