#include "pdf/CPdfArray.h"

CPdfArray::CPdfArray(CPdfXRef* xref) : refCount_(1), xref_(xref) {}

CPdfArray::~CPdfArray() = default;

void CPdfArray::add(const CPdfElement& item) { items_.push_back(item); }

void CPdfArray::add(CPdfElement&& item) { items_.push_back(std::move(item)); }

void CPdfArray::adopt(std::vector<CPdfElement>& items) {
    items_.reserve(items_.size() + items.size());
    for (CPdfElement& item : items)
        items_.push_back(std::move(item));
}

CPdfElement CPdfArray::get(int i) const { return items_[static_cast<size_t>(i)].fetch(xref_); }

CPdfElement CPdfArray::getRaw(int i) const { return items_[static_cast<size_t>(i)]; }

void CPdfArray::release() {
    if (--refCount_ == 0) delete this;
}
