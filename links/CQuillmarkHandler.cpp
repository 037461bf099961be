// The per-file pipeline. Process turns one input PDF into one output PDF in a fixed
// order of phases:
//   options -> open the input document -> (create: extract text, search) ->
//   open the output -> header -> page list -> existing links -> (report) ->
//   (selections for removal / change) -> (stamp font) -> object pass -> xref, trailer.
// The object pass visits every input object once, in number order: pages of the
// range go to the page writer of the active mode, everything else is copied byte for
// byte. The output is written to a temporary file next to it and moved into place
// only once it is complete, so a failure (or an output path equal to the input path)
// never destroys the input or an earlier output.
#include "links/CQuillmarkHandler.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "cli/Platform.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfXRef.h"
#include "writer/COutputFile.h"
#include "writer/FontMetrics.h"

int CQuillmarkHandler::fontNameSeedForTesting = -1;

const char* const CQuillmarkHandler::kRepairedMessage = "The file was damaged and has been repaired";

namespace {

// 99999 as the end page means the last page and is never clamped.
constexpr int32_t kLastPage = 99999;

}  // namespace

CQuillmarkHandler::CQuillmarkHandler() = default;

CQuillmarkHandler::~CQuillmarkHandler() {
    // The output file is closed before what was made for it is removed.
    if (out) out->abandon();
    outputVersion.reset();
    if (doc) doc->close();
}

void CQuillmarkHandler::Process(int argc, char** argv) {
    Platform::InstallFileAccess();
    ParseOptions(argc, argv);
    outputPath = settings.outputName;

    try {
        // 1. The input.
        FILE* in = Platform::OpenFile(settings.inputName, "rb");
        std::printf("Input file: '%s'", settings.inputName.c_str());
        if (!in) throw CPdfException("Input file open error\n", CPdfReason::kUnreadable);
        std::fclose(in);
        doc.reset(new CPdfDocument());
        // The document's walk over the page tree records the page list on the way.
        std::unique_ptr<CPdfPageTreeObserver> pageTree = NewPageTreeRecorder();
        doc->open(settings.inputName.c_str(), pageTree.get());
        xref = doc->getXRef();
        security = xref->getSecurityHandler();
        CheckPermissions();
        rootNum = xref->getRootNum();
        rootGen = xref->getRootGen();
        infoNum = xref->getInfoNum();
        infoGen = xref->getInfoGen();
        const int numEntries = xref->getNumEntries();
        outEntries.assign(static_cast<size_t>(numEntries), OutputEntry());

        const int pageCount = doc->getNumPages();
        if (settings.endPage > pageCount && settings.endPage != kLastPage) settings.endPage = pageCount;

        // 2. Links over found text.
        if (settings.create) CreatePhase();

        // 3. The output, written under a temporary name until it is complete (see
        // NewFileVersion). A report run keeps no PDF: it writes to the null device, so
        // whatever sits at the output path stays as it is.
        outputVersion.reset(new Platform::NewFileVersion());
        FILE* outFile = outputVersion->open(settings.report ? std::string(Platform::NullDevice()) : outputPath);
        if (!outFile) {
            outputVersion.reset();
            throw CPdfException("\nOutput file create error: '" + outputPath + "'\n", COutputFile::kUnwritable);
        }
        out.reset(new COutputFile());
        out->attach(outFile);
        std::printf(", output file: '%s'\n", outputPath.c_str());
        std::printf("Processing");

        CopyHeader();
        for (OutputEntry& e : outEntries) e.written = 0;

        // 4. The page list.
        {
            CPdfDictionary* rootDict = nullptr;
            CPdfElement catalog = xref->fetch(rootNum, rootGen);
            rootDict = catalog.isStream() ? nullptr : catalog.getDictionary();
            if (!rootDict) throw CPdfException("PDF file was damaged");
            CPdfElement pagesRef = rootDict->lookupRaw("Pages");
            if (!pagesRef.isReference()) throw CPdfException("PDF file was damaged");
            pagesRootNum = pagesRef.getRefNum();
            if (pagesRootNum <= 0 || pagesRootNum >= numEntries) throw CPdfException("PDF file was damaged");
            CPdfElement pages = xref->fetch(pagesRootNum, pagesRef.getRefGen());
            CPdfDictionary* pd = pages.isStream() ? nullptr : pages.getDictionary();
            if (!pd) throw CPdfException("PDF file was damaged");
            CPdfElement count = pd->lookup("Count");
            const double c = count.isNumber() ? count.getNumber() : 0;
            pagesCount = c >= 1 ? (c < 2e9 ? static_cast<int32_t>(c) : 2000000000) : 0;
            std::string rootText;
            if (!xref->getRawObjectText(pagesRootNum, rootText)) throw CPdfException("PDF file was damaged");
            const float letter[4] = {0, 0, 612, 792};
            if (!UseRecordedPageList(pageTree.get(), letter)) {
                // The page walk looks up objects all over the file: each lookup reads
                // a small block instead of pulling in everything between two pages.
                CPdfLookupScope lookups(xref);
                BuildPageList(rootText, letter);
            }
        }

        // 5. Existing links, report, selections.
        // Only the report and the removal and change modes look at the links the
        // input already has; stamping and creating leave them alone.
        if (settings.report || settings.remove || settings.change || settings.changePart) {
            CPdfLookupScope lookups(xref);
            ReadExistingLinks();
        }
        if (settings.report) WriteReport();
        if (settings.remove && !settings.textLink.empty()) SelectForRemoval();
        if (settings.change && !settings.textLink.empty()) SelectForChange();

        // 6. The stamp's objects for the whole file come first of all new objects:
        // font descriptor, font, and the stream that saves the graphics state in
        // front of each stamped page's own content.
        if (settings.stamp) {
            LoadFontTable(settings.fontFileName);
            int number;
            if (fontNameSeedForTesting >= 0) {
                number = fontNameSeedForTesting % 1000000;
            } else {
                std::srand(static_cast<unsigned>(std::time(nullptr)));
                number = std::rand() % 1000000;
            }
            fontResourceName = "F" + std::to_string(number);
            int32_t descriptor = AppendObject(BuildFontDescriptor(settings.fontName));
            fontObjNum = AppendObject(BuildFont(settings.fontName, descriptor));
            stampSaveNum = AppendObject(BuildSaveStateStream());
            std::printf("\nUsing font: %s\n", settings.fontName.c_str());
        }

        // 7. The object pass. A page is known by its object number; when a number is
        // listed twice, the first listing inside the range counts.
        const uint32_t start = static_cast<uint32_t>(settings.startPage);
        const uint32_t end = static_cast<uint32_t>(settings.endPage);
        std::vector<int32_t> pageIndexOf(static_cast<size_t>(numEntries), -1);
        for (size_t i = 0; i < pageList.size(); ++i) {
            const int32_t n = pageList[i].objNum;
            const uint32_t pageNo = static_cast<uint32_t>(i + 1);
            if (n <= 0 || n >= numEntries || pageNo < start || pageNo > end) continue;
            if (pageIndexOf[static_cast<size_t>(n)] < 0) pageIndexOf[static_cast<size_t>(n)] = static_cast<int32_t>(i);
        }
        // Pages of the edit that share an object with another page get their own copy
        // of it; the modes that change existing annotations need to know those of the
        // pages outside the edit as well.
        const bool editsAnnotations =
            !settings.stamp && (settings.remove || (!settings.create && (settings.change || settings.changePart)));
        if (settings.stamp || settings.create || editsAnnotations) FindSharedObjects(pageIndexOf, editsAnnotations);
        // Found links grouped by page once, so the create dispatch does not walk the
        // whole list for every page (list order is kept within a page).
        std::vector<std::vector<size_t>> foundByPage;
        if (settings.create) {
            foundByPage.resize(pageList.size() + 1);
            for (size_t k = 0; k < foundLinks.size(); ++k) {
                const FoundLink& link = foundLinks[k];
                if (link.target.empty() || link.page < 1 || static_cast<size_t>(link.page) > pageList.size()) continue;
                foundByPage[static_cast<size_t>(link.page)].push_back(k);
            }
        }
        int progress = 0;
        std::string text;
        PageListEntry stampShape;
        bool stampShapeSet = false;
        std::string stampLinkText, stampStreamText;
        // Every object in use is written whole or the file fails: an output missing an
        // object (a page's contents, an annotation) must never pass for a good one.
        // Number 0 is never an object; its entry is always the head of the free list.
        for (int32_t n = 1; n < numEntries; ++n) {
            const XRefEntry& e = xref->getEntry(n);
            if ((e.kind < 1 || e.kind > 3) || outEntries[static_cast<size_t>(n)].written) continue;
            const int32_t pageIndex = pageIndexOf[static_cast<size_t>(n)];
            // Object streams (dictionary "Type" "ObjStm") are dissolved: they are not
            // written, their members are written as plain objects when the pass reaches them.
            if (pageIndex < 0 && e.kind == 1) {
                // An object stored in the file is copied as it stands, straight from
                // the input's read-ahead blocks.
                int64_t pos;
                size_t len;
                bool isStream = false;
                if (xref->getRawObjectSpan(n, pos, len, &isStream) && len > 0) {
                    if (isStream && xref->isObjectStream(n)) continue;  // only a stream can be one
                    CopyObjectSpan(n, pos, len);
                    continue;
                }
            }
            if (!xref->getRawObjectText(n, text) || text.empty()) {
                // An entry in use whose object the file does not hold whole is left
                // out, as readers see nothing there; one that could not be read fails.
                if (xref->isMissing(n)) continue;
                throw CPdfException("PDF file was damaged");
            }
            if (xref->isObjectStream(n)) continue;
            if (pageIndex < 0) {
                CopyObject(n, text);
                continue;
            }
            if (++progress > 10) {
                std::printf(".");
                progress = 0;
            }
            ++progress;
            if (settings.stamp) {
                // The stamp's two objects depend only on the page's box and rotation:
                // pages shaped alike (usually all of them) share the texts made once.
                const PageListEntry& shape = pageList[static_cast<size_t>(pageIndex)];
                if (!stampShapeSet || std::memcmp(shape.cropBox, stampShape.cropBox, sizeof shape.cropBox) != 0 ||
                    shape.rotate != stampShape.rotate) {
                    stampLinkText = BuildStampLink(pageIndex);
                    stampStreamText = BuildTextStream(pageIndex);
                    stampShape = shape;
                    stampShapeSet = true;
                }
                stampAnnotNum = AppendObject(stampLinkText);
                AppendObject(stampStreamText);
                UpdateStampedPage(n, text);
            } else if (settings.remove) {
                RemoveLinksOnPage(n, text);
            } else if (settings.create) {
                newAnnots.clear();
                const int32_t pageNo = pageIndex + 1;
                for (size_t k : foundByPage[static_cast<size_t>(pageNo)])
                    newAnnots.push_back(AppendObject(BuildFoundLink(pageIndex, foundLinks[k])));
                UpdateLinkedPage(n, text, newAnnots);
            } else if (settings.change) {
                ChangeLinksOnPage(n, text);
            } else if (settings.changePart) {
                ChangePartOfLinksOnPage(n, text);
            } else {
                // A report run, or no mode at all: the page stays as it is.
                CopyObject(n, text);
            }
        }

        // 8. Cross-reference section and trailer; then the output takes its place.
        WriteEncryptionDictionary();
        const uint64_t xrefPos = out->position();
        WriteXRef();
        WriteTrailer(xrefPos);
        out->close();
        out.reset();
        // Whatever was damaged in the input is sound in the output, which is a
        // complete rewrite; the user is told that the input needed repairing.
        const bool repaired = xref->wasRepaired();
        doc->close();
        if (!outputVersion->commit())
            throw CPdfException("\nOutput file create error: '" + outputPath + "'\n", COutputFile::kUnwritable);
        outputVersion.reset();
        if (repaired) std::printf("\n%s", kRepairedMessage);
    } catch (...) {
        // The line after "Document error" says why: the reason the failure carries (the
        // file cannot be read, is not a PDF, is encrypted, or forbids the change; an
        // output that cannot be written), else the file is damaged beyond repair.
        std::string reason;
        try {
            throw;
        } catch (const CPdfException& e) {
            reason = e.getReason();
            if (reason.empty()) reason = CPdfReason::kDamaged;
        } catch (...) {
            reason = CPdfReason::kUnreadable;
        }
        if (out) {
            out->abandon();
            out.reset();
        }
        outputVersion.reset();
        if (doc) doc->close();
        if (!reason.empty()) throw CPdfException("Document error\n" + reason + "\n", reason);
        throw CPdfException("Document error\n");
    }
}
