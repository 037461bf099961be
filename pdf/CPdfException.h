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

/// The reasons given when an input file cannot be processed, worded alike (those of
/// encrypted files are given where they arise).
namespace CPdfReason {
extern const char* const kUnreadable;  ///< the file cannot be opened or read
extern const char* const kNotPdf;      ///< no PDF header and nothing a reader could use
extern const char* const kDamaged;     ///< damaged, and repairing it did not help
}  // namespace CPdfReason
