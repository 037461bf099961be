#pragma once
// The open input file: file handle, whole-file stream, cross-reference table and
// the catalog with every page in document order.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "pdf/CPdfElement.h"
#include "platform/FileAccess.h"

class CPdfDictionary;
class CPdfFileStream;
class CPdfXRef;

class CPdfPage {
public:
    CPdfPage() = default;
    int32_t getRotation() const { return rotation_; }  ///< 0..359
    int32_t getNumber() const { return number_; }      ///< 1-based
    /// "Contents" unresolved: Null, Array or Reference.
    const CPdfElement& getContents() const { return contents_; }
    /// "Resources" resolved (own or inherited): a Dictionary, empty when the page has
    /// none.
    const CPdfElement& getResources() const { return resources_; }
    /// The page's "Annots" value as written (a reference or an array, unresolved);
    /// None when the page has none.
    const CPdfElement& getAnnots() const { return annots_; }
    /// The page object's reference (number, generation); number 0 when the page was direct.
    int32_t getObjNum() const { return objNum_; }
    int32_t getObjGen() const { return objGen_; }
    CPdfXRef* getXRef() const { return xref_; }

private:
    friend class CPdfCatalog;
    int32_t rotation_ = 0;
    int32_t number_ = 0;
    CPdfXRef* xref_ = nullptr;
    CPdfElement contents_;
    CPdfElement resources_;
    CPdfElement annots_;
    int32_t objNum_ = 0;
    int32_t objGen_ = 0;
};

/// Told about the inner nodes and pages of the page tree while the catalog walks it,
/// so that a caller needing more of each page than the catalog keeps does not have to
/// walk the tree again. raw is the value by which the parent lists the node (for the
/// root, the catalog's "Pages" value); depth is 0 for the root.
class CPdfPageTreeObserver {
public:
    virtual ~CPdfPageTreeObserver() = default;
    /// A walk begins: whatever an earlier walk told is void (the catalog is read anew
    /// once the cross-reference table was rebuilt).
    virtual void begin() {}
    virtual void enterNode(const CPdfElement& raw, CPdfDictionary* dict, int depth) = 0;
    virtual void leaveNode() = 0;
    virtual void page(const CPdfElement& raw, CPdfDictionary* dict) = 0;
};

class CPdfCatalog {
public:
    explicit CPdfCatalog(CPdfXRef* xref) : xref_(xref) {}
    virtual ~CPdfCatalog() = default;
    /// Loads every page, telling observer (when given) about every node and page.
    /// Throws CPdfException with the catalog messages.
    void load(CPdfPageTreeObserver* observer = nullptr);
    int getNumPages() const { return static_cast<int>(pages_.size()); }
    const CPdfPage& getPage(int i) const { return pages_[static_cast<size_t>(i)]; }

private:
    struct Walk;       // state of one page-tree walk
    struct Inherited;  // what a node hands down to its kids
    struct Place;      // where a node's dictionary is written
    void walkNode(Walk& w, const CPdfElement& raw, CPdfDictionary* node, const Inherited& parent, int depth,
                  const Place& place);
    void loadPage(const CPdfElement& ref, CPdfDictionary* dict, const Inherited& inherited);

    CPdfXRef* xref_;
    std::vector<CPdfPage> pages_;
    CPdfPageTreeObserver* observer_ = nullptr;
    CPdfElement lastResources_;  // the last Resources reference resolved, and its value
    CPdfElement lastResolved_;
};

class CPdfDocument {
public:
    /// A document that reads its file through access (the system's file access when
    /// null; not owned, must outlive the document).
    explicit CPdfDocument(const FileAccess* access = nullptr);
    CPdfDocument(const CPdfDocument&) = delete;
    CPdfDocument& operator=(const CPdfDocument&) = delete;
    virtual ~CPdfDocument();

    /// Opens path and loads table, catalog and pages; when that fails for a reason
    /// other than a password, the table is rebuilt from the objects found in the file
    /// (CPdfXRef::rebuild) and the catalog loaded from it. Throws "Can't open file" or
    /// "Problem with input file", with a reason (CPdfReason, or why an encrypted file
    /// cannot be opened). observer (when given) is told about the page tree.
    void open(const char* path, CPdfPageTreeObserver* observer = nullptr);
    /// Safe on a half-opened document; a second call does nothing.
    void close();
    bool isOpen() const { return open_; }

    FILE* getFile() const { return file_; }
    CPdfFileStream* getFileStream() const { return stream_; }
    CPdfXRef* getXRef() const { return xref_.get(); }
    /// File position of the "%PDF-" header (0 when not found).
    int64_t getHeaderOffset() const;
    int getNumPages() const;
    const CPdfPage& getPage(int i) const;  ///< 0-based

private:
    void loadCatalog(CPdfPageTreeObserver* observer);

    const FileAccess* access_;
    bool open_ = false;
    FILE* file_ = nullptr;
    CPdfFileStream* stream_ = nullptr;
    std::unique_ptr<CPdfXRef> xref_;
    std::unique_ptr<CPdfCatalog> catalog_;
};
