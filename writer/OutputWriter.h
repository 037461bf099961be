#pragma once
// The output file of one run: the file itself (written under a temporary name until it
// is complete), the output entry table, and the operations that put objects into it.
// The output is a complete rewrite in one pass: the input's header, every live object
// in number order (copied byte for byte or rewritten by a page writer), new objects
// where they are first needed, one cross-reference section and the trailer.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/LinkSettings.h"

class COutputFile;
class CPdfDocument;
class CPdfSecurityHandler;
class CPdfXRef;
namespace Platform {
class NewFileVersion;
}

/// Output cross-reference entry.
struct OutputEntry {
    uint64_t offset = 0;
    int32_t generation = 0;
    int32_t written = 0;
};

/// Writes the pages of the range in the object pass: each mode has its own.
class PageMode {
public:
    virtual ~PageMode() = default;
    /// Writes page object pageObjNum (page pageIndex + 1 of the page list, raw object
    /// text pageText) in the place where its copy would stand, with whatever the mode
    /// adds or changes, and the new or edited objects it refers to.
    virtual void WritePage(int32_t pageObjNum, int32_t pageIndex, const std::string& pageText) = 0;
};

class COutputWriter {
public:
    /// A writer for the input table xref (borrowed; null for a writer that copies no
    /// input object) of document doc (borrowed; needed by CopyHeader). The entry table
    /// starts with one unwritten entry per input object; the trailer refers to the
    /// input's root and info objects.
    COutputWriter(CPdfXRef* xref, CPdfDocument* doc);
    COutputWriter(const COutputWriter&) = delete;
    COutputWriter& operator=(const COutputWriter&) = delete;
    /// An output not yet committed is abandoned and whatever was made for it removed.
    ~COutputWriter();

    /// Opens a new version of path (see Platform::NewFileVersion). False when it cannot
    /// be written.
    bool Open(const std::string& path);
    /// Flushes and closes the output. Throws CPdfException when a byte could not be
    /// written.
    void Close();
    /// Puts the closed output in place (closes it first when still open); false when
    /// that failed.
    bool Commit();

    // ---- the layout of the file ----
    /// Copies the input's bytes before its first stored object (its "%PDF-" line and
    /// the comment lines after it).
    void CopyHeader();
    /// The object pass: every object of the input in number order, each once. A page
    /// whose pageIndexOf entry is >= 0 goes to mode (copied when mode is null);
    /// every other object is copied byte for byte; object streams are dissolved.
    /// Prints one "." per six pages. Throws "PDF file was damaged" for an object in
    /// use that cannot be read.
    void WriteObjects(const std::vector<int32_t>& pageIndexOf, PageMode* mode);
    /// The encryption dictionary when it is missing, the cross-reference section and
    /// the trailer.
    void WriteEnd();
    void WriteXRef();
    void WriteTrailer(uint64_t xrefPos);
    /// The 20 bytes of one cross-reference entry: "oooooooooo ggggg n \r" for an
    /// object written (offset and generation), "0000000000 00000 f \r" for one that is
    /// not. Throws CPdfException "Output file too large\n" for an offset beyond ten
    /// digits.
    static void FormatXRefEntry(const OutputEntry& e, char entry[20]) {
        if (!e.written) {
            std::memcpy(entry, "0000000000 00000 f \r", 20);
            return;
        }
        // Formed in place, digit by digit: the section has one entry per object.
        if (e.offset > 9999999999ull) ThrowOutputTooLarge();
        uint64_t v = e.offset;
        for (int i = 9; i >= 0; --i) {
            entry[i] = static_cast<char>('0' + v % 10);
            v /= 10;
        }
        int32_t g = e.generation < 0 ? 0 : e.generation > 65535 ? 65535 : e.generation;
        for (int k = 15; k >= 11; --k) {
            entry[k] = static_cast<char>('0' + g % 10);
            g /= 10;
        }
        entry[10] = ' ';
        entry[16] = ' ';
        entry[17] = 'n';
        entry[18] = ' ';
        entry[19] = '\r';
    }
    /// The objects the trailer refers to (taken from the input table at construction).
    void SetTrailerRefs(int32_t rootNum, int32_t rootGen, int32_t infoNum, int32_t infoGen);

    // ---- objects ----
    /// Writes input object num as text (its raw object text) at the current position.
    void CopyObject(int32_t num, const std::string& text);
    /// Copies the len input bytes at pos (the raw text of object num) straight from the
    /// input's read-ahead blocks, recording the object's entry.
    void CopyObjectSpan(int32_t num, int64_t pos, size_t len);
    /// Appends body (" 0 obj\n...endobj\n") as the next new object; returns its number.
    int32_t AppendObject(const std::string& body);
    /// Writes a rewritten object under its own number at the current position.
    void WriteRewrittenObject(int32_t num, const std::string& text);
    /// A new object number whose object is written later (WriteRewrittenObject).
    int32_t ReserveObject();
    /// Takes object num out of the output again (its entry reads as free).
    void Unwrite(int32_t num);
    /// Writes bytes that belong to no object.
    void Write(const std::string& bytes);

    /// The number the next new object gets (the size of the entry table).
    int32_t NextObjectNumber() const { return static_cast<int32_t>(entries_.size()); }
    /// The entry of object num (a blank entry beyond the table).
    OutputEntry Entry(int32_t num) const;
    /// Bytes written so far.
    uint64_t Position() const;
    CPdfXRef* Input() const { return xref_; }

    // ---- encrypted input ----
    /// The security handler of an encrypted input (borrowed from the table), or null.
    const CPdfSecurityHandler* Security() const { return security_; }
    /// Refuses (CPdfException with a reason) an encrypted input whose permissions do
    /// not allow what settings ask for.
    void CheckPermissions(const LinkSettings& settings) const;
    /// Generation of input object num as the output's cross-reference gives it
    /// (0 for members of object streams and for new objects).
    int32_t InputGeneration(int32_t num) const;
    /// True when the strings in the raw text of object num are encrypted with that
    /// object's key: an encrypted input, num stored in the file itself (not in an
    /// object stream) or a page's own copy of a shared object, and not the
    /// encryption dictionary.
    bool StringsEncrypted(int32_t num) const;
    /// A string token holding bytes, ready to be put into the raw text of object num:
    /// encrypted with num's key when its strings are, else a literal string.
    std::string StringToken(int32_t num, const std::string& bytes) const;
    /// The strings of piece, a part of the raw text of object from, made fit to be put
    /// into the raw text of object to (decrypted and encrypted again as needed); -1
    /// for from or to stands for plain text.
    std::string MoveStrings(const std::string& piece, int32_t from, int32_t to) const;

private:
    [[noreturn]] static void ThrowOutputTooLarge();
    void WriteEncryptedObject(int32_t num, const std::string& text);
    void WriteEncryptionDictionary();

    CPdfXRef* xref_;
    CPdfDocument* doc_;
    const CPdfSecurityHandler* security_ = nullptr;
    int32_t rootNum_ = 0, rootGen_ = 0, infoNum_ = 0, infoGen_ = 0;
    std::vector<OutputEntry> entries_;
    /// Where the output is written until it is complete and put in place.
    std::unique_ptr<Platform::NewFileVersion> version_;
    std::unique_ptr<COutputFile> out_;
};
