#include "stream/CPdfEmbedStream.h"

#include "pdf/CPdfDictionary.h"

CPdfEmbedStream::CPdfEmbedStream(CPdfStream* base, const CPdfElement& dict, bool limited, int64_t length)
    : dict_(dict), base_(base), limited_(limited), remaining_(length < 0 ? 0 : length) {}

CPdfEmbedStream::~CPdfEmbedStream() = default;

int CPdfEmbedStream::getChar() {
    if (limited_) {
        if (remaining_ <= 0) return -1;
        --remaining_;
    }
    return base_->getChar();
}

int CPdfEmbedStream::peekChar() {
    if (limited_ && remaining_ <= 0) return -1;
    return base_->peekChar();
}

size_t CPdfEmbedStream::readBlock(unsigned char* buf, size_t n) {
    if (limited_) {
        if (remaining_ <= 0) return 0;
        if (static_cast<int64_t>(n) > remaining_) n = static_cast<size_t>(remaining_);
    }
    size_t got = base_->readBlock(buf, n);
    if (limited_) remaining_ -= static_cast<int64_t>(got);
    return got;
}

CPdfDictionary* CPdfEmbedStream::getDict() { return dict_.getDictionary(); }

int64_t CPdfEmbedStream::getPos() { return base_->getPos(); }
