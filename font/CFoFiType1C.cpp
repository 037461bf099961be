#include "font/CFoFiType1C.h"

#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>

#include "font/CPdfBuiltinTables.h"

namespace {

constexpr int kNumStdStrings = 391;
// Private DICT values are not used; scanning them only checks their operands, and a
// hostile font must not make that scan quadratic.
constexpr int64_t kMaxPrivateScan = 65536;
// FD indices are one byte, so no more than 256 font dictionaries can be selected.
constexpr int kMaxFDs = 256;

// Clamps a DICT number to an integer (NaN and huge values must not be converted
// directly).
int64_t toInt(double v) {
    if (!(v == v)) return 0;
    if (v > 2147483647.0) return 2147483647;
    if (v < -2147483648.0) return -2147483648LL;
    return static_cast<int64_t>(v);
}

}  // namespace

CFoFiType1C::CFoFiType1C(const unsigned char* data, int len) : CFoFiBase(data, len) {}

CFoFiType1C::~CFoFiType1C() = default;

std::unique_ptr<CFoFiType1C> CFoFiType1C::openCff(const unsigned char* data, int len) {
    if (!data || len <= 0) return nullptr;
    // Some producers put a byte in front of the header.
    if (data[0] != 1) {
        ++data;
        --len;
    }
    std::unique_ptr<CFoFiType1C> ff(new CFoFiType1C(data, len));
    if (!ff->parse()) return nullptr;
    return ff;
}

int CFoFiType1C::getCharsetId(int gid) const {
    if (gid < 0 || gid >= glyphCount_) return 0;
    if (predefinedCharset_) return gid < predefinedCharsetLength_ ? predefinedCharset_[gid] : 0;
    return gid < static_cast<int>(charset_.size()) ? charset_[static_cast<size_t>(gid)] : 0;
}

bool CFoFiType1C::parse() {
    ok_ = true;
    int hdrSize = readU8(2, &ok_);
    if (!ok_) return false;
    readIndex(hdrSize, &nameIdx_);
    if (!ok_) return false;
    readIndex(nameIdx_.endPos, &topDictIdx_);
    if (!ok_) return false;
    readIndex(topDictIdx_.endPos, &stringIdx_);
    if (!ok_) return false;
    readIndex(stringIdx_.endPos, &gsubrIdx_);
    if (!ok_) return false;
    gsubrBias_ = gsubrIdx_.count < 1240 ? 107 : gsubrIdx_.count < 33900 ? 1131 : 32768;

    CffIndexVal val;
    getIndexVal(nameIdx_, 0, &val);
    if (!ok_) return false;
    int n = val.len < 255 ? val.len : 255;
    name_.assign(reinterpret_cast<const char*>(data_ + val.pos), static_cast<size_t>(n));

    readTopDict();
    if (!ok_) return false;

    if (isCIDFont()) {
        readFDs();
    } else {
        CffPrivateDict pd;
        readPrivateDict(topDict_.privateOffset, topDict_.privateSize, &pd);
        privateDicts_.push_back(pd);
    }
    if (!ok_) return false;

    if (topDict_.charStringsOffset <= 0) return false;
    readIndex(topDict_.charStringsOffset, &charStringsIdx_);
    if (!ok_) return false;
    glyphCount_ = charStringsIdx_.count;

    if (isCIDFont()) {
        readFDSelect();
        if (!ok_) return false;
    }
    readCharset();
    if (!ok_) return false;
    if (topDict_.firstOp != 0x0c1e && topDict_.firstOp != 0x0c14) {
        buildEncoding();
        if (!ok_) return false;
    }
    return true;
}

void CFoFiType1C::readIndex(int64_t pos, CffIndex* idx) {
    idx->pos = pos;
    idx->count = readU16BE(pos, &ok_);
    if (idx->count == 0) {
        idx->offSize = 0;
        idx->startPos = idx->endPos = pos + 2;
        return;
    }
    idx->offSize = readU8(pos + 2, &ok_);
    if (!ok_ || idx->offSize < 1 || idx->offSize > 4) {
        ok_ = false;
        return;
    }
    idx->startPos = pos + 2 + static_cast<int64_t>(idx->count + 1) * idx->offSize;
    if (idx->startPos < 0 || idx->startPos >= len_) {
        ok_ = false;
        return;
    }
    uint32_t last = readUnsignedBE(pos + 3 + static_cast<int64_t>(idx->count) * idx->offSize, idx->offSize, &ok_);
    idx->endPos = idx->startPos + last;
    if (!ok_ || idx->endPos < idx->startPos || idx->endPos > len_) ok_ = false;
}

void CFoFiType1C::getIndexVal(const CffIndex& idx, int i, CffIndexVal* val) {
    val->pos = 0;
    val->len = 0;
    if (i < 0 || i >= idx.count) {
        ok_ = false;
        return;
    }
    int64_t offPos = idx.pos + 3 + static_cast<int64_t>(i) * idx.offSize;
    int64_t start = idx.startPos + readUnsignedBE(offPos, idx.offSize, &ok_);
    int64_t end = idx.startPos + readUnsignedBE(offPos + idx.offSize, idx.offSize, &ok_);
    if (!ok_ || start < idx.startPos || start > idx.endPos || end <= idx.startPos || end > idx.endPos || end < start) {
        ok_ = false;
        return;
    }
    val->pos = start;
    val->len = static_cast<int>(end - start);
}

int64_t CFoFiType1C::getOp(int64_t pos, int* op) {
    *op = -1;
    int b0 = readU8(pos++, &ok_);
    if (!ok_) return pos;
    double x = 0;
    if (b0 == 28) {
        int v = readU16BE(pos, &ok_);
        pos += 2;
        x = static_cast<int16_t>(static_cast<uint16_t>(v));
    } else if (b0 == 29) {
        uint32_t v = readUnsignedBE(pos, 4, &ok_);
        pos += 4;
        x = static_cast<int32_t>(v);
    } else if (b0 == 30) {
        static const char kNibbles[] = "0123456789.ee -";
        char buf[65];
        int n = 0;
        bool done = false;
        while (!done) {
            int b = readU8(pos++, &ok_);
            if (!ok_) return pos;
            for (int half = 0; half < 2 && !done; ++half) {
                int nib = half == 0 ? (b >> 4) : (b & 0x0f);
                if (nib == 0x0f) {
                    done = true;
                    break;
                }
                if (n < 64) buf[n++] = kNibbles[nib];
                if (nib == 0x0c && n < 64) buf[n++] = '-';
            }
        }
        buf[n] = 0;
        x = std::strtod(buf, nullptr);
    } else if (b0 >= 32 && b0 <= 246) {
        x = b0 - 139;
    } else if (b0 >= 247 && b0 <= 250) {
        int b1 = readU8(pos++, &ok_);
        x = (b0 - 247) * 256 + b1 + 108;
    } else if (b0 >= 251 && b0 <= 254) {
        int b1 = readU8(pos++, &ok_);
        x = -(b0 - 251) * 256 - b1 - 108;
    } else if (b0 == 12) {
        int b1 = readU8(pos++, &ok_);
        *op = 0x0c00 + b1;
        return pos;
    } else {
        *op = b0;
        return pos;
    }
    if (!ok_) return pos;
    if (nOps_ >= kMaxOperands) {
        ok_ = false;
        return pos;
    }
    ops_[nOps_++] = x;
    return pos;
}

void CFoFiType1C::readTopDict() {
    CffIndexVal val;
    getIndexVal(topDictIdx_, 0, &val);
    if (!ok_) return;
    int64_t pos = val.pos;
    int64_t end = val.pos + val.len;
    nOps_ = 0;
    CffTopDict& d = topDict_;
    while (pos < end && ok_) {
        int op;
        pos = getOp(pos, &op);
        if (!ok_) break;
        if (op < 0) continue;
        if (d.firstOp < 0) d.firstOp = op;
        auto n = [&](int i) { return ops_[i]; };
        auto ni = [&](int i) { return toInt(ops_[i]); };
        switch (op) {
            case 0:
                if (nOps_ >= 1) d.version = static_cast<int>(ni(0));
                break;
            case 1:
                if (nOps_ >= 1) d.notice = static_cast<int>(ni(0));
                break;
            case 0x0c00:
                if (nOps_ >= 1) d.copyright = static_cast<int>(ni(0));
                break;
            case 2:
                if (nOps_ >= 1) d.fullName = static_cast<int>(ni(0));
                break;
            case 3:
                if (nOps_ >= 1) d.familyName = static_cast<int>(ni(0));
                break;
            case 4:
                if (nOps_ >= 1) d.weight = static_cast<int>(ni(0));
                break;
            case 0x0c01:
                if (nOps_ >= 1) d.isFixedPitch = static_cast<int>(ni(0));
                break;
            case 0x0c02:
                if (nOps_ >= 1) d.italicAngle = n(0);
                break;
            case 0x0c03:
                if (nOps_ >= 1) d.underlinePosition = n(0);
                break;
            case 0x0c04:
                if (nOps_ >= 1) d.underlineThickness = n(0);
                break;
            case 0x0c05:
                if (nOps_ >= 1) d.paintType = static_cast<int>(ni(0));
                break;
            case 0x0c06:
                if (nOps_ >= 1) d.charStringType = static_cast<int>(ni(0));
                break;
            case 0x0c07:
                if (nOps_ >= 6)
                    for (int i = 0; i < 6; ++i)
                        d.fontMatrix[i] = n(i);
                break;
            case 5:
                if (nOps_ >= 4)
                    for (int i = 0; i < 4; ++i)
                        d.fontBBox[i] = n(i);
                break;
            case 0x0c08:
                if (nOps_ >= 1) d.strokeWidth = n(0);
                break;
            case 13:
                if (nOps_ >= 1) d.uniqueID = static_cast<int>(ni(0));
                break;
            case 15:
                if (nOps_ >= 1) d.charsetOffset = ni(0);
                break;
            case 16:
                if (nOps_ >= 1) d.encodingOffset = ni(0);
                break;
            case 17:
                if (nOps_ >= 1) d.charStringsOffset = ni(0);
                break;
            case 18:
                if (nOps_ >= 2) {
                    d.privateSize = ni(0);
                    d.privateOffset = ni(1);
                }
                break;
            case 0x0c1e:
                if (nOps_ >= 3) {
                    d.registrySID = static_cast<int>(ni(0));
                    d.orderingSID = static_cast<int>(ni(1));
                    d.supplement = static_cast<int>(ni(2));
                }
                break;
            case 0x0c24:
                if (nOps_ >= 1) d.fdArrayOffset = ni(0);
                break;
            case 0x0c25:
                if (nOps_ >= 1) d.fdSelectOffset = ni(0);
                break;
            default:
                break;
        }
        nOps_ = 0;
    }
}

void CFoFiType1C::readPrivateDict(int64_t offset, int64_t size, CffPrivateDict* pd) {
    pd->offset = offset;
    pd->size = size;
    if (offset <= 0 || size <= 0) return;
    if (size > kMaxPrivateScan) size = kMaxPrivateScan;
    int64_t pos = offset;
    int64_t end = offset + size;
    nOps_ = 0;
    while (pos < end && ok_) {
        int op;
        pos = getOp(pos, &op);
        if (!ok_) break;
        if (op < 0) continue;
        switch (op) {
            case 19:
                if (nOps_ >= 1) pd->subrsOffset = offset + toInt(ops_[0]);
                break;
            case 20:
                if (nOps_ >= 1) pd->defaultWidthX = ops_[0];
                break;
            case 21:
                if (nOps_ >= 1) pd->nominalWidthX = ops_[0];
                break;
            default:
                break;
        }
        nOps_ = 0;
    }
}

void CFoFiType1C::readFDs() {
    if (topDict_.fdArrayOffset == 0) {
        privateDicts_.emplace_back();
        return;
    }
    CffIndex fdIdx;
    readIndex(topDict_.fdArrayOffset, &fdIdx);
    if (!ok_) return;
    int count = fdIdx.count < kMaxFDs ? fdIdx.count : kMaxFDs;
    std::set<std::pair<int64_t, int64_t>> seen;
    for (int i = 0; i < count && ok_; ++i) {
        CffIndexVal val;
        getIndexVal(fdIdx, i, &val);
        if (!ok_) return;
        int64_t pos = val.pos;
        int64_t end = val.pos + val.len;
        int64_t privSize = 0, privOffset = 0;
        nOps_ = 0;
        while (pos < end && ok_) {
            int op;
            pos = getOp(pos, &op);
            if (!ok_) return;
            if (op < 0) continue;
            if (op == 18 && nOps_ >= 2) {
                privSize = toInt(ops_[0]);
                privOffset = toInt(ops_[1]);
            }
            nOps_ = 0;
        }
        CffPrivateDict pd;
        // Several font dictionaries often share one Private DICT: check it once.
        if (seen.insert({privOffset, privSize}).second) {
            readPrivateDict(privOffset, privSize, &pd);
        } else {
            pd.offset = privOffset;
            pd.size = privSize;
        }
        privateDicts_.push_back(pd);
    }
}

void CFoFiType1C::readFDSelect() {
    if (topDict_.fdSelectOffset == 0) return;
    int64_t pos = topDict_.fdSelectOffset;
    int fmt = readU8(pos++, &ok_);
    if (!ok_) return;
    fdSelect_.assign(static_cast<size_t>(glyphCount_), 0);
    if (fmt == 0) {
        if (!isInside(pos, glyphCount_)) {
            ok_ = false;
            return;
        }
        for (int i = 0; i < glyphCount_; ++i)
            fdSelect_[static_cast<size_t>(i)] = data_[pos + i];
    } else if (fmt == 3) {
        int nRanges = readU16BE(pos, &ok_);
        pos += 2;
        int gid0 = readU16BE(pos, &ok_);
        pos += 2;
        for (int i = 0; i < nRanges && ok_; ++i) {
            int fd = readU8(pos++, &ok_);
            int gid1 = readU16BE(pos, &ok_);
            pos += 2;
            if (!ok_) return;
            if (gid0 > gid1 || gid1 > glyphCount_) {
                ok_ = false;
                return;
            }
            for (int g = gid0; g < gid1; ++g)
                fdSelect_[static_cast<size_t>(g)] = static_cast<uint8_t>(fd);
            gid0 = gid1;
        }
    } else {
        ok_ = false;
    }
}

void CFoFiType1C::readCharset() {
    int64_t off = topDict_.charsetOffset;
    if (off == 0) {
        predefinedCharset_ = kCffISOAdobeCharset;
        predefinedCharsetLength_ = 229;
        return;
    }
    if (off == 1) {
        predefinedCharset_ = kCffExpertCharset;
        predefinedCharsetLength_ = 166;
        return;
    }
    if (off == 2) {
        predefinedCharset_ = kCffExpertSubsetCharset;
        predefinedCharsetLength_ = 87;
        return;
    }
    charset_.assign(static_cast<size_t>(glyphCount_), 0);
    int64_t pos = off;
    int fmt = readU8(pos++, &ok_);
    if (!ok_) return;
    if (fmt == 0) {
        for (int i = 1; i < glyphCount_ && ok_; ++i) {
            charset_[static_cast<size_t>(i)] = static_cast<uint16_t>(readU16BE(pos, &ok_));
            pos += 2;
        }
    } else if (fmt == 1 || fmt == 2) {
        int i = 1;
        while (i < glyphCount_ && ok_) {
            int first = readU16BE(pos, &ok_);
            pos += 2;
            int nLeft;
            if (fmt == 1) {
                nLeft = readU8(pos++, &ok_);
            } else {
                nLeft = readU16BE(pos, &ok_);
                pos += 2;
            }
            if (!ok_) return;
            for (int j = 0; j <= nLeft && i < glyphCount_; ++j)
                charset_[static_cast<size_t>(i++)] = static_cast<uint16_t>(first + j);
        }
    } else {
        ok_ = false;
    }
}

std::string CFoFiType1C::getString(int sid) {
    if (sid >= 0 && sid < kNumStdStrings) return kCffStandardStrings[sid];
    int i = sid - kNumStdStrings;
    if (sid < 0 || i >= stringIdx_.count) {
        ok_ = false;
        return std::string();
    }
    CffIndexVal val;
    getIndexVal(stringIdx_, i, &val);
    if (!ok_) return std::string();
    int n = val.len < 255 ? val.len : 255;
    return std::string(reinterpret_cast<const char*>(data_ + val.pos), static_cast<size_t>(n));
}

void CFoFiType1C::buildEncoding() {
    int64_t off = topDict_.encodingOffset;
    if (off == 0) {
        encoding_ = StandardEncoding;
        return;
    }
    if (off == 1) {
        encoding_ = ExpertEncoding;
        return;
    }
    encodingNames_.assign(256, std::string());
    encodingTable_.assign(256, nullptr);
    encoding_ = encodingTable_.data();
    auto assign = [&](int code, int sid) {
        std::string s = getString(sid);
        if (!ok_ || code < 0 || code > 255) return;
        encodingNames_[static_cast<size_t>(code)] = std::move(s);
        encodingTable_[static_cast<size_t>(code)] = encodingNames_[static_cast<size_t>(code)].c_str();
    };
    int64_t pos = off;
    int fmt = readU8(pos++, &ok_);
    if (!ok_) return;
    if ((fmt & 0x7f) == 0) {
        int nCodes = 1 + readU8(pos++, &ok_);
        if (!ok_) return;
        if (nCodes > glyphCount_) nCodes = glyphCount_;
        for (int i = 1; i < nCodes && ok_; ++i) {
            int c = readU8(pos++, &ok_);
            if (!ok_) return;
            assign(c, getCharsetId(i));
        }
        // Codes beyond the glyphs are still part of the table.
        pos = off + 2 + (static_cast<int64_t>(readU8(off + 1, &ok_)));
    } else if ((fmt & 0x7f) == 1) {
        int nRanges = readU8(pos++, &ok_);
        int gid = 1;
        for (int i = 0; i < nRanges && ok_; ++i) {
            int c = readU8(pos++, &ok_);
            int nLeft = readU8(pos++, &ok_);
            if (!ok_) return;
            for (int j = 0; j <= nLeft && gid < glyphCount_ && ok_; ++j) {
                if (c + j < 256) assign(c + j, getCharsetId(gid));
                ++gid;
            }
        }
    } else {
        ok_ = false;
        return;
    }
    if (fmt & 0x80) {
        int nSups = readU8(pos++, &ok_);
        for (int i = 0; i < nSups && ok_; ++i) {
            int c = readU8(pos++, &ok_);
            int sid = readU16BE(pos, &ok_);
            pos += 2;
            if (!ok_) return;
            assign(c, sid);
        }
    }
}
