#pragma once
// The cross-reference table: locates every object of the input (classic tables,
// cross-reference streams, Prev chains, object streams), fetches objects and
// hands out their raw bytes.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "pdf/CPdfElement.h"
#include "pdf/CPdfRawScan.h"

class CPdfFileStream;
class CPdfDictionary;
class CPdfObjectScan;
class CPdfSecurityHandler;

/// Where the object of a table entry is (the values are those of the type field of a
/// cross-reference stream, and 3 for objects made while reading).
enum class XRefKind : int32_t {
    Free = 0,            ///< no object
    InFile = 1,          ///< an object in the file
    InObjectStream = 2,  ///< a member of an object stream
    /// A page dictionary that stood directly in a Kids array, given an object number of
    /// its own (addDirectObject); its text is held in memory.
    InMemory = 3,
};

struct XRefEntry {
    uint64_t offset;  ///< InFile: offset counted from the header; InObjectStream: object stream number
    int32_t gen;      ///< InFile: generation; InObjectStream: index inside the object stream
    XRefKind kind;
};

struct RawObjectStream;

class CPdfXRef;

/// Lookup mode of a table for the lifetime of the object (see CPdfXRef::setLookupMode).
class CPdfLookupScope {
public:
    explicit CPdfLookupScope(CPdfXRef* x);
    ~CPdfLookupScope();
    CPdfLookupScope(const CPdfLookupScope&) = delete;
    CPdfLookupScope& operator=(const CPdfLookupScope&) = delete;

private:
    CPdfXRef* x_;
    bool was_;
};

class CPdfXRef {
public:
    /// Over the document's file stream (not owned), whose start is the header.
    explicit CPdfXRef(CPdfFileStream* file);
    CPdfXRef(const CPdfXRef&) = delete;
    CPdfXRef& operator=(const CPdfXRef&) = delete;
    virtual ~CPdfXRef();

    /// Reads every section and the trailer. Throws CPdfException on failure, also
    /// when the chain of sections leads back to a section already read (a section in
    /// between may be lost).
    void open();
    /// Rebuilds the table from the objects found by reading the whole file, for a file
    /// whose cross-reference data cannot be used: the last whole object of each number
    /// counts (the members of an object stream count where the stream stands), and the
    /// trailer is the last one whose Root is a dictionary, else one made for the last
    /// catalog found. Throws CPdfException when there is no catalog to be found.
    void rebuild();
    /// True once anything was repaired: the table rebuilt, an entry that does not lead
    /// to its object led there, an object given whole text (a stream whose Length does
    /// not lead to its "endstream", a missing "endstream" or "endobj"), or an entry in
    /// use found to have no whole object in the file.
    bool wasRepaired() const { return repaired_; }
    /// True when entry num is in use but the file holds no whole object for it (known
    /// once its object was looked for): readers see nothing there.
    bool isMissing(int32_t num) const;
    /// The object (num, gen) as a new element; Null when it cannot be had, also for a
    /// number outside the table (which counts as a repair: the table is short).
    CPdfElement fetch(int32_t num, int32_t gen);
    /// Raw object text of num into out (replaced). False when there is none. Throws
    /// "Corrupted PDF file" for a number outside the table.
    bool getRawObjectText(int32_t num, std::string& out);
    /// Where the raw object text of num lies in the file, for an object stored in the
    /// file itself (the bytes getRawObjectText would copy): len bytes from the absolute
    /// position pos. False when there is no such text or num sits in an object stream.
    /// Throws "Corrupted PDF file" for a number outside the table.
    /// *isStream (when given) tells whether the object is a stream.
    bool getRawObjectSpan(int32_t num, int64_t& pos, size_t& len, bool* isStream = nullptr);
    /// The file bytes from absolute position pos on, through the read-ahead blocks:
    /// *avail bytes (0 and null at the end of the file), valid until the next read.
    const unsigned char* peekFile(int64_t pos, size_t* avail);

    int getNumEntries() const { return static_cast<int>(entries_.size()); }
    const XRefEntry& getEntry(int i) const { return entries_[static_cast<size_t>(i)]; }
    /// Marks entry i free (used when an annotation is dropped from the output).
    void markFree(int i);
    /// Gives the dictionary written directly at path inside object container (a page
    /// standing in a Kids array) an object number of its own (InMemory), returned; 0
    /// when the table is full. The object can be had once placeDirectObjects is done.
    int32_t addDirectObject(int32_t container, const std::vector<CPdfRawStep>& path);
    /// Makes the objects addDirectObject numbered: each holds its dictionary, and the
    /// text and parsed value of its container hold a reference to it in its place.
    /// Each container is read once, whatever the count of its objects. False when a
    /// dictionary is not where its path says.
    bool placeDirectObjects();
    /// The trailer dictionary (borrowed), bound to this table; null before open.
    CPdfDictionary* getTrailerDict() const;
    int32_t getRootNum() const { return rootNum_; }
    int32_t getRootGen() const { return rootGen_; }
    int32_t getInfoNum() const { return infoNum_; }
    int32_t getInfoGen() const { return infoGen_; }
    CPdfFileStream* getFileStream() const { return file_; }
    /// Copies up to n bytes of the file at absolute position pos into out through the
    /// table's read-ahead blocks; returns the count (fewer at the end of the file).
    size_t readCached(int64_t pos, unsigned char* out, size_t n);
    /// True when object num is a stream in the file whose dictionary has /Type /ObjStm
    /// (read without decoding the stream). False for anything else, also out of range.
    bool isObjectStream(int32_t num);
    /// Lookup mode: while on, a read that does not continue a read-ahead block reads
    /// one small block, for walks that visit objects spread over the whole file (the
    /// page tree, the annotations) and would otherwise read all bytes in between.
    void setLookupMode(bool on) { lookupMode_ = on; }
    bool lookupMode() const { return lookupMode_; }
    /// Size of the input file in bytes (known after open).
    int64_t getFileSize() const { return fileSize_; }

    /// The security handler of an encrypted file (borrowed), or null. Objects fetched
    /// are decrypted; raw object text stays as the file holds it.
    const CPdfSecurityHandler* getSecurityHandler() const { return security_.get(); }
    /// Number and generation of the encryption dictionary when it is an indirect
    /// object (never encrypted itself); number -1 otherwise.
    int32_t getEncryptNum() const { return encryptNum_; }
    int32_t getEncryptGen() const { return encryptGen_; }

    /// Most entries a table may have; larger sections are refused.
    static constexpr int32_t kMaxEntries = 8388608;
    /// Object numbers a rebuilt table takes, at the least (a small file may hold an
    /// object numbered far past its others).
    static constexpr int32_t kMinRebuiltEntries = 2097152;

    /// Index of the last byte of the first match of pat in buf[start, end), or 0.
    static long findInBuffer(const char* buf, long start, long end, const char* pat, long patLen);
    /// The decimal number after the first match of pat in buf (0 when absent); sets
    /// *isRef when the four bytes after the digits are " 0 R".
    static long readNumberAfter(const char* buf, long len, const char* pat, bool* isRef);

private:
    /// Sets up the security handler from the trailer's /Encrypt value.
    void openSecurity(const CPdfElement& encrypt);

    // Implementation detail, defined in CPdfXRef.cpp.
    friend struct XRefImpl;
    /// The object text in memory for num (InMemory, or given whole text), parsed.
    CPdfElement fetchHeld(int32_t num, int32_t gen, const std::string& text);
    CPdfFileStream* file_;
    std::vector<XRefEntry> entries_;
    int32_t rootNum_ = 0, rootGen_ = 0, infoNum_ = 0, infoGen_ = 0;
    CPdfElement trailer_;
    int64_t startXRef_ = 0;
    std::unique_ptr<RawObjectStream> rawObjStm_;
    std::vector<int32_t> fetching_;  // objects being parsed now, innermost last (re-entry guard)
    // Raw object text of the objects held in memory: those made by promoteDirectObject
    // and the containers they were taken out of.
    std::unordered_map<int32_t, std::string> memText_;
    bool repaired_ = false;
    // The file read from end to end (made when first needed: only for a damaged file).
    std::unique_ptr<CPdfObjectScan> scan_;
    // Per entry, 1 when it is in use but no whole object for it is in the file (made
    // on first need).
    std::vector<unsigned char> missing_;
    // Members of the object streams the scan found, sorted by number: (number, stream,
    // index, position of the stream); made on first need.
    struct ScannedMember {
        int32_t num;
        int32_t stream;
        int32_t index;
        int64_t pos;
    };
    std::vector<ScannedMember> scannedMembers_;
    bool membersScanned_ = false;
    // Objects numbered by addDirectObject and not placed yet: container, path, number.
    struct DirectObject {
        int32_t container;
        std::vector<CPdfRawStep> path;
        int32_t num;
    };
    std::vector<DirectObject> direct_;
    // Per entry, whether its object header was found or not, once looked for (made
    // on first need).
    std::vector<unsigned char> headerState_;
    // Per entry, the length of its raw text in the file and whether it is a stream,
    // once found (0: not yet).
    std::vector<uint32_t> spanLen_;

    // Read-ahead window of the file for raw object text: consecutive objects are
    // usually neighbours in the file, so most requests are served from here.
    // A few blocks, each following its own forward walk: the writer's pass over the
    // objects and the lookups it makes meanwhile (a shared resources object, the
    // page tree) do not throw each other's read-ahead away.
    struct CacheBlock {
        std::vector<unsigned char> data;
        int64_t pos = 0;
        size_t len = 0;
        size_t fill = 0;
        uint64_t lastUse = 0;
    };
    static const int kCacheBlocks = 4;
    CacheBlock cache_[kCacheBlocks];
    uint64_t cacheClock_ = 0;
    bool lookupMode_ = false;
    int64_t fileSize_ = 0;
    int64_t start_ = 0;
    std::unique_ptr<CPdfSecurityHandler> security_;
    int32_t encryptNum_ = -1;
    int32_t encryptGen_ = 0;
    // The (object stream, member index) pairs that InObjectStream entries name, sorted:
    // members no entry names are never read.
    std::vector<std::pair<int32_t, int32_t>> objStmMembers_;
};
