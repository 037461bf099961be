#pragma once
// Helpers for the fuzz targets: a stream over the fuzzer's bytes and a bounded
// way to drain a stream through every read path.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "stream/CPdfStream.h"

class FuzzBytesStream : public CPdfStream {
public:
    /// Over a copy of the bytes; maxBlock limits what one block read returns (0 = none).
    FuzzBytesStream(const uint8_t* data, size_t size, size_t maxBlock = 0)
        : data_(data, data + size), maxBlock_(maxBlock) {}
    void reset() override { pos_ = 0; }
    int getChar() override { return pos_ < data_.size() ? data_[pos_++] : -1; }
    int peekChar() override { return pos_ < data_.size() ? data_[pos_] : -1; }
    CPdfDictionary* getDict() override { return nullptr; }
    int64_t getPos() override { return static_cast<int64_t>(pos_); }
    void setPos(int64_t p, int) override { pos_ = std::min(static_cast<size_t>(p < 0 ? 0 : p), data_.size()); }
    int64_t startOffset() override { return 0; }
    void shiftStart(int64_t) override {}
    int64_t getLength() override { return static_cast<int64_t>(data_.size()); }
    CPdfStream* openWindow(int64_t, int64_t, const CPdfElement&) override { return nullptr; }
    size_t readBlock(unsigned char* buf, size_t n) override {
        if (maxBlock_ && n > maxBlock_) n = maxBlock_;
        size_t k = std::min(n, data_.size() - pos_);
        std::copy(data_.begin() + static_cast<std::ptrdiff_t>(pos_),
                  data_.begin() + static_cast<std::ptrdiff_t>(pos_ + k), buf);
        pos_ += k;
        return k;
    }

private:
    std::vector<uint8_t> data_;
    size_t pos_ = 0;
    size_t maxBlock_;
};

/// Reads at most limit bytes from s, choosing the read path by mode: per byte,
/// in blocks of various sizes, or mixing peeks, raw reads and blocks. Checks
/// that a peek always matches the following read.
inline size_t fuzzDrain(CPdfStream* s, unsigned mode, size_t limit = 1 << 18) {
    static unsigned char buf[70000];
    size_t total = 0;
    switch (mode % 4) {
        case 0:
            while (total < limit && s->getChar() >= 0)
                ++total;
            break;
        case 1:
        case 2: {
            size_t chunk = (mode % 4) == 1 ? 1 + (mode >> 2) % 300 : sizeof buf;
            for (;;) {
                size_t k = s->readBlock(buf, std::min(chunk, sizeof buf));
                if (k == 0 || (total += k) >= limit) break;
            }
            break;
        }
        default:
            for (unsigned round = 0; total < limit; ++round) {
                int p = s->peekChar();
                int c = s->getChar();
                if (p != c) __builtin_trap();
                if (c < 0) break;
                size_t k = s->readBlock(buf, round % 97);
                total += 1 + k;
            }
            break;
    }
    // At the end the stream keeps answering -1.
    if (total < limit && (s->getChar() != -1 || s->peekChar() != -1)) __builtin_trap();
    return total;
}

/// Writes the fuzzer's bytes to a file of this process named after tag (documents are
/// opened by path); returns the path, or an empty string when it cannot be written.
inline std::string WriteFuzzInputFile(const char* tag, const uint8_t* data, size_t size) {
    const std::string path = std::string("/tmp/qm_fuzz_") + tag + "_" + std::to_string(getpid()) + ".pdf";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return std::string();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path;
}
