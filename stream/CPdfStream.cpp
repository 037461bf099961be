#include "stream/CPdfStream.h"

#include "pdf/CPdfException.h"

CPdfStream::CPdfStream() : refCount_(1) {}

CPdfStream::~CPdfStream() = default;

void CPdfStream::addRef() { ++refCount_; }

void CPdfStream::release() {
    if (--refCount_ == 0) delete this;
}

void CPdfStream::close() {}

int CPdfStream::getRawChar() { throw CPdfException("Internal: called getRawChar() on non-predictor stream"); }

size_t CPdfStream::readBlock(unsigned char* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
        int c = getChar();
        if (c < 0) break;
        buf[got++] = static_cast<unsigned char>(c);
    }
    return got;
}
