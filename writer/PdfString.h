#pragma once
// Literal-string and name helpers for text the program writes into a PDF and for
// editing strings inside raw object text.
#include <cstddef>
#include <string>

/// The bytes of text ready to stand between "(" and ")" in a PDF literal string:
/// backslashes and unbalanced parentheses get a backslash; balanced pairs stay as they are.
std::string EscapePdfString(const std::string& text);

/// Given raw text and the index just after an opening '(', returns the index of the
/// ')' that closes the string, honouring backslash escapes and nested balanced
/// parentheses; std::string::npos when the string is not closed.
size_t FindLiteralStringEnd(const std::string& raw, size_t contentStart);

/// The bytes of name ready to follow "/" in a PDF name object: every byte outside the
/// printable ASCII range, white space, '#' and the delimiters ( ) < > [ ] { } / % are
/// written as '#' and two hexadecimal digits ("Arial Bold" gives "Arial#20Bold").
std::string EscapePdfName(const std::string& name);
