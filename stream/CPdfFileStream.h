#pragma once
// A stream over the input file or over a byte range of it. Any number of file
// streams over one file handle read independently: each refill positions the
// handle itself.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/FileAccess.h"
#include "stream/CPdfStream.h"

class CPdfFileStream : public CPdfStream {
public:
    /// Over file (not owned) from start, length bytes (0 = to the end of the file,
    /// negative = no bytes),
    /// carrying dict (Null for the whole-file stream), read through access (the
    /// system's file access when null; not owned, outlives the stream and its windows).
    CPdfFileStream(FILE* file, int64_t start, int64_t length, const CPdfElement& dict,
                   const FileAccess* access = nullptr);

    void reset() override;
    int getChar() override;
    int peekChar() override;
    CPdfDictionary* getDict() override;
    int64_t getPos() override;
    void setPos(int64_t pos, int origin) override;
    int64_t startOffset() override;
    void shiftStart(int64_t d) override;
    int64_t getLength() override;
    CPdfStream* openWindow(int64_t start, int64_t length, const CPdfElement& dict) override;
    size_t readBlock(unsigned char* buf, size_t n) override;

    /// Reads n bytes at absolute file position pos into out (fewer at the end of the
    /// file); does not disturb this stream's position. Returns the count read.
    size_t readAt(int64_t pos, unsigned char* out, size_t n);
    /// Size of the whole file in bytes.
    int64_t fileSize();
    FILE* getFile() const { return file_; }

protected:
    ~CPdfFileStream() override;

private:
    bool fill();
    /// Positions the handle at pos and reads up to n bytes into out.
    size_t readFile(int64_t pos, unsigned char* out, size_t n);

    CPdfElement dict_;
    FILE* file_;
    const FileAccess* access_;
    int64_t start_;
    int64_t length_;
    int64_t bufPos_;
    std::vector<unsigned char> buf_;
    size_t bufRead_ = 0;
    size_t bufEnd_ = 0;
    // Bytes asked for by the next refill: small after a reposition (the parser
    // jumps between objects), doubled by each sequential refill up to a limit.
    size_t chunk_ = 0;
};
