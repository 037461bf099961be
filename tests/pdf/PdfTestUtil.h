#pragma once
// Helpers shared by the reading-core tests: parsing text, rendering elements.
#include <cstdio>
#include <string>
#include <vector>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfElement.h"
#include "pdf/CPdfParser.h"
#include "stream/CPdfMemoryStream.h"
#include "stream/CPdfStream.h"

namespace pdftest {

inline std::string bytesOf(const std::string& b) {
    std::string out;
    for (unsigned char c : b) {
        if (c >= 0x20 && c < 0x7F && c != '\\')
            out += static_cast<char>(c);
        else {
            char h[8];
            std::snprintf(h, sizeof h, "\\x%02X", c);
            out += h;
        }
    }
    return out;
}

/// A compact text form of an element: I:5 R:0.5 S:ab N:ab C:obj B:1 Null Err EOI
/// Ref:1,0 [a b] {K:v K2:v2} Stream{...}.
inline std::string describe(const CPdfElement& e) {
    char buf[64];
    switch (e.getKind()) {
        case CPdfElement::Boolean:
            return e.getBoolean() ? "B:1" : "B:0";
        case CPdfElement::Integer:
            return "I:" + std::to_string(e.getInteger());
        case CPdfElement::Real:
            std::snprintf(buf, sizeof buf, "R:%g", e.getReal());
            return buf;
        case CPdfElement::String:
            return "S:" + bytesOf(e.getBytes());
        case CPdfElement::Name:
            return "N:" + bytesOf(e.getBytes());
        case CPdfElement::Null:
            return "Null";
        case CPdfElement::Command:
            return "C:" + bytesOf(e.getBytes());
        case CPdfElement::Error:
            return "Err";
        case CPdfElement::EndOfInput:
            return "EOI";
        case CPdfElement::None:
            return "None";
        case CPdfElement::Reference:
            return "Ref:" + std::to_string(e.getRefNum()) + "," + std::to_string(e.getRefGen());
        case CPdfElement::Array: {
            std::string s = "[";
            CPdfArray* a = e.getArray();
            for (int i = 0; i < a->getLength(); ++i)
                s += (i ? " " : "") + describe(a->at(i));
            return s + "]";
        }
        case CPdfElement::Dictionary: {
            std::string s = "{";
            CPdfDictionary* d = e.getDictionary();
            for (int i = 0; i < d->getLength(); ++i)
                s += (i ? " " : "") + bytesOf(d->getKey(i)) + ":" + describe(d->getValue(i));
            return s + "}";
        }
        case CPdfElement::Stream:
            return "Stream";
    }
    return "?";
}

/// A new memory stream over text (one reference, owned by the caller).
inline CPdfStream* memStream(const std::string& text) {
    return new CPdfMemoryStream(text.data(), text.size(), CPdfElement());
}

/// Every object of text until the end of input, described and joined by spaces.
inline std::string parseAll(const std::string& text, CPdfXRef* xref = nullptr) {
    CPdfParser p(xref, memStream(text));
    std::string out;
    for (int guard = 0; guard < 100000; ++guard) {
        CPdfElement e = p.readObject();
        if (e.isEndOfInput()) break;
        if (!out.empty()) out += " ";
        out += describe(e);
    }
    return out;
}

/// All decoded bytes of a stream.
inline std::string readAllBytes(CPdfStream* s) {
    std::string out;
    unsigned char buf[4096];
    for (;;) {
        size_t n = s->readBlock(buf, sizeof buf);
        if (n == 0) break;
        out.append(reinterpret_cast<char*>(buf), n);
    }
    return out;
}

}  // namespace pdftest
