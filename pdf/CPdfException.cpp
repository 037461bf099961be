#include "pdf/CPdfException.h"

CPdfException::CPdfException(const char* message) : message_(message ? message : "") {}

CPdfException::CPdfException(const std::string& message) : message_(message) {}

CPdfException::CPdfException(const std::string& message, const std::string& reason)
    : message_(message), reason_(reason) {}

CPdfException::~CPdfException() = default;

const char* CPdfException::getMessage() const { return message_.c_str(); }

namespace CPdfReason {
const char* const kUnreadable = "The file cannot be read";
const char* const kNotPdf = "The file is not a PDF file";
const char* const kDamaged = "The file is damaged beyond repair";
}  // namespace CPdfReason
