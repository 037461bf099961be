#pragma once
// Helpers shared by the stream tests: an in-memory source stream whose block
// reads can be limited to a few bytes (to exercise decoders across short
// reads), and read-everything helpers.
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "stream/CPdfStream.h"

class TestBytesStream : public CPdfStream {
public:
    /// maxBlock limits the bytes one readBlock returns (0 = no limit).
    explicit TestBytesStream(std::string data, size_t maxBlock = 0, bool* destroyed = nullptr)
        : data_(std::move(data)), maxBlock_(maxBlock), destroyed_(destroyed) {}
    void reset() override { pos_ = 0; }
    int getChar() override { return pos_ < data_.size() ? static_cast<unsigned char>(data_[pos_++]) : -1; }
    int peekChar() override { return pos_ < data_.size() ? static_cast<unsigned char>(data_[pos_]) : -1; }
    CPdfDictionary* getDict() override { return nullptr; }
    int64_t getPos() override { return static_cast<int64_t>(pos_); }
    void setPos(int64_t p, int) override { pos_ = std::min(static_cast<size_t>(p), data_.size()); }
    int64_t startOffset() override { return 0; }
    void shiftStart(int64_t) override {}
    int64_t getLength() override { return static_cast<int64_t>(data_.size()); }
    CPdfStream* openWindow(int64_t, int64_t, const CPdfElement&) override { return nullptr; }
    size_t readBlock(unsigned char* buf, size_t n) override {
        if (maxBlock_ && n > maxBlock_) n = maxBlock_;
        size_t k = std::min(n, data_.size() - pos_);
        std::copy(data_.data() + pos_, data_.data() + pos_ + k, reinterpret_cast<char*>(buf));
        pos_ += k;
        return k;
    }

protected:
    ~TestBytesStream() override {
        if (destroyed_) *destroyed_ = true;
    }

private:
    std::string data_;
    size_t pos_ = 0;
    size_t maxBlock_;
    bool* destroyed_;
};

/// Everything getChar delivers until -1 (with a safety cap).
inline std::string readAllChars(CPdfStream* s, size_t cap = 1 << 24) {
    std::string out;
    int c;
    while (out.size() < cap && (c = s->getChar()) >= 0)
        out.push_back(static_cast<char>(c));
    return out;
}

/// Everything readBlock delivers, asking for chunk bytes at a time.
inline std::string readAllBlocks(CPdfStream* s, size_t chunk = 7000) {
    std::string out;
    std::vector<unsigned char> buf(chunk);
    for (;;) {
        size_t k = s->readBlock(buf.data(), buf.size());
        if (k == 0) break;
        out.append(reinterpret_cast<const char*>(buf.data()), k);
    }
    return out;
}

/// Alternates peekChar, getChar and readBlock of odd sizes; peeks must match reads.
inline std::string readMixed(CPdfStream* s, bool* peekMismatch) {
    std::string out;
    unsigned char buf[37];
    for (int round = 0;; ++round) {
        int p = s->peekChar();
        int c = s->getChar();
        if (p != c) *peekMismatch = true;
        if (c < 0) break;
        out.push_back(static_cast<char>(c));
        size_t k = s->readBlock(buf, static_cast<size_t>(round % 37));
        out.append(reinterpret_cast<const char*>(buf), k);
    }
    return out;
}

/// zlib-compressed data (with header and checksum).
inline std::string zCompress(const std::string& in, int level = 6) {
    uLongf len = compressBound(static_cast<uLong>(in.size()));
    std::string out(len, '\0');
    compress2(reinterpret_cast<Bytef*>(&out[0]), &len, reinterpret_cast<const Bytef*>(in.data()),
              static_cast<uLong>(in.size()), level);
    out.resize(len);
    return out;
}

/// Deterministic pseudo-random bytes, compressible when alphabet is small.
inline std::string pseudoRandom(size_t n, unsigned seed, int alphabet = 256) {
    std::string s(n, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = static_cast<char>(x % static_cast<uint32_t>(alphabet));
    }
    return s;
}
