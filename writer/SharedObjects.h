#pragma once
// Which objects the pages being edited share with each other or with pages outside
// the edit, so that an edit made for one page never changes what another page shows.
#include <cstdint>
#include <string>
#include <vector>

class CPdfDocument;

class SharedObjects {
public:
    /// Records which objects the pages to be edited (those with pageIndexOf >= 0) share
    /// with each other or with pages outside the edit: Annots and Contents arrays held
    /// by reference, and with annotations set, the annotations of pages outside the
    /// edit with their actions and file specifications.
    void Find(CPdfDocument& doc, const std::vector<int32_t>& pageIndexOf, bool annotations);
    /// True when an edit for one page must not change object num in place: a page
    /// outside the edit uses it, or two edited pages use it as Annots or Contents.
    bool SharedBeyondPage(int32_t num) const;
    /// True when a page outside the edit uses object num.
    bool UsedOutsideEdit(int32_t num) const;
    /// rawText (an input object's raw text) under the header of object newNum.
    static std::string RenumberedCopy(const std::string& rawText, int32_t newNum);

private:
    /// Per input object, how the pages use it; empty when not known.
    std::vector<uint8_t> objectUse_;
};
