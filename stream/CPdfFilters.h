#pragma once
// Filter selection for stream objects.
#include "pdf/CPdfElement.h"

class CPdfStream;

/// Returns the stream to read the decoded data from: sub itself when there is no
/// filter, else a new decoder (or chain of decoders) over it, which takes over the
/// caller's reference of sub. Returns null when a filter is not supported; the caller
/// then still owns sub. dict is the stream object's Dictionary element.
CPdfStream* applyFilters(CPdfStream* sub, const CPdfElement& dict);
