#pragma once
// The stamp mode: a line of text carrying a link on every page of the range. One font
// descriptor, one font and one stream that saves the graphics state serve the whole
// file; each stamped page gets its link annotation and its content stream.
#include <cstdint>
#include <string>

#include "platform/LinkSettings.h"
#include "writer/OutputWriter.h"
#include "writer/PageList.h"
#include "writer/PageUpdate.h"

class SharedObjects;

/// Where the stamp goes on a page: the text's origin and angle, and the rectangle of
/// its link.
struct StampPlacement {
    float x = 0, y = 0, angle = 0;
    float rectX1 = 0, rectY1 = 0, rectX2 = 0, rectY2 = 0;
};

/// The placement of the stamp of settings on page (its box and rotation); withMargin
/// moves the rectangle's lower-left corner out by the line thickness.
StampPlacement PlaceStamp(const LinkSettings& settings, const PageListEntry& page, bool withMargin);

class StampMode : public PageMode {
public:
    /// Stamps through writer the pages of pages; the font's resource name in the
    /// pages is fontResourceName ("F123").
    StampMode(const LinkSettings& settings, COutputWriter& writer, const PageList& pages, const SharedObjects& shared,
              const std::string& fontResourceName);

    /// Loads the font metrics and appends the objects of the whole file: font
    /// descriptor, font, and the stream that saves the graphics state. Prints "Using
    /// font". Throws CPdfException "Unknown font name".
    void Prepare();
    void WritePage(int32_t pageObjNum, int32_t pageIndex, const std::string& pageText) override;

    /// The link annotation object of the stamp on page pageIndex of the page list.
    std::string BuildStampLink(int pageIndex) const;
    std::string BuildFontDescriptor(const std::string& fontName) const;
    std::string BuildFont(const std::string& fontName, int32_t descriptorNum) const;
    /// The content stream object that draws the text on page pageIndex.
    std::string BuildTextStream(int pageIndex) const;
    /// The stream put in front of a stamped page's own content: it saves the graphics
    /// state, which the stamp's stream restores before drawing.
    static std::string BuildSaveStateStream();

private:
    PageListEntry Page(int pageIndex) const;

    const LinkSettings& settings_;
    COutputWriter& writer_;
    const PageList& pages_;
    PageUpdater updater_;
    std::string fontResourceName_;
    int32_t saveNum_ = 0;  // the stream "q" that stamped pages draw first
    // The stamp's two objects depend only on the page's box and rotation: pages shaped
    // alike (usually all of them) share the texts made once.
    PageListEntry shape_;
    bool shapeSet_ = false;
    std::string linkText_, streamText_;
};
