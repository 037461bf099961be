#include "pdf/CPdfDictionary.h"

#include <algorithm>
#include <cstring>

namespace {

// Byte-wise order on unsigned bytes; on a common prefix the shorter key first.
// std::string::compare uses char_traits<char>, which compares as unsigned char.
bool keyLess(const std::pair<std::string, CPdfElement>& e, const char* key, size_t keyLen) {
    return e.first.compare(0, std::string::npos, key, keyLen) < 0;
}

}  // namespace

CPdfDictionary::CPdfDictionary(CPdfXRef* xref) : refCount_(1), xref_(xref) {}

CPdfDictionary::~CPdfDictionary() = default;

void CPdfDictionary::add(const std::string& key, const CPdfElement& value) { add(key, CPdfElement(value)); }

void CPdfDictionary::add(const std::string& key, CPdfElement&& value) {
    auto it = std::lower_bound(
        entries_.begin(), entries_.end(), key,
        [](const std::pair<std::string, CPdfElement>& e, const std::string& k) { return e.first.compare(k) < 0; });
    if (it != entries_.end() && it->first == key) return;  // the first occurrence wins
    // Parsers add keys mostly in file order, which is often sorted already;
    // appending at the end is then cheap.
    entries_.insert(it, std::make_pair(key, std::move(value)));
}

void CPdfDictionary::adoptSorted(std::vector<std::pair<std::string, CPdfElement>>& sorted) {
    if (!entries_.empty()) {
        for (auto& e : sorted)
            add(e.first, std::move(e.second));
        return;
    }
    // Equal keys sit next to each other, the first occurrence first: keep that one.
    size_t unique = 0;
    for (size_t i = 0; i < sorted.size(); ++i)
        if (i == 0 || sorted[i].first != sorted[i - 1].first) ++unique;
    entries_.reserve(unique);
    for (auto& e : sorted)
        if (entries_.empty() || e.first != entries_.back().first) entries_.push_back(std::move(e));
}

const CPdfElement* CPdfDictionary::find(const char* key) const {
    size_t len = std::strlen(key);
    auto it = std::lower_bound(
        entries_.begin(), entries_.end(), key,
        [len](const std::pair<std::string, CPdfElement>& e, const char* k) { return keyLess(e, k, len); });
    if (it != entries_.end() && it->first.size() == len && std::memcmp(it->first.data(), key, len) == 0)
        return &it->second;
    return nullptr;
}

CPdfElement CPdfDictionary::lookup(const char* key) const {
    const CPdfElement* v = find(key);
    CPdfElement out;
    if (!v) {
        out.setNull();
        return out;
    }
    return v->fetch(xref_);
}

CPdfElement CPdfDictionary::lookupRaw(const char* key) const {
    const CPdfElement* v = find(key);
    if (!v) {
        CPdfElement out;
        out.setNull();
        return out;
    }
    return *v;
}

bool CPdfDictionary::isType(const char* name) const {
    const CPdfElement* v = find("Type");
    return v && v->isName(name);
}

std::string CPdfDictionary::getKey(int i) const { return entries_[static_cast<size_t>(i)].first; }

CPdfElement CPdfDictionary::getValue(int i) const { return entries_[static_cast<size_t>(i)].second; }

void CPdfDictionary::release() {
    if (--refCount_ == 0) delete this;
}
