// The output file writer: header copy, the object pass, verbatim and rewritten
// objects, appended objects, and the one cross-reference section and trailer that
// close the file. The output is a complete rewrite: every object sits at the offset recorded in
// the output entry table, which the cross-reference section lists.
#include "writer/OutputWriter.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfSecurityHandler.h"
#include "pdf/CPdfXRef.h"
#include "platform/Platform.h"
#include "stream/CPdfFileStream.h"
#include "writer/COutputFile.h"
#include "writer/OutputCrypt.h"

COutputWriter::COutputWriter(CPdfXRef* xref, CPdfDocument* doc) : xref_(xref), doc_(doc) {
    if (!xref_) return;
    security_ = xref_->getSecurityHandler();
    SetTrailerRefs(xref_->getRootNum(), xref_->getRootGen(), xref_->getInfoNum(), xref_->getInfoGen());
    entries_.assign(static_cast<size_t>(xref_->getNumEntries()), OutputEntry());
}

COutputWriter::~COutputWriter() {
    // The output file is closed before what was made for it is removed.
    if (out_) out_->abandon();
    out_.reset();
    version_.reset();
}

bool COutputWriter::Open(const std::string& path) {
    version_.reset(new Platform::NewFileVersion());
    FILE* f = version_->open(path);
    if (!f) {
        version_.reset();
        return false;
    }
    out_.reset(new COutputFile());
    out_->attach(f);
    return true;
}

void COutputWriter::Close() {
    out_->close();
    out_.reset();
}

bool COutputWriter::Commit() {
    if (out_) Close();
    const bool placed = version_->commit();
    version_.reset();
    return placed;
}

void COutputWriter::SetTrailerRefs(int32_t rootNum, int32_t rootGen, int32_t infoNum, int32_t infoGen) {
    rootNum_ = rootNum;
    rootGen_ = rootGen;
    infoNum_ = infoNum;
    infoGen_ = infoGen;
}

uint64_t COutputWriter::Position() const { return out_->position(); }

OutputEntry COutputWriter::Entry(int32_t num) const {
    if (num < 0 || static_cast<size_t>(num) >= entries_.size()) return OutputEntry();
    return entries_[static_cast<size_t>(num)];
}

void COutputWriter::Unwrite(int32_t num) {
    if (num >= 0 && static_cast<size_t>(num) < entries_.size()) entries_[static_cast<size_t>(num)].written = 0;
}

void COutputWriter::Write(const std::string& bytes) { out_->write(bytes); }

int32_t COutputWriter::ReserveObject() {
    entries_.push_back(OutputEntry());
    return static_cast<int32_t>(entries_.size()) - 1;
}

void COutputWriter::WriteObjects(const std::vector<int32_t>& pageIndexOf, PageMode* mode) {
    const int32_t numEntries = xref_->getNumEntries();
    int progress = 0;
    std::string text;
    // Every object in use is written whole or the file fails: an output missing an
    // object (a page's contents, an annotation) must never pass for a good one.
    // Number 0 is never an object; its entry is always the head of the free list.
    for (int32_t n = 1; n < numEntries; ++n) {
        const XRefEntry& e = xref_->getEntry(n);
        if (e.kind == XRefKind::Free || entries_[static_cast<size_t>(n)].written) continue;
        const int32_t pageIndex = pageIndexOf[static_cast<size_t>(n)];
        // Object streams (dictionary "Type" "ObjStm") are dissolved: they are not
        // written, their members are written as plain objects when the pass reaches them.
        if (pageIndex < 0 && e.kind == XRefKind::InFile) {
            // An object stored in the file is copied as it stands, straight from
            // the input's read-ahead blocks.
            int64_t pos;
            size_t len;
            bool isStream = false;
            if (xref_->getRawObjectSpan(n, pos, len, &isStream) && len > 0) {
                if (isStream && xref_->isObjectStream(n)) continue;  // only a stream can be one
                CopyObjectSpan(n, pos, len);
                continue;
            }
        }
        if (!xref_->getRawObjectText(n, text) || text.empty()) {
            // An entry in use whose object the file does not hold whole is left out, as
            // readers see nothing there; one that could not be read fails, and so does
            // a page the run found, which would be lost.
            if (xref_->isMissing(n) && pageIndex < 0) continue;
            throw CPdfException("PDF file was damaged");
        }
        if (xref_->isObjectStream(n)) continue;
        if (pageIndex < 0) {
            CopyObject(n, text);
            continue;
        }
        if (++progress > 10) {
            std::printf(".");
            progress = 0;
        }
        ++progress;
        if (mode) {
            mode->WritePage(n, pageIndex, text);
        } else {
            // A report run, or no mode at all: the page stays as it is.
            CopyObject(n, text);
        }
    }
}

void COutputWriter::WriteEnd() {
    WriteEncryptionDictionary();
    const uint64_t xrefPos = out_->position();
    WriteXRef();
    WriteTrailer(xrefPos);
}

int32_t COutputWriter::InputGeneration(int32_t num) const {
    if (!xref_ || num < 0 || num >= xref_->getNumEntries()) return 0;
    const XRefEntry& e = xref_->getEntry(num);
    if (e.kind != XRefKind::InFile) return 0;  // members of object streams always have generation 0
    int32_t g = e.gen;
    if (g < 0) return 0;
    return g > 65535 ? 65535 : g;
}

void COutputWriter::CopyHeader() {
    // The header: the "%PDF-" line and the comment lines after it (a binary comment
    // marks the file as binary), never beyond the first stored object. Offsets are
    // counted from "%PDF-", so bytes before it stay out; whatever follows the comments
    // (the start of an object whose entry is a few bytes late, junk) is not copied.
    const int n = xref_->getNumEntries();
    bool found = false;
    uint64_t first = 0;
    for (int i = 1; i < n; ++i) {
        const XRefEntry& e = xref_->getEntry(i);
        if (e.kind != XRefKind::InFile || e.offset == 0) continue;
        if (!found || e.offset < first) first = e.offset;
        found = true;
    }
    CPdfFileStream* fs = doc_->getFileStream();
    const int64_t base = doc_->getHeaderOffset();
    const int64_t size = fs->fileSize();
    // Header and comment lines are short; a longer run of them is read no further.
    const uint64_t kMaxHeader = 1u << 16;
    uint64_t limit = found ? first : kMaxHeader;
    if (limit > kMaxHeader) limit = kMaxHeader;
    if (static_cast<int64_t>(limit) > size - base) limit = static_cast<uint64_t>(size - base);
    std::vector<unsigned char> buf(static_cast<size_t>(limit));
    buf.resize(fs->readAt(base, buf.data(), buf.size()));
    if (buf.size() < 5 || std::memcmp(buf.data(), "%PDF-", 5) != 0) {
        // No header at all (readers open such files too): the output gets one.
        out_->write("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n");
        return;
    }
    size_t len = 0;
    bool inComment = true;  // the header line is read like a comment
    for (; len < buf.size(); ++len) {
        const unsigned char c = buf[len];
        if (inComment) {
            if (c == '\r' || c == '\n') inComment = false;
        } else if (c == '%') {
            inComment = true;
        } else if (!(c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == 0)) {
            break;
        }
    }
    // Copying stops at the first stored object's offset: when that falls inside
    // the header region (a table whose first entry is a few bytes early), so does
    // the copy, and the output's first object must still start on a line of its own.
    out_->write(reinterpret_cast<const char*>(buf.data()), len);
    const unsigned char last = buf[len - 1];
    if (!(last == ' ' || last == '\t' || last == '\r' || last == '\n' || last == '\f' || last == 0))
        out_->write("\n", 1);
}

void COutputWriter::CopyObject(int32_t num, const std::string& text) { WriteRewrittenObject(num, text); }

void COutputWriter::CopyObjectSpan(int32_t num, int64_t pos, size_t len) {
    if (num < 0 || static_cast<size_t>(num) >= entries_.size()) return;
    OutputEntry& e = entries_[static_cast<size_t>(num)];
    e.offset = out_->position();
    e.generation = InputGeneration(num);
    e.written = 1;
    while (len > 0) {
        size_t avail;
        const unsigned char* p = xref_->peekFile(pos, &avail);
        if (!p || avail == 0) throw CPdfException("PDF file was damaged");  // the span lay inside the file
        const size_t k = avail < len ? avail : len;
        out_->write(reinterpret_cast<const char*>(p), k);
        pos += static_cast<int64_t>(k);
        len -= k;
    }
}

void COutputWriter::WriteRewrittenObject(int32_t num, const std::string& text) {
    if (num < 0 || static_cast<size_t>(num) >= entries_.size()) return;
    OutputEntry& e = entries_[static_cast<size_t>(num)];
    e.offset = out_->position();
    e.generation = InputGeneration(num);
    e.written = 1;
    if (security_) {
        WriteEncryptedObject(num, text);
        return;
    }
    out_->write(text);
}

int32_t COutputWriter::AppendObject(const std::string& body) {
    int32_t num = static_cast<int32_t>(entries_.size());
    OutputEntry e;
    e.offset = out_->position();
    e.generation = 0;
    e.written = 1;
    entries_.push_back(e);
    char digits[16];
    int len = std::snprintf(digits, sizeof(digits), "%ld", static_cast<long>(num));
    out_->write(digits, static_cast<size_t>(len));
    if (const CPdfSecurityHandler* sec = Security()) {
        out_->write(OutputCrypt::EncryptNewObject(*sec, body, num));
        return num;
    }
    out_->write(body);
    return num;
}

void COutputWriter::ThrowOutputTooLarge() {
    throw CPdfException("Output file too large\n", "The output file would be too large");
}

void COutputWriter::WriteXRef() {
    const size_t m = entries_.size();
    char head[48];
    int len = std::snprintf(head, sizeof(head), "xref\n0 %ld\r", static_cast<long>(m));
    out_->write(head, static_cast<size_t>(len));
    out_->write("0000000000 65535 f \r", 20);
    // Entries are formed in blocks so that a large table costs few writes.
    std::string block;
    block.reserve(20 * 4096);
    char entry[20];
    for (size_t i = 1; i < m; ++i) {
        FormatXRefEntry(entries_[i], entry);
        block.append(entry, 20);
        if (block.size() >= 20 * 4096) {
            out_->write(block);
            block.clear();
        }
    }
    out_->write(block);
}

void COutputWriter::WriteTrailer(uint64_t xrefPos) {
    char buf[256];
    int len =
        std::snprintf(buf, sizeof(buf), "trailer\n<<\n/Size %ld\n/Root %ld %ld R\n", static_cast<long>(entries_.size()),
                      static_cast<long>(rootNum_), static_cast<long>(rootGen_));
    out_->write(buf, static_cast<size_t>(len));
    // An Info dictionary that did not reach the output is not referred to.
    bool infoWritten = infoNum_ > 0 && static_cast<size_t>(infoNum_) < entries_.size() &&
                       entries_[static_cast<size_t>(infoNum_)].written;
    if (infoWritten) {
        len = std::snprintf(buf, sizeof(buf), "/Info %ld %ld R\n", static_cast<long>(infoNum_),
                            static_cast<long>(infoGen_));
        out_->write(buf, static_cast<size_t>(len));
    }
    if (Security()) {
        // The output stays encrypted as the input was: same encryption dictionary, same
        // /ID (the first string of which is part of the file key).
        const int32_t enc = xref_->getEncryptNum();
        if (enc >= 0) {
            len = std::snprintf(buf, sizeof(buf), "/Encrypt %ld %ld R\n", static_cast<long>(enc),
                                static_cast<long>(InputGeneration(enc)));
            out_->write(buf, static_cast<size_t>(len));
        } else if (const CPdfElement* direct = xref_->getTrailerDict()->find("Encrypt")) {
            out_->write("/Encrypt " + OutputCrypt::Serialize(*direct) + "\n");
        }
        // The first string is the one the key was made from: a damaged file's trailer
        // may hold another (its encryption was opened with another trailer's).
        const std::string& used = Security()->fileId();
        const CPdfElement* id = xref_->getTrailerDict()->find("ID");
        CPdfArray* ids = id && id->isArray() ? id->getArray() : nullptr;
        if (ids && ids->getLength() > 0 && ids->at(0).isString() && ids->at(0).getBytes() == used) {
            out_->write("/ID " + OutputCrypt::Serialize(*id) + "\n");
        } else if (!used.empty()) {
            const bool second = ids && ids->getLength() > 1 && ids->at(1).isString();
            out_->write("/ID [" + OutputCrypt::HexString(used) + " " +
                        OutputCrypt::HexString(second ? ids->at(1).getBytes() : used) + "]\n");
        } else if (id && id->isArray()) {
            out_->write("/ID " + OutputCrypt::Serialize(*id) + "\n");
        }
    }
    len = std::snprintf(buf, sizeof(buf), ">>\nstartxref\n%llu\n%%%%EOF", static_cast<unsigned long long>(xrefPos));
    out_->write(buf, static_cast<size_t>(len));
}
