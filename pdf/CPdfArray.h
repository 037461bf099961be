#pragma once
// A reference-counted PDF array bound to the cross-reference table that its
// items' references resolve against.
#include <cstdint>
#include <vector>

#include "pdf/CPdfElement.h"

class CPdfXRef;

class CPdfArray {
public:
    explicit CPdfArray(CPdfXRef* xref);
    CPdfArray(const CPdfArray&) = delete;
    CPdfArray& operator=(const CPdfArray&) = delete;

    int getLength() const { return static_cast<int>(items_.size()); }
    /// Appends a copy of item.
    void add(const CPdfElement& item);
    void add(CPdfElement&& item);
    /// Appends (moves out) every item of items, taking exactly the room they need.
    void adopt(std::vector<CPdfElement>& items);
    /// Item i resolved through the table (references unresolved when no table). 0 <= i < length.
    CPdfElement get(int i) const;
    /// A copy of item i, references left as they are.
    CPdfElement getRaw(int i) const;
    /// Borrowed view of item i without copying.
    const CPdfElement& at(int i) const { return items_[static_cast<size_t>(i)]; }

    void addRef() { ++refCount_; }
    void release();
    CPdfXRef* getXRef() const { return xref_; }

protected:
    virtual ~CPdfArray();

private:
    int32_t refCount_;
    CPdfXRef* xref_;
    std::vector<CPdfElement> items_;
};
