#pragma once
// A reference-counted PDF dictionary. Keys are the name bytes without '/',
// kept in byte order; the first occurrence of a repeated key wins.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pdf/CPdfElement.h"

class CPdfXRef;

class CPdfDictionary {
public:
    explicit CPdfDictionary(CPdfXRef* xref);
    CPdfDictionary(const CPdfDictionary&) = delete;
    CPdfDictionary& operator=(const CPdfDictionary&) = delete;

    /// Stores a copy under key unless the key is present already (first wins).
    void add(const std::string& key, const CPdfElement& value);
    void add(const std::string& key, CPdfElement&& value);
    /// Takes over (moves out) entries already sorted by key with a stable sort (a
    /// repeated key keeps its first value first), as a parser collects them; later
    /// occurrences of a key are dropped, as add does. Room is taken for exactly the
    /// entries kept.
    void adoptSorted(std::vector<std::pair<std::string, CPdfElement>>& sorted);
    /// Value under key resolved through the table; Null when absent.
    CPdfElement lookup(const char* key) const;
    /// Copy of the value, references left unresolved; Null when absent.
    CPdfElement lookupRaw(const char* key) const;
    /// Borrowed raw value, or null when absent.
    const CPdfElement* find(const char* key) const;
    /// True when "Type" is a Name (not a reference) equal to name.
    bool isType(const char* name) const;

    int getLength() const { return static_cast<int>(entries_.size()); }
    std::string getKey(int i) const;    ///< i-th key in byte order
    CPdfElement getValue(int i) const;  ///< i-th value, unresolved

    void addRef() { ++refCount_; }
    void release();
    CPdfXRef* getXRef() const { return xref_; }
    /// Binds the dictionary to a table (used for the trailer once the table is read).
    void setXRef(CPdfXRef* xref) { xref_ = xref; }

protected:
    virtual ~CPdfDictionary();

private:
    int32_t refCount_;
    CPdfXRef* xref_;
    // Sorted by key bytes (unsigned byte-wise, shorter first on a common prefix).
    std::vector<std::pair<std::string, CPdfElement>> entries_;
};
