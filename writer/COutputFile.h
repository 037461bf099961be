#pragma once
// The output PDF being written: a binary file behind one large buffer, so that the
// many small pieces of one run (object headers, inserted references, cross-reference
// entries) cost few system calls. Positions are 64-bit byte counts from the start.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class COutputFile {
public:
    /// The reason a failure to create or write the output carries.
    static const char* const kUnwritable;

    COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;
    /// Closes the file when still open; write errors are ignored here (use close()).
    ~COutputFile();

    /// Creates (truncates) path for binary writing. False when it cannot be opened.
    bool open(const std::string& path);
    /// Takes over f, a file already open for binary writing (closed by close or abandon).
    void attach(FILE* f);
    bool isOpen() const { return file_ != nullptr; }

    /// Appends bytes. Throws CPdfException "Output file write error\n" when the system
    /// refuses them (disk full and the like).
    void write(const char* data, size_t n);
    void write(const std::string& s) { write(s.data(), s.size()); }
    void put(char c) {
        if (used_ == buf_.size()) flushBuffer();
        buf_[used_++] = c;
    }

    /// Number of bytes written so far (the offset the next byte gets).
    uint64_t position() const { return flushed_ + used_; }

    /// Flushes and closes. Throws CPdfException "Output file write error\n" when any
    /// byte could not be written; the file is closed either way.
    void close();
    /// Closes without flushing (failure path: the file is about to be deleted).
    void abandon();

private:
    void flushBuffer();
    // Asks for the bytes written since the last request to go to disk once they
    // come to a few megabytes.
    void startWriteback();

    FILE* file_ = nullptr;
    std::vector<char> buf_;
    size_t used_ = 0;
    uint64_t flushed_ = 0;
    uint64_t writebackStarted_ = 0;  // bytes from the start already handed to writeback
};
