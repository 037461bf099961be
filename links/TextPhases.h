#pragma once
// The phases of a run that read the text of the page range: the create phase with its
// four searches, the text-link selections for removal and change, and the link
// report. The searches themselves live in LinkSearch; these add the files, the
// settings and the encoding of texts at the program's edge.
#include <functional>
#include <string>
#include <vector>

#include "platform/LinkSettings.h"
#include "text/CPdfText.h"
#include "writer/ExistingLinks.h"
#include "writer/LinkAnnotation.h"

class CPdfDocument;

/// Extracts the pages of the range one at a time (start page below 1 = page 1; end
/// page 99999 or beyond the document = last page) and calls f with each page's
/// characters in list order. Throws the extractor's CPdfException.
void ForEachRangePage(CPdfDocument& doc, const LinkSettings& settings,
                      const std::function<void(std::vector<TextChar>&)>& f);

/// The create phase: the links over found text (-text, a text file, a link file, or
/// the web addresses when there is no text) appended to found, every text accepted
/// from a text or link file to matched. The text and link settings take the values
/// of each line of a text or link file in turn (the last line's stay).
void CreatePhase(CPdfDocument& doc, LinkSettings& settings, std::vector<FoundLink>& found,
                 std::vector<std::string>& matched);

/// The existing links under the -textlink text, for removal: the text's finds are
/// appended to found, the links over any find (of this or an earlier phase) to
/// selection.
void SelectForRemoval(CPdfDocument& doc, const LinkSettings& settings, std::vector<FoundLink>& found,
                      const std::vector<ExistingLink>& existing, LinkSelection& selection);
/// The same for a change (its progress lines have their own dots).
void SelectForChange(CPdfDocument& doc, const LinkSettings& settings, std::vector<FoundLink>& found,
                     const std::vector<ExistingLink>& existing, LinkSelection& selection);

/// Writes the report file: every link of the page range with the text under it.
/// Prints the error line and throws CPdfException when it cannot be written in full
/// (an old report then stays as it was).
void WriteReport(CPdfDocument& doc, const LinkSettings& settings, std::vector<ExistingLink>& links);
