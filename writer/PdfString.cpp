#include "writer/PdfString.h"

#include <vector>

std::string EscapePdfString(const std::string& text) {
    // Find which parentheses are balanced: a ')' closes the nearest open '('.
    std::vector<bool> escape(text.size(), false);
    std::vector<size_t> open;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '(') {
            open.push_back(i);
        } else if (c == ')') {
            if (open.empty()) {
                escape[i] = true;
            } else {
                open.pop_back();
            }
        } else if (c == '\\') {
            escape[i] = true;
        }
    }
    for (size_t i : open)
        escape[i] = true;  // never closed
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (escape[i]) out.push_back('\\');
        out.push_back(text[i]);
    }
    return out;
}

std::string EscapePdfName(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size() + 8);
    for (char ch : name) {
        const unsigned char b = static_cast<unsigned char>(ch);
        const bool plain = b > 0x20 && b < 0x7F && b != '#' && b != '(' && b != ')' && b != '<' && b != '>' &&
                           b != '[' && b != ']' && b != '{' && b != '}' && b != '/' && b != '%';
        if (plain) {
            out.push_back(ch);
        } else {
            out.push_back('#');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 0x0F]);
        }
    }
    return out;
}

size_t FindLiteralStringEnd(const std::string& raw, size_t contentStart) {
    int depth = 1;
    for (size_t i = contentStart; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '\\') {
            ++i;  // the escaped byte never opens or closes
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0) return i;
        }
    }
    return std::string::npos;
}
