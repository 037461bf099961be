#pragma once
// The program's only exception type: a fixed message text, thrown by value.
#include <string>

class CPdfException {
public:
    /// Builds the exception from a zero-terminated message text (copied).
    explicit CPdfException(const char* message);
    explicit CPdfException(const std::string& message);
    CPdfException(const CPdfException&) = default;
    CPdfException& operator=(const CPdfException&) = default;
    virtual ~CPdfException();
    /// The message as zero-terminated text; owned by the exception.
    virtual const char* getMessage() const;

private:
    std::string message_;
};
