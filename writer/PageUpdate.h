#pragma once
// Rewrites page objects so that they refer to the objects made for them: the stamped
// text's content stream, the stamp font and new link annotations.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

class COutputWriter;
class SharedObjects;

class PageUpdater {
public:
    /// Pages written through writer; shared tells which objects other pages use too.
    PageUpdater(COutputWriter& writer, const SharedObjects& shared);

    /// The font stamped pages get: its resource name ("F123") and object number.
    void SetStampFont(const std::string& resourceName, int32_t fontObjNum);
    /// Writes page object pageObjNum with the stamp added: the content stream
    /// streamNum after saveNum (the stream that saves the graphics state) wrapped
    /// around its own content, the stamp font in its resources and the annotation
    /// annotNum in its Annots.
    void UpdateStampedPage(int32_t pageObjNum, std::string pageText, int32_t streamNum, int32_t saveNum,
                           int32_t annotNum);
    /// Writes page object pageObjNum with the annotations annots added to its Annots.
    void UpdateLinkedPage(int32_t pageObjNum, std::string pageText, const std::vector<int32_t>& annots);

private:
    friend class PageEditor;
    COutputWriter& writer_;
    const SharedObjects& shared_;
    std::string fontResourceName_;
    int32_t fontObjNum_ = 0;
    /// Resources and font objects already written with the stamp font.
    std::set<int32_t> fontAddedObjects_;
    /// Parent number -> the "/Resources ..." a page under it gets.
    std::map<int32_t, std::string> inheritedResources_;
};
