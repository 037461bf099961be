#pragma once
// How the reading core reads an input file: positioned reads and the file's size.
// Whoever opens a document hands one in; the system's own (Platform::SystemFileAccess)
// reads with positioned reads and 64-bit positions, and tests hand in their own to
// stand for a device that fails or a file that shrinks under the reader.
#include <cstddef>
#include <cstdint>
#include <cstdio>

class FileAccess {
public:
    virtual ~FileAccess() = default;
    /// Reads up to n bytes of f at position pos into out without using the stream's
    /// own position; returns the count (fewer at the end of the file or on an error).
    virtual size_t readAt(FILE* f, int64_t pos, unsigned char* out, size_t n) const = 0;
    /// Size of the file in bytes (0 when it cannot be had).
    virtual int64_t size(FILE* f) const = 0;
};
