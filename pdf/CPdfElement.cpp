#include "pdf/CPdfElement.h"

#include <cstring>
#include <utility>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfStream.h"

namespace {
const std::string kNoBytes;
}

CPdfElement::CPdfElement() : kind_(None), d_(0) {}

CPdfElement::CPdfElement(const CPdfElement& other) : kind_(None), d_(0) { copy(other); }

CPdfElement::CPdfElement(CPdfElement&& other) noexcept : kind_(other.kind_), d_(0) {
    // Take the value over bit for bit; the source no longer holds a reference.
    std::memcpy(static_cast<void*>(&d_), static_cast<const void*>(&other.d_), sizeof(d_));
    bytes_ = std::move(other.bytes_);
    other.kind_ = None;
}

CPdfElement& CPdfElement::operator=(const CPdfElement& other) {
    if (this != &other) copy(other);
    return *this;
}

CPdfElement& CPdfElement::operator=(CPdfElement&& other) noexcept {
    if (this != &other) {
        free();
        kind_ = other.kind_;
        std::memcpy(static_cast<void*>(&d_), static_cast<const void*>(&other.d_), sizeof(d_));
        bytes_ = std::move(other.bytes_);
        other.kind_ = None;
    }
    return *this;
}

CPdfElement::~CPdfElement() { free(); }

void CPdfElement::free() {
    switch (kind_) {
        case Array:
            if (array_) array_->release();
            break;
        case Dictionary:
            if (dict_) dict_->release();
            break;
        case Stream:
            if (stream_) stream_->release();
            break;
        case String:
        case Name:
        case Command:
            // A long string gives its memory back; a short one keeps its buffer.
            if (bytes_.capacity() > 256)
                std::string().swap(bytes_);
            else
                bytes_.clear();
            break;
        default:
            break;
    }
    kind_ = None;
    d_ = 0;
}

void CPdfElement::copy(const CPdfElement& src) {
    if (this == &src) return;
    // Take the new reference before dropping the old one: src may be owned by
    // the very container this element keeps alive.
    switch (src.kind_) {
        case Array:
            if (src.array_) src.array_->addRef();
            break;
        case Dictionary:
            if (src.dict_) src.dict_->addRef();
            break;
        case Stream:
            if (src.stream_) src.stream_->addRef();
            break;
        default:
            break;
    }
    std::string bytes;
    if (src.kind_ == String || src.kind_ == Name || src.kind_ == Command) bytes = src.bytes_;
    Kind k = src.kind_;
    double raw;
    std::memcpy(&raw, static_cast<const void*>(&src.d_), sizeof(raw));
    free();
    kind_ = k;
    std::memcpy(static_cast<void*>(&d_), &raw, sizeof(raw));
    bytes_ = std::move(bytes);
}

CPdfElement CPdfElement::fetch(CPdfXRef* xref) const {
    if (kind_ == Reference && xref) return xref->fetch(ref_.num, ref_.gen);
    return *this;
}

namespace {
// bytes equal to the zero-terminated text, compared without measuring text first.
inline bool sameBytes(const std::string& bytes, const char* text) {
    const size_t n = bytes.size();
    const char* b = bytes.data();
    for (size_t i = 0; i < n; ++i) {
        if (text[i] == '\0' || text[i] != b[i]) return false;
    }
    return text[n] == '\0';
}
}  // namespace

bool CPdfElement::isCommand(const char* text) const { return kind_ == Command && sameBytes(bytes_, text); }

bool CPdfElement::isName(const char* name) const { return kind_ == Name && sameBytes(bytes_, name); }

void CPdfElement::setBoolean(bool v) {
    free();
    kind_ = Boolean;
    b_ = v;
}

void CPdfElement::setInteger(int32_t v) {
    free();
    kind_ = Integer;
    i_ = v;
}

void CPdfElement::setReal(double v) {
    free();
    kind_ = Real;
    d_ = v;
}

void CPdfElement::setNull() {
    free();
    kind_ = Null;
}

void CPdfElement::setError() {
    free();
    kind_ = Error;
}

void CPdfElement::setEndOfInput() {
    free();
    kind_ = EndOfInput;
}

void CPdfElement::setString(const char* bytes, size_t len) {
    free();
    kind_ = String;
    bytes_.assign(bytes, len);
}

void CPdfElement::setName(const char* bytes, size_t len) {
    free();
    kind_ = Name;
    bytes_.assign(bytes, len);
}

void CPdfElement::setCommand(const char* bytes, size_t len) {
    free();
    kind_ = Command;
    bytes_.assign(bytes, len);
}

void CPdfElement::setReference(int32_t num, int32_t gen) {
    free();
    kind_ = Reference;
    ref_.num = num;
    ref_.gen = gen;
}

void CPdfElement::setNewArray(CPdfXRef* xref) {
    CPdfArray* a = new CPdfArray(xref);
    free();
    kind_ = Array;
    array_ = a;
}

void CPdfElement::setNewDictionary(CPdfXRef* xref) {
    CPdfDictionary* d = new CPdfDictionary(xref);
    free();
    kind_ = Dictionary;
    dict_ = d;
}

void CPdfElement::setSharedDictionary(CPdfDictionary* dict) {
    if (!dict) {
        setNull();
        return;
    }
    dict->addRef();
    free();
    kind_ = Dictionary;
    dict_ = dict;
}

void CPdfElement::setSharedArray(CPdfArray* array) {
    if (!array) {
        setNull();
        return;
    }
    array->addRef();
    free();
    kind_ = Array;
    array_ = array;
}

void CPdfElement::setStream(CPdfStream* stream) {
    if (!stream) {
        setError();
        return;
    }
    stream->addRef();
    free();
    kind_ = Stream;
    stream_ = stream;
}

double CPdfElement::getNumber() const {
    if (kind_ == Integer) return i_;
    if (kind_ == Real) return d_;
    return 0;
}

const std::string& CPdfElement::getBytes() const {
    if (kind_ == String || kind_ == Name || kind_ == Command) return bytes_;
    return kNoBytes;
}

CPdfArray* CPdfElement::getArray() const { return kind_ == Array ? array_ : nullptr; }

CPdfDictionary* CPdfElement::getDictionary() const {
    if (kind_ == Dictionary) return dict_;
    if (kind_ == Stream && stream_) return stream_->getDict();
    return nullptr;
}

CPdfStream* CPdfElement::getStream() const { return kind_ == Stream ? stream_ : nullptr; }
