#pragma once
// Page-by-page access to the text of the handler's page range.
#include <functional>
#include <vector>

#include "links/CQuillmarkHandler.h"

/// Extracts the pages of the range one at a time (start page below 1 = page 1; end
/// page 99999 or beyond the document = last page) and calls f with each page's
/// characters in list order. Nothing is appended to the handler's character list.
/// Throws the extractor's CPdfException.
void ForEachRangePage(CQuillmarkHandler& h, const std::function<void(std::vector<TextChar>&)>& f);
