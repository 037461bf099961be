#pragma once
// Turns one input PDF into one output PDF (and, in report runs, a report file):
// option parsing, the per-file phases, and the writer's single pass over all objects.
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cli/LinkSettings.h"
#include "cli/Platform.h"
#include "text/CPdfText.h"

class CPdfDocument;
class CPdfPageTreeObserver;
class CPdfSecurityHandler;
class CPdfXRef;
class COutputFile;

/// Output cross-reference entry.
struct OutputEntry {
    uint64_t offset = 0;
    int32_t generation = 0;
    int32_t written = 0;
};

/// One page of the page list: page object number and crop box.
struct PageListEntry {
    int32_t objNum = 0;
    float cropBox[4] = {0, 0, 612, 792};  ///< x1 y1 x2 y2
    int32_t rotate = 0;                    ///< /Rotate of the page or its ancestors: 0, 90, 180 or 270
};

/// A link created over found text.
struct FoundLink {
    int32_t page = 0;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::string target;
};

/// A link annotation the input already has.
struct ExistingLink {
    float rect[4] = {0, 0, 0, 0};
    int32_t annotNum = 0;
    int32_t page = 0;  ///< 1-based
    std::string target;
    std::string text;  ///< text under the link (report only)
};

class CQuillmarkHandler {
public:
    CQuillmarkHandler();
    CQuillmarkHandler(const CQuillmarkHandler&) = delete;
    CQuillmarkHandler& operator=(const CQuillmarkHandler&) = delete;
    virtual ~CQuillmarkHandler();

    /// Processes one file. Throws CPdfException "Error parameter" (options) or
    /// "Document error\n" (any failure after option parsing; the partial output is gone).
    void Process(int argc, char** argv);
    /// Fills settings from argv. Throws CPdfException "Error parameter".
    void ParseOptions(int argc, char** argv);

    const LinkSettings& getSettings() const { return settings; }

    // ---- state of one file (public so that the phases in separate files and the
    // tests can reach it) ----
    LinkSettings settings;
    std::string outputPath;                 // the output name as used for opening/deleting
    std::unique_ptr<CPdfDocument> doc;
    CPdfXRef* xref = nullptr;               // borrowed from doc
    const CPdfSecurityHandler* security = nullptr;  // xref's, for an encrypted input
    int32_t rootNum = 0, rootGen = 0, infoNum = 0, infoGen = 0;
    std::unique_ptr<COutputFile> out;
    std::vector<OutputEntry> outEntries;
    std::vector<PageListEntry> pageList;
    /// Index in the document's pages of each page object number (-1: none); made on
    /// first use by OpenedPageAnnots.
    std::vector<int32_t> openedPageIndex;
    int32_t pagesRootNum = 0;
    int32_t pagesCount = 0;
    std::vector<TextChar> chars;
    std::vector<FoundLink> foundLinks;
    std::vector<ExistingLink> existingLinks;
    std::vector<std::string> matchedTexts;
    std::vector<int32_t> removeList;
    std::vector<int32_t> changeList;
    std::vector<int32_t> newAnnots;         // annotations created on the page being rewritten
    std::string fontResourceName;           // "F%d"
    int32_t fontObjNum = 0;
    int32_t stampSaveNum = 0;               // the stream "q" that stamped pages draw first
    int32_t stampAnnotNum = 0;
    // Placement result.
    float placeX = 0, placeY = 0, placeAngle = 0;
    float rectX1 = 0, rectY1 = 0, rectX2 = 0, rectY2 = 0;
    // Writer bookkeeping.
    /// Where the output is written until it is complete and put in place.
    std::unique_ptr<Platform::NewFileVersion> outputVersion;
    std::set<int32_t> fontAddedObjects;     // resource/font objects already written with the stamp font
    std::map<int32_t, std::string> inheritedResources;  // Parent number -> "/Resources ..." a page gets
    /// Per input object, how the pages use it (FindSharedObjects); empty when not known.
    std::vector<uint8_t> objectUse;
    /// Generation of input object num as the output's cross-reference gives it
    /// (0 for members of object streams and for new objects).
    int32_t InputGeneration(int32_t num) const;

    // ---- writer ----
    void CopyHeader();
    void BuildPageList(const std::string& nodeText, const float inheritedBox[4]);
    /// The "Annots" value as written of page object pageNum, as the document read it
    /// when it opened (so that the page need not be parsed again); null when the
    /// document has no page of that number.
    const CPdfElement* OpenedPageAnnots(int32_t pageNum);
    /// A recorder of the page tree, to be handed to the document's open, whose walk
    /// then yields the page list as well.
    static std::unique_ptr<CPdfPageTreeObserver> NewPageTreeRecorder();
    /// Fills the page list from what recorder saw when that is exactly the list
    /// BuildPageList would make (every kid a reference, each object met once, the tree
    /// no deeper than that walk goes, no more pages than pagesCount allows) and
    /// returns true; otherwise leaves it alone and returns false.
    bool UseRecordedPageList(const CPdfPageTreeObserver* recorder, const float inheritedBox[4]);
    void CopyObject(int32_t num, const std::string& text);
    /// Copies the len input bytes at pos (the raw text of object num) to the output
    /// straight from the input's read-ahead blocks, recording the object's entry.
    void CopyObjectSpan(int32_t num, int64_t pos, size_t len);
    /// Appends body (" 0 obj\n...endobj\n") as the next new object; returns its number.
    int32_t AppendObject(const std::string& body);
    /// Writes a rewritten object under its own number at the current position.
    void WriteRewrittenObject(int32_t num, const std::string& text);
    void WriteXRef();
    void WriteTrailer(uint64_t xrefPos);

    // ---- objects several pages use ----
    /// Records which objects the pages to be edited (those with pageIndexOf >= 0) share
    /// with each other or with pages outside the edit: Annots and Contents arrays held
    /// by reference, and with annotations set, the annotations of pages outside the
    /// edit with their actions and file specifications.
    void FindSharedObjects(const std::vector<int32_t>& pageIndexOf, bool annotations);
    /// True when an edit for one page must not change object num in place: a page
    /// outside the edit uses it, or two edited pages use it as Annots or Contents.
    bool SharedBeyondPage(int32_t num) const;
    /// True when a page outside the edit uses object num.
    bool UsedOutsideEdit(int32_t num) const;
    /// rawText (an input object's raw text) under the header of object newNum.
    static std::string RenumberedCopy(const std::string& rawText, int32_t newNum);
    /// A new object number whose object is written later (WriteRewrittenObject).
    int32_t ReserveObject();

    // ---- encrypted input ----
    /// The security handler of an encrypted input (borrowed from the table), or null.
    const CPdfSecurityHandler* Security() const { return security; }
    /// True when the strings in the raw text of input object num are encrypted with
    /// that object's key: an encrypted input, num stored in the file itself (not in an
    /// object stream) and not the encryption dictionary.
    bool StringsEncrypted(int32_t num) const;
    /// A string token holding bytes, ready to be put into the raw text of object num:
    /// encrypted with num's key when its strings are, else a literal string.
    std::string StringToken(int32_t num, const std::string& bytes) const;
    /// The strings of piece, a part of the raw text of object from, made fit to be put
    /// into the raw text of object to (decrypted and encrypted again as needed); -1
    /// for from or to stands for plain text.
    std::string MoveStrings(const std::string& piece, int32_t from, int32_t to) const;
    /// Refuses (CPdfException with a reason) an encrypted input whose permissions do
    /// not allow what the options ask for.
    void CheckPermissions() const;
    /// Writes the text of input object num of an encrypted input (see WriteRewrittenObject).
    void WriteEncryptedObject(int32_t num, const std::string& text);
    /// Makes sure the encryption dictionary of the input is in the output.
    void WriteEncryptionDictionary();

    // ---- stamp and created links ----
    void PlaceStamp(int pageIndex, bool withMargin);
    std::string BuildStampLink(int pageIndex);
    std::string BuildFoundLink(int pageIndex, FoundLink& link);
    std::string BuildFontDescriptor(const std::string& fontName);
    std::string BuildFont(const std::string& fontName, int32_t descriptorNum);
    std::string BuildTextStream(int pageIndex);
    /// The stream put in front of a stamped page's own content: it saves the graphics
    /// state, which the stamp's stream restores before drawing.
    std::string BuildSaveStateStream();
    void UpdateStampedPage(int32_t pageNum, std::string pageText);
    void UpdateLinkedPage(int32_t pageNum, std::string pageText, const std::vector<int32_t>& annots);

    // ---- existing links ----
    void ReadExistingLinks();
    void RemoveLinksOnPage(int32_t pageNum, std::string pageText);
    void ChangeLinksOnPage(int32_t pageNum, std::string pageText);
    void ChangePartOfLinksOnPage(int32_t pageNum, std::string pageText);

    // ---- text search, selections, report ----
    /// Extracts the characters of the page range into chars (appending).
    void ExtractRange();
    void CreatePhase();
    void SelectForRemoval();
    void SelectForChange();
    void WriteReport();

    /// Seam for deterministic output in tests: when >= 0 the font resource name uses it.
    static int fontNameSeedForTesting;

    /// The line printed (before "Done.") for an input that had to be repaired.
    static const char* const kRepairedMessage;
};
