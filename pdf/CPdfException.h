#pragma once
// The program's only exception type: a fixed message text, thrown by value, and
// optionally a reason: one line for the user saying why a file cannot be processed
// (a password is needed, the permissions forbid the change), kept when the message
// is replaced by a more general one on the way up.
#include <string>

class CPdfException {
public:
    /// Builds the exception from a zero-terminated message text (copied).
    explicit CPdfException(const char* message);
    explicit CPdfException(const std::string& message);
    CPdfException(const std::string& message, const std::string& reason);
    CPdfException(const CPdfException&) = default;
    CPdfException& operator=(const CPdfException&) = default;
    virtual ~CPdfException();
    /// The message as zero-terminated text; owned by the exception.
    virtual const char* getMessage() const;
    /// The reason line (without a line end); empty when there is none.
    const std::string& getReason() const { return reason_; }

private:
    std::string message_;
    std::string reason_;
};
