#include "stream/CPdfFileStream.h"

#include <algorithm>

#include "pdf/CPdfDictionary.h"
#include "platform/Platform.h"

namespace {

const size_t kFirstChunk = 4096;
const size_t kMaxChunk = 65536;

}  // namespace

CPdfFileStream::CPdfFileStream(FILE* file, int64_t start, int64_t length, const CPdfElement& dict,
                               const FileAccess* access)
    : dict_(dict),
      file_(file),
      access_(access ? access : &Platform::SystemFileAccess()),
      start_(start < 0 ? 0 : start),
      length_(length),
      bufPos_(start_),
      chunk_(kFirstChunk) {
    setPos(start_, 0);
}

CPdfFileStream::~CPdfFileStream() = default;

void CPdfFileStream::reset() { setPos(start_, 0); }

size_t CPdfFileStream::readFile(int64_t pos, unsigned char* out, size_t n) {
    if (n == 0 || pos < 0 || !file_) return 0;
    return access_->readAt(file_, pos, out, n);
}

bool CPdfFileStream::fill() {
    bufPos_ += static_cast<int64_t>(bufEnd_);
    bufRead_ = bufEnd_ = 0;
    size_t want = chunk_;
    if (length_ != 0) {
        int64_t end = start_ + length_;
        if (bufPos_ >= end) return false;
        want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(want), end - bufPos_));
    }
    if (buf_.size() < want) buf_.resize(want);
    bufEnd_ = readFile(bufPos_, buf_.data(), want);
    chunk_ = std::min(chunk_ * 2, kMaxChunk);
    return bufEnd_ > 0;
}

int CPdfFileStream::getChar() {
    if (bufRead_ == bufEnd_ && !fill()) return -1;
    return buf_[bufRead_++];
}

int CPdfFileStream::peekChar() {
    if (bufRead_ == bufEnd_ && !fill()) return -1;
    return buf_[bufRead_];
}

size_t CPdfFileStream::readBlock(unsigned char* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
        if (bufRead_ < bufEnd_) {
            size_t k = std::min(n - got, bufEnd_ - bufRead_);
            std::copy(buf_.data() + bufRead_, buf_.data() + bufRead_ + k, buf + got);
            bufRead_ += k;
            got += k;
            continue;
        }
        size_t rest = n - got;
        if (rest >= kMaxChunk) {
            // Large request: read straight into the caller's buffer.
            bufPos_ += static_cast<int64_t>(bufEnd_);
            bufRead_ = bufEnd_ = 0;
            if (length_ != 0) {
                int64_t end = start_ + length_;
                if (bufPos_ >= end) break;
                rest = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(rest), end - bufPos_));
            }
            size_t k = readFile(bufPos_, buf + got, rest);
            bufPos_ += static_cast<int64_t>(k);
            got += k;
            if (k < rest) break;
            continue;
        }
        if (!fill()) break;
    }
    return got;
}

CPdfDictionary* CPdfFileStream::getDict() { return dict_.getDictionary(); }

int64_t CPdfFileStream::getPos() { return bufPos_ + static_cast<int64_t>(bufRead_); }

void CPdfFileStream::setPos(int64_t pos, int origin) {
    int64_t target = pos;
    if (origin == SEEK_END)
        target = fileSize() + pos;
    else if (origin == SEEK_CUR)
        target = getPos() + pos;
    // Every refill positions the handle itself, so only the position is kept
    // here; a position before the start of the file means the start.
    if (target < 0) target = 0;
    if (target >= bufPos_ && target < bufPos_ + static_cast<int64_t>(bufEnd_)) {
        // Still inside the buffer (objects read one after another): keep it.
        bufRead_ = static_cast<size_t>(target - bufPos_);
        return;
    }
    bufPos_ = target;
    bufRead_ = bufEnd_ = 0;
    chunk_ = kFirstChunk;
}

int64_t CPdfFileStream::startOffset() { return start_; }

void CPdfFileStream::shiftStart(int64_t d) {
    start_ += d;
    if (start_ < 0) start_ = 0;
    bufPos_ = start_;
    bufRead_ = bufEnd_ = 0;
    chunk_ = kFirstChunk;
}

int64_t CPdfFileStream::getLength() { return length_; }

CPdfStream* CPdfFileStream::openWindow(int64_t start, int64_t length, const CPdfElement& dict) {
    return new CPdfFileStream(file_, start, length, dict, access_);
}

size_t CPdfFileStream::readAt(int64_t pos, unsigned char* out, size_t n) {
    size_t got = 0;
    while (got < n) {
        size_t k = readFile(pos + static_cast<int64_t>(got), out + got, n - got);
        if (k == 0) break;
        got += k;
    }
    return got;
}

int64_t CPdfFileStream::fileSize() {
    if (!file_) return 0;
    int64_t size = access_->size(file_);
    return size < 0 ? 0 : size;
}
