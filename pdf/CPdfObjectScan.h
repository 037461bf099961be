#pragma once
// Reading a file from end to end for what a damaged file still holds: where every
// object header "n g obj" stands, where each object ends, and where the trailers
// are. The cross-reference table rebuilds itself from this when the file's own
// cross-reference data cannot be used, and finds single objects with it when an
// entry does not lead to its object.
//
// Where an object ends: a value read as the parser reads it, ending before the next
// header; a stream's data runs for its Length when the Length leads to "endstream"
// (or to "endobj" when "endstream" is missing), else up to the first "endstream",
// "endobj" or object header after its start, without the line end before it. Headers
// found inside the data of a stream are not objects.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pdf/CPdfElement.h"

class CPdfFileStream;

class CPdfObjectScan {
public:
    enum Flags : uint8_t {
        kStream = 1,      ///< a stream object
        kObjStm = 2,      ///< a stream of /Type /ObjStm
        kXRefStream = 4,  ///< a stream of /Type /XRef
        kCatalog = 8,     ///< a dictionary of /Type /Catalog
        kEncrypt = 16,    ///< an encryption dictionary of the standard security handler
        kFlate = 32       ///< a stream whose (first) filter is FlateDecode
    };

    /// One object found whole, in file order.
    struct Object {
        int32_t num;
        int32_t gen;
        int64_t pos;  ///< absolute position of its header
        uint8_t flags;
    };

    /// A trailer dictionary: after a "trailer" keyword, or a cross-reference stream's.
    struct Trailer {
        int64_t pos;
        CPdfElement dict;
    };

    /// Where one object's parts lie (absolute positions).
    struct Extent {
        bool complete = false;   ///< its value was read whole
        int64_t valueStart = 0;  ///< where its value begins
        int64_t valueEnd = 0;    ///< where its value (a stream's dictionary) ends
        bool stream = false;
        int64_t dataStart = 0;  ///< a stream's data: [dataStart, dataEnd)
        int64_t dataEnd = 0;
        bool lengthLeads = false;  ///< the Length led to "endstream" right after the data
        bool endstream = false;    ///< "endstream" follows the data
        bool endobj = false;       ///< "endobj" follows the value or "endstream"
        CPdfElement dict;          ///< a stream's dictionary (references unresolved)
    };

    /// The value of an indirect Length (num, gen): true and value when known.
    using LengthOf = std::function<bool(int32_t num, int32_t gen, int64_t& value)>;

    /// Reads the file (not owned) from absolute position from to its end.
    void run(CPdfFileStream* file, int64_t from);

    const std::vector<Object>& objects() const { return objects_; }
    const std::vector<Trailer>& trailers() const { return trailers_; }
    /// The last object of number num found whole (an index into objects()), or -1.
    int lastOf(int32_t num) const;
    /// Where object num's header stands, counting the headers inside stream data too
    /// (each number's last one), for Lengths that refer to an object: -1 when none.
    int64_t lastHeaderOf(int32_t num, int32_t gen) const;

    /// The extent of the object whose header stands at pos. lengthOf resolves an
    /// indirect Length (none: only direct ones count).
    bool extent(int64_t pos, const LengthOf& lengthOf, Extent& out) const;

    /// The bytes of the file at [pos, pos + n) (fewer at its end).
    std::string bytes(int64_t pos, int64_t n) const;

    /// Headers, "endstream", "endobj" and "trailer" keywords found, sorted.
    const std::vector<int64_t>& headers() const { return headers_; }

private:
    /// The first of v at or after pos, or the file size.
    int64_t firstAtOrAfter(const std::vector<int64_t>& v, int64_t pos) const;
    void findKeywords(int64_t from);
    /// The keyword at the first token at or after pos: its end, or -1.
    int64_t keywordAt(int64_t pos, const char* kw) const;

    CPdfFileStream* file_ = nullptr;
    int64_t size_ = 0;
    std::vector<int64_t> headers_;
    std::vector<int32_t> headerNums_;  ///< number and generation of each header
    std::vector<int32_t> headerGens_;
    std::vector<int64_t> endstreams_;
    std::vector<int64_t> endobjs_;
    std::vector<int64_t> trailerKeywords_;
    std::vector<Object> objects_;
    std::vector<Trailer> trailers_;
    std::vector<std::pair<int32_t, int>> lastIndex_;  ///< (number, index in objects_), sorted
};
