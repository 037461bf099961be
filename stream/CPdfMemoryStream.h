#pragma once
// A stream over bytes held in memory (a decoded object stream, test input).
// Positions count from the first byte of the held data; windows share the bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "stream/CPdfStream.h"

class CPdfMemoryStream : public CPdfStream {
public:
    /// Over a copy of len bytes at data, carrying dict (Null when none).
    CPdfMemoryStream(const void* data, size_t len, const CPdfElement& dict);
    /// Over bytes [begin, end) of shared storage.
    CPdfMemoryStream(std::shared_ptr<const std::vector<unsigned char>> data, size_t begin, size_t end,
                     const CPdfElement& dict);

    void reset() override { pos_ = begin_; }
    int getChar() override { return pos_ < end_ ? (*data_)[pos_++] : -1; }
    int peekChar() override { return pos_ < end_ ? (*data_)[pos_] : -1; }
    CPdfDictionary* getDict() override;
    int64_t getPos() override { return static_cast<int64_t>(pos_); }
    void setPos(int64_t pos, int origin) override;
    int64_t startOffset() override { return static_cast<int64_t>(begin_); }
    void shiftStart(int64_t d) override;
    int64_t getLength() override { return static_cast<int64_t>(end_ - begin_); }
    /// A window over [start, start + length) of the same bytes (length 0 = to the end).
    CPdfStream* openWindow(int64_t start, int64_t length, const CPdfElement& dict) override;
    size_t readBlock(unsigned char* buf, size_t n) override;

protected:
    ~CPdfMemoryStream() override;

private:
    CPdfElement dict_;
    std::shared_ptr<const std::vector<unsigned char>> data_;
    size_t begin_;
    size_t end_;
    size_t pos_;
};
