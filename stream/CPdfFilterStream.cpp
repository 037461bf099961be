#include "stream/CPdfFilterStream.h"

#include <algorithm>

CPdfFilterStream::CPdfFilterStream(CPdfStream* base) : base_(base), in_(kInSize), raw_(kRawSize) {}

CPdfFilterStream::~CPdfFilterStream() {
    if (base_) base_->release();
}

bool CPdfFilterStream::fetchInput() {
    if (inPos_ < inEnd_) return true;
    inPos_ = inEnd_ = 0;
    if (inEnded_) return false;
    inEnd_ = base_->readBlock(in_.data(), in_.size());
    if (inEnd_ == 0) {
        inEnded_ = true;
        return false;
    }
    return true;
}

bool CPdfFilterStream::refill() {
    rawPos_ = rawEnd_ = 0;
    if (ended_) return false;
    rawEnd_ = decode(raw_.data(), raw_.size());
    if (rawEnd_ == 0) {
        ended_ = true;
        return false;
    }
    return true;
}

size_t CPdfFilterStream::readRaw(unsigned char* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
        if (rawPos_ < rawEnd_) {
            size_t k = std::min(n - got, rawEnd_ - rawPos_);
            std::copy(raw_.data() + rawPos_, raw_.data() + rawPos_ + k, buf + got);
            rawPos_ += k;
            got += k;
            continue;
        }
        if (ended_) break;
        if (n - got >= raw_.size()) {
            // Large request: decode straight into the caller's buffer.
            size_t k = decode(buf + got, n - got);
            if (k == 0) {
                ended_ = true;
                break;
            }
            got += k;
            continue;
        }
        if (!refill()) break;
    }
    return got;
}

int CPdfFilterStream::peekChar() {
    if (predictor_) return predictor_->peekChar();
    if (rawPos_ == rawEnd_ && !refill()) return -1;
    return raw_[rawPos_];
}

size_t CPdfFilterStream::readBlock(unsigned char* buf, size_t n) {
    if (predictor_) return predictor_->readBlock(buf, n);
    return readRaw(buf, n);
}

bool CPdfFilterStream::setPredictor(int predictor, int columns, int colors, int bitsPerComponent) {
    predictor_.reset();
    if (predictor == 1) return true;
    if (!CPdfPredictor::validParams(columns, colors, bitsPerComponent)) {
        ended_ = true;
        return false;
    }
    predictor_.reset(new CPdfPredictor(this, predictor, columns, colors, bitsPerComponent));
    return true;
}

CPdfDictionary* CPdfFilterStream::getDict() { return base_->getDict(); }

int64_t CPdfFilterStream::getPos() { return base_->getPos(); }

int64_t CPdfFilterStream::startOffset() { return base_->startOffset(); }

void CPdfFilterStream::shiftStart(int64_t d) { base_->shiftStart(d); }

int64_t CPdfFilterStream::getLength() { return base_->getLength(); }
