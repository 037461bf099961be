#pragma once
// Common ground of the decoding streams (Flate, LZW, ASCIIHex, ASCII85,
// RunLength): one owned reference of the base stream, a buffered input from
// it, a buffer of decoded ("raw") bytes refilled a bounded amount at a time,
// and an optional predictor stage over the raw bytes. Decoders cannot be
// rewound; position, start, length and dictionary are the base stream's.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "stream/CPdfPredictor.h"
#include "stream/CPdfStream.h"

class CPdfFilterStream : public CPdfStream {
public:
    void reset() override {}
    int getChar() override {
        if (predictor_) return predictor_->getChar();
        return nextRaw();
    }
    /// The next decoded byte before prediction.
    int getRawChar() override { return nextRaw(); }
    int peekChar() override;
    CPdfDictionary* getDict() override;
    int64_t getPos() override;
    void setPos(int64_t, int) override {}
    int64_t startOffset() override;
    void shiftStart(int64_t d) override;
    int64_t getLength() override;
    CPdfStream* openWindow(int64_t, int64_t, const CPdfElement&) override { return nullptr; }
    size_t readBlock(unsigned char* buf, size_t n) override;

    /// Sets up the predictor stage: none for predictor 1, else rows of the given
    /// shape. Returns false (and the stream then delivers nothing) when the
    /// parameters are unusable.
    bool setPredictor(int predictor, int columns, int colors, int bitsPerComponent);

    int nextRaw() {
        if (rawPos_ == rawEnd_ && !refill()) return -1;
        return raw_[rawPos_++];
    }
    /// Up to n decoded bytes before prediction; fewer only at the end.
    size_t readRaw(unsigned char* buf, size_t n);

protected:
    /// Takes over one reference of base the caller owns.
    explicit CPdfFilterStream(CPdfStream* base);
    ~CPdfFilterStream() override;

    /// Decodes up to cap bytes (cap is at least kMinDecode) into out. Returns
    /// the count; 0 means the data has ended, and decode is not called again.
    virtual size_t decode(unsigned char* out, size_t cap) = 0;

    /// Next input byte from the base, or -1 at its end.
    int inByte() {
        if (inPos_ == inEnd_ && !fetchInput()) return -1;
        return in_[inPos_++];
    }
    /// Refills the input buffer from the base when it is used up; false at the end.
    bool fetchInput();
    /// Makes the stream deliver nothing more.
    void markEnded() { ended_ = true; }

    static const size_t kMinDecode = 8192;
    static const size_t kRawSize = 16384;
    static const size_t kInSize = 16384;

    CPdfStream* base_;
    std::vector<unsigned char> in_;
    size_t inPos_ = 0;
    size_t inEnd_ = 0;

private:
    bool refill();

    std::vector<unsigned char> raw_;
    size_t rawPos_ = 0;
    size_t rawEnd_ = 0;
    bool ended_ = false;
    bool inEnded_ = false;
    std::unique_ptr<CPdfPredictor> predictor_;
};

/// True for the bytes PDF counts as white space.
inline bool pdfIsWhite(int c) { return c == 0x20 || c == 0x0A || c == 0x0D || c == 0x09 || c == 0x0C || c == 0x00; }
