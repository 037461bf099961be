// The per-file pipeline. Process turns one input PDF into one output PDF in a fixed
// order of phases:
//   options -> open the input document -> (create: extract text, search) ->
//   open the output -> header -> page list -> existing links -> (report) ->
//   (selections for removal / change) -> (the mode's page writer, stamp font) ->
//   object pass -> xref, trailer.
// The object pass visits every input object once, in number order: pages of the
// range go to the page writer of the active mode, everything else is copied byte for
// byte. The output is written to a temporary file next to it and moved into place
// only once it is complete, so a failure (or an output path equal to the input path)
// never destroys the input or an earlier output.
#include "links/CQuillmarkHandler.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "links/Options.h"
#include "links/TextPhases.h"
#include "pdf/CPdfDocument.h"
#include "pdf/CPdfException.h"
#include "pdf/CPdfXRef.h"
#include "platform/Platform.h"
#include "writer/COutputFile.h"
#include "writer/OutputWriter.h"
#include "writer/StampText.h"

int CQuillmarkHandler::fontNameSeedForTesting = -1;

const char* const CQuillmarkHandler::kRepairedMessage = "The file was damaged and has been repaired";

namespace {

// 99999 as the end page means the last page and is never clamped.
constexpr int32_t kLastPage = 99999;

}  // namespace

CQuillmarkHandler::CQuillmarkHandler() = default;

CQuillmarkHandler::~CQuillmarkHandler() { Abandon(); }

void CQuillmarkHandler::ParseOptions(int argc, char** argv) { ParseOptionsInto(settings_, argc, argv); }

void CQuillmarkHandler::Process(int argc, char** argv) {
    ParseOptions(argc, argv);
    try {
        // The document's walk over the page tree records the page list on the way.
        std::unique_ptr<CPdfPageTreeObserver> pageTree = PageList::NewPageTreeRecorder();
        OpenInput(pageTree.get());
        if (settings_.create) FindLinks();
        OpenOutput();
        writer_->CopyHeader();
        ListPages(pageTree.get());
        ReadLinks();
        const std::vector<int32_t> pageIndexOf =
            pages_.IndexOfObjects(doc_->getXRef()->getNumEntries(), settings_.startPage, settings_.endPage);
        PrepareMode(pageIndexOf);
        writer_->WriteObjects(pageIndexOf, mode_.get());
        FinishOutput();
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
        Abandon();
        if (!reason.empty()) throw CPdfException("Document error\n" + reason + "\n", reason);
        throw CPdfException("Document error\n");
    }
}

void CQuillmarkHandler::OpenInput(CPdfPageTreeObserver* pageTree) {
    FILE* in = Platform::OpenFile(settings_.inputName, "rb");
    std::printf("Input file: '%s'", settings_.inputName.c_str());
    if (!in) throw CPdfException("Input file open error\n", CPdfReason::kUnreadable);
    std::fclose(in);
    doc_.reset(new CPdfDocument(&Platform::SystemFileAccess()));
    doc_->open(settings_.inputName.c_str(), pageTree);
    writer_.reset(new COutputWriter(doc_->getXRef(), doc_.get()));
    writer_->CheckPermissions(settings_);
    const int pageCount = doc_->getNumPages();
    if (settings_.endPage > pageCount && settings_.endPage != kLastPage) settings_.endPage = pageCount;
}

void CQuillmarkHandler::FindLinks() { CreatePhase(*doc_, settings_, foundLinks_, matchedTexts_); }

void CQuillmarkHandler::OpenOutput() {
    // Written under a temporary name until it is complete (see NewFileVersion). A
    // report run keeps no PDF: it writes to the null device, so whatever sits at the
    // output path stays as it is.
    const std::string& path = settings_.outputName;
    if (!writer_->Open(settings_.report ? std::string(Platform::NullDevice()) : path))
        throw CPdfException("\nOutput file create error: '" + path + "'\n", COutputFile::kUnwritable);
    std::printf(", output file: '%s'\n", path.c_str());
    std::printf("Processing");
}

void CQuillmarkHandler::ListPages(const CPdfPageTreeObserver* pageTree) { pages_.Build(*doc_->getXRef(), pageTree); }

void CQuillmarkHandler::ReadLinks() {
    // Only the report and the removal and change modes look at the links the input
    // already has; stamping and creating leave them alone.
    if (settings_.report || settings_.remove || settings_.change || settings_.changePart) {
        CPdfLookupScope lookups(doc_->getXRef());
        ReadExistingLinks(*doc_->getXRef(), pages_, settings_, existingLinks_);
    }
    if (settings_.report) WriteReport(*doc_, settings_, existingLinks_);
    if (settings_.remove && !settings_.textLink.empty())
        SelectForRemoval(*doc_, settings_, foundLinks_, existingLinks_, removeSelection_);
    if (settings_.change && !settings_.textLink.empty())
        SelectForChange(*doc_, settings_, foundLinks_, existingLinks_, changeSelection_);
}

void CQuillmarkHandler::PrepareMode(const std::vector<int32_t>& pageIndexOf) {
    // Pages of the edit that share an object with another page get their own copy of
    // it; the modes that change existing annotations need to know those of the pages
    // outside the edit as well.
    const bool editsAnnotations =
        !settings_.stamp && (settings_.remove || (!settings_.create && (settings_.change || settings_.changePart)));
    if (settings_.stamp) {
        // The stamp's objects for the whole file come first of all new objects: font
        // descriptor, font, and the stream that saves the graphics state in front of
        // each stamped page's own content.
        int number;
        if (fontNameSeedForTesting >= 0) {
            number = fontNameSeedForTesting % 1000000;
        } else {
            std::srand(static_cast<unsigned>(std::time(nullptr)));
            number = std::rand() % 1000000;
        }
        StampMode* stamp = new StampMode(settings_, *writer_, pages_, shared_, "F" + std::to_string(number));
        mode_.reset(stamp);
        stamp->Prepare();
    } else if (settings_.remove) {
        mode_.reset(new RemoveMode(settings_, *writer_, *doc_, shared_, removeSelection_));
    } else if (settings_.create) {
        mode_.reset(new CreateMode(settings_, *writer_, pages_, shared_, foundLinks_));
    } else if (settings_.change || settings_.changePart) {
        mode_.reset(new ChangeMode(settings_, *writer_, *doc_, shared_, changeSelection_));
    }
    if (settings_.stamp || settings_.create || editsAnnotations) shared_.Find(*doc_, pageIndexOf, editsAnnotations);
}

void CQuillmarkHandler::FinishOutput() {
    writer_->WriteEnd();
    writer_->Close();
    // Whatever was damaged in the input is sound in the output, which is a complete
    // rewrite; the user is told that the input needed repairing.
    const bool repaired = doc_->getXRef()->wasRepaired();
    doc_->close();
    if (!writer_->Commit())
        throw CPdfException("\nOutput file create error: '" + settings_.outputName + "'\n", COutputFile::kUnwritable);
    writer_.reset();
    if (repaired) std::printf("\n%s", kRepairedMessage);
}

void CQuillmarkHandler::Abandon() {
    mode_.reset();
    writer_.reset();
    if (doc_) doc_->close();
}
