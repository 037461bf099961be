#include "stream/CPdfFilters.h"

#include <cstring>
#include <vector>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "stream/CPdfASCII85Stream.h"
#include "stream/CPdfASCIIHexStream.h"
#include "stream/CPdfFlateStream.h"
#include "stream/CPdfLZWStream.h"
#include "stream/CPdfPredictor.h"
#include "stream/CPdfRunLengthStream.h"

namespace {

// Chains longer than this are refused rather than building a tower of decoders.
const int kMaxChain = 16;

enum FilterKind { kFlate, kLZW, kASCIIHex, kASCII85, kRunLength };

struct FilterStep {
    FilterKind kind;
    int predictor = 1;
    int columns = 1;
    int colors = 1;
    int bitsPerComponent = 8;
    int earlyChange = 1;
};

bool kindOfName(const std::string& name, FilterKind& kind) {
    static const struct {
        const char* name;
        FilterKind kind;
    } names[] = {
        {"FlateDecode", kFlate},         {"Fl", kFlate},     {"LZWDecode", kLZW},         {"LZW", kLZW},
        {"ASCIIHexDecode", kASCIIHex},   {"AHx", kASCIIHex}, {"ASCII85Decode", kASCII85}, {"A85", kASCII85},
        {"RunLengthDecode", kRunLength}, {"RL", kRunLength},
    };
    for (const auto& n : names) {
        if (name == n.name) {
            kind = n.kind;
            return true;
        }
    }
    return false;
}

void readInt(CPdfDictionary* d, const char* key, int& out) {
    CPdfElement v = d->lookup(key);
    if (v.isInteger()) out = v.getInteger();
}

// Fills the step's parameters from a decode-parameters element; anything but
// a dictionary (Null included) leaves the defaults.
void readParams(const CPdfElement& parms, FilterStep& step) {
    CPdfDictionary* d = parms.isDictionary() ? parms.getDictionary() : nullptr;
    if (!d) return;
    readInt(d, "Predictor", step.predictor);
    readInt(d, "Columns", step.columns);
    readInt(d, "Colors", step.colors);
    readInt(d, "BitsPerComponent", step.bitsPerComponent);
    readInt(d, "EarlyChange", step.earlyChange);
}

// Parses the filter description into steps; false when a filter is not
// supported or its parameters give no usable predictor rows.
bool parseChain(CPdfDictionary* dict, std::vector<FilterStep>& steps) {
    CPdfElement filter = dict->lookup("Filter");
    if (filter.isNull()) filter = dict->lookup("F");
    CPdfElement parms = dict->lookup("DecodeParms");
    if (parms.isNull()) parms = dict->lookup("DP");

    std::vector<CPdfElement> names;
    if (filter.isNull() || filter.isNone()) {
        return true;
    } else if (filter.isName()) {
        names.push_back(filter);
    } else if (filter.isArray()) {
        CPdfArray* a = filter.getArray();
        if (a->getLength() > kMaxChain) return false;
        for (int i = 0; i < a->getLength(); ++i)
            names.push_back(a->get(i));
    } else {
        return false;
    }

    const int count = static_cast<int>(names.size());
    for (int i = 0; i < count; ++i) {
        FilterStep step;
        // A Crypt filter names how the data is encrypted; the reader has decrypted it
        // before the filters run, so it decodes nothing here.
        if (names[i].isName("Crypt")) continue;
        if (!names[i].isName() || !kindOfName(names[i].getBytes(), step.kind)) return false;
        // Parameters: item i of an array (null items keep the defaults); a lone
        // dictionary belongs to the last filter of the chain.
        if (parms.isArray()) {
            CPdfArray* pa = parms.getArray();
            if (i < pa->getLength()) readParams(pa->get(i), step);
        } else if (i == count - 1) {
            readParams(parms, step);
        }
        if ((step.kind == kFlate || step.kind == kLZW) && step.predictor != 1 &&
            !CPdfPredictor::validParams(step.columns, step.colors, step.bitsPerComponent))
            return false;
        steps.push_back(step);
    }
    return true;
}

}  // namespace

CPdfStream* applyFilters(CPdfStream* sub, const CPdfElement& dict) {
    CPdfDictionary* d = dict.getDictionary();
    if (!d || !sub) return sub;
    std::vector<FilterStep> steps;
    if (!parseChain(d, steps)) return nullptr;
    // Every step is known to be buildable, so from here on each decoder takes
    // over the reference of the stream below it.
    CPdfStream* cur = sub;
    for (const FilterStep& s : steps) {
        switch (s.kind) {
            case kFlate:
                cur = new CPdfFlateStream(cur, s.predictor, s.columns, s.colors, s.bitsPerComponent);
                break;
            case kLZW:
                cur = new CPdfLZWStream(cur, s.earlyChange, s.predictor, s.columns, s.colors, s.bitsPerComponent);
                break;
            case kASCIIHex:
                cur = new CPdfASCIIHexStream(cur);
                break;
            case kASCII85:
                cur = new CPdfASCII85Stream(cur);
                break;
            case kRunLength:
                cur = new CPdfRunLengthStream(cur);
                break;
        }
    }
    return cur;
}
