#include "stream/CPdfMemoryStream.h"

#include <cstring>

#include "pdf/CPdfDictionary.h"

CPdfMemoryStream::CPdfMemoryStream(const void* data, size_t len, const CPdfElement& dict)
    : dict_(dict), begin_(0), end_(len), pos_(0) {
    auto v = std::make_shared<std::vector<unsigned char>>(len);
    if (len) std::memcpy(v->data(), data, len);
    data_ = std::move(v);
}

CPdfMemoryStream::CPdfMemoryStream(std::shared_ptr<const std::vector<unsigned char>> data, size_t begin, size_t end,
                                   const CPdfElement& dict)
    : dict_(dict), data_(std::move(data)), begin_(0), end_(0), pos_(0) {
    size_t size = data_ ? data_->size() : 0;
    if (!data_) data_ = std::make_shared<std::vector<unsigned char>>();
    end_ = end > size ? size : end;
    begin_ = begin > end_ ? end_ : begin;
    pos_ = begin_;
}

CPdfMemoryStream::~CPdfMemoryStream() = default;

CPdfDictionary* CPdfMemoryStream::getDict() { return dict_.getDictionary(); }

void CPdfMemoryStream::setPos(int64_t pos, int origin) {
    int64_t target = origin == 2 ? static_cast<int64_t>(end_) + pos : pos;
    if (target < static_cast<int64_t>(begin_)) target = static_cast<int64_t>(begin_);
    if (target > static_cast<int64_t>(end_)) target = static_cast<int64_t>(end_);
    pos_ = static_cast<size_t>(target);
}

void CPdfMemoryStream::shiftStart(int64_t d) {
    int64_t b = static_cast<int64_t>(begin_) + d;
    if (b < 0) b = 0;
    if (b > static_cast<int64_t>(end_)) b = static_cast<int64_t>(end_);
    begin_ = pos_ = static_cast<size_t>(b);
}

CPdfStream* CPdfMemoryStream::openWindow(int64_t start, int64_t length, const CPdfElement& dict) {
    if (start < 0) start = 0;
    size_t b = static_cast<size_t>(start) > end_ ? end_ : static_cast<size_t>(start);
    size_t e = end_;
    if (length > 0 && static_cast<uint64_t>(length) < e - b) e = b + static_cast<size_t>(length);
    return new CPdfMemoryStream(data_, b, e, dict);
}

size_t CPdfMemoryStream::readBlock(unsigned char* buf, size_t n) {
    size_t k = end_ - pos_;
    if (k > n) k = n;
    if (k) std::memcpy(buf, data_->data() + pos_, k);
    pos_ += k;
    return k;
}
