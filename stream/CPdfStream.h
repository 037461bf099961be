#pragma once
// The abstract byte stream every reader consumes: the whole input file, the
// data of one stream object, decoded data, or a window onto another stream.
// Reading a byte gives 0..255, or -1 at the end. Streams are reference counted:
// created with count 1 owned by the creator; release() at 0 destroys.
#include <cstddef>
#include <cstdint>
#include <utility>

#include "pdf/CPdfElement.h"

class CPdfDictionary;

class CPdfStream {
public:
    CPdfStream();
    CPdfStream(const CPdfStream&) = delete;
    CPdfStream& operator=(const CPdfStream&) = delete;

    virtual void addRef();
    virtual void release();
    /// Back to the beginning of the data (no effect on decoders and windows).
    virtual void reset() = 0;
    /// Ends reading; no effect.
    virtual void close();
    /// Next decoded byte 0..255, or -1 at the end.
    virtual int getChar() = 0;
    /// Next byte before prediction; only decoders with a predictor answer, others throw.
    virtual int getRawChar();
    /// The byte getChar would return, not consumed; -1 at the end.
    virtual int peekChar() = 0;
    /// The stream's dictionary (borrowed), or null.
    virtual CPdfDictionary* getDict() = 0;
    /// Current byte position in the file.
    virtual int64_t getPos() = 0;
    /// Positions at pos from the beginning (origin 0) or from the end (origin 2) of the file.
    virtual void setPos(int64_t pos, int origin) = 0;
    /// File position where the stream's data starts.
    virtual int64_t startOffset() = 0;
    /// Moves the start forward by d bytes.
    virtual void shiftStart(int64_t d) = 0;
    /// Length of the data, 0 meaning unlimited.
    virtual int64_t getLength() = 0;
    /// A new stream (count 1, owned by the caller) over [start, start+length) of the
    /// same file carrying dict; null when this stream cannot give one.
    virtual CPdfStream* openWindow(int64_t start, int64_t length, const CPdfElement& dict) = 0;
    /// Bulk read: up to n decoded bytes into buf; returns the count (0 at the end).
    /// The default loops over getChar; file streams and decoders override it.
    virtual size_t readBlock(unsigned char* buf, size_t n);

protected:
    virtual ~CPdfStream();

private:
    int32_t refCount_;
};

/// RAII holder of one stream reference.
class CPdfStreamRef {
public:
    CPdfStreamRef() : s_(nullptr) {}
    /// Takes over one reference the caller owns.
    explicit CPdfStreamRef(CPdfStream* s) : s_(s) {}
    CPdfStreamRef(const CPdfStreamRef& o) : s_(o.s_) {
        if (s_) s_->addRef();
    }
    CPdfStreamRef(CPdfStreamRef&& o) noexcept : s_(o.s_) { o.s_ = nullptr; }
    CPdfStreamRef& operator=(CPdfStreamRef o) {
        std::swap(s_, o.s_);
        return *this;
    }
    ~CPdfStreamRef() {
        if (s_) s_->release();
    }
    CPdfStream* get() const { return s_; }
    CPdfStream* operator->() const { return s_; }
    explicit operator bool() const { return s_ != nullptr; }
    /// Gives up the reference without releasing it.
    CPdfStream* detach() {
        CPdfStream* s = s_;
        s_ = nullptr;
        return s;
    }

private:
    CPdfStream* s_;
};
