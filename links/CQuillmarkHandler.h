#pragma once
// Turns one input PDF into one output PDF (and, in report runs, a report file): the
// phases of one run, in order, each handing what it made to the next.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/LinkSettings.h"
#include "writer/ExistingLinks.h"
#include "writer/LinkAnnotation.h"
#include "writer/PageList.h"
#include "writer/SharedObjects.h"

class CPdfDocument;
class COutputWriter;
class CPdfPageTreeObserver;
class PageMode;

class CQuillmarkHandler {
public:
    CQuillmarkHandler();
    CQuillmarkHandler(const CQuillmarkHandler&) = delete;
    CQuillmarkHandler& operator=(const CQuillmarkHandler&) = delete;
    virtual ~CQuillmarkHandler();

    /// Processes one file. Throws CPdfException "Error parameter" (options) or
    /// "Document error\n" (any failure after option parsing; the partial output is gone).
    void Process(int argc, char** argv);
    /// Fills the settings from argv. Throws CPdfException "Error parameter".
    void ParseOptions(int argc, char** argv);

    /// What the run was asked (after Process: with the end page clamped to the pages).
    const LinkSettings& getSettings() const { return settings_; }
    /// The links the create phase and the text selections found.
    const std::vector<FoundLink>& FoundLinks() const { return foundLinks_; }
    /// The links the input already had (read for a report or a text selection).
    const std::vector<ExistingLink>& ExistingLinks() const { return existingLinks_; }

    /// Seam for deterministic output in tests: when >= 0 the font resource name uses it.
    static int fontNameSeedForTesting;

    /// The line printed (before "Done.") for an input that had to be repaired.
    static const char* const kRepairedMessage;

private:
    // The phases of Process, in order.
    void OpenInput(CPdfPageTreeObserver* pageTree);
    void FindLinks();
    void OpenOutput();
    void ListPages(const CPdfPageTreeObserver* pageTree);
    void ReadLinks();
    void PrepareMode(const std::vector<int32_t>& pageIndexOf);
    void FinishOutput();
    /// Closes what the run opened after a failure; the partial output is removed.
    void Abandon();

    LinkSettings settings_;
    std::unique_ptr<CPdfDocument> doc_;
    std::unique_ptr<COutputWriter> writer_;
    PageList pages_;
    SharedObjects shared_;
    std::vector<FoundLink> foundLinks_;
    std::vector<ExistingLink> existingLinks_;
    std::vector<std::string> matchedTexts_;
    LinkSelection removeSelection_;
    LinkSelection changeSelection_;
    std::unique_ptr<PageMode> mode_;
};
