// Encoding CMaps of composite fonts: Identity and embedded CMaps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "font/CPdfCMap.h"

namespace {

struct Code {
    int consumed;
    uint32_t value;
    uint32_t cid;
    bool matched;
    bool operator==(const Code& o) const {
        return consumed == o.consumed && value == o.value && cid == o.cid && matched == o.matched;
    }
};

std::ostream& operator<<(std::ostream& os, const Code& c) {
    return os << "{" << c.consumed << ", 0x" << std::hex << c.value << ", " << std::dec << c.cid << ", " << c.matched
              << "}";
}

std::vector<Code> decodeAll(const CPdfCMap& cmap, const std::string& s) {
    std::vector<Code> out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
    int left = static_cast<int>(s.size());
    while (left > 0) {
        Code c{};
        c.consumed = cmap.decode(p, left, &c.value, &c.cid, &c.matched);
        if (c.consumed < 1) {
            ADD_FAILURE() << "no progress";
            break;
        }
        out.push_back(c);
        p += c.consumed;
        left -= c.consumed;
    }
    return out;
}

const char* kMixed =
    "%!PS-Adobe-3.0 Resource-CMap\n"
    "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
    "/CMapName /Test-Mixed def /CMapType 1 def\n"
    "2 begincodespacerange\n<00> <80>\n<8140> <FEFE>\nendcodespacerange\n"
    "2 begincidrange\n<20> <7e> 1\n<8140> <817e> 633\nendcidrange\n"
    "1 begincidchar\n<8150> 9000\nendcidchar\n"
    "endcmap CMapName currentdict /CMap defineresource pop end end\n";

}  // namespace

TEST(CidCMap, IdentityTakesTwoBytesAndTheOddLastByteAlone) {
    auto cmap = CPdfCMap::createIdentity(false);
    EXPECT_EQ(cmap->codeBits(), 16);
    EXPECT_EQ(decodeAll(*cmap, std::string("\x00\x41\x01\x02\x07", 5)),
              (std::vector<Code>{{2, 0x41, 0x41, true}, {2, 0x102, 0x102, true}, {1, 7, 0, false}}));
}

TEST(CidCMap, MixedCodespaces) {
    auto cmap = CPdfCMap::parse(kMixed, std::strlen(kMixed));
    ASSERT_TRUE(cmap);
    EXPECT_EQ(cmap->codeBits(), 0);
    EXPECT_EQ(decodeAll(*cmap, "A\x81\x41\x81\x50 \x81"), (std::vector<Code>{{1, 0x41, 34, true},
                                                                             {2, 0x8141, 634, true},
                                                                             {2, 0x8150, 9000, true},
                                                                             {1, 0x20, 1, true},
                                                                             {1, 0x81, 0, false}}));
}

TEST(CidCMap, CodesOutsideEveryRange) {
    auto cmap = CPdfCMap::parse(kMixed, std::strlen(kMixed));
    ASSERT_TRUE(cmap);
    // 0x81 0x20: the first byte starts a two-byte range, the second does not fit: the
    // two bytes are skipped as one unknown code. 0xFF fits no range at all.
    EXPECT_EQ(decodeAll(*cmap, "\x81\x20\xff"), (std::vector<Code>{{2, 0x8120, 0, false}, {1, 0xff, 0, false}}));
    // Inside the codespace but without a CID mapping: CID 0.
    EXPECT_EQ(decodeAll(*cmap, "\x05"), (std::vector<Code>{{1, 5, 0, true}}));
}

TEST(CidCMap, UsecmapOfIdentity) {
    const char* text =
        "/Identity-H usecmap\n"
        "1 begincidchar <0041> 7 endcidchar\n";
    auto cmap = CPdfCMap::parse(text, std::strlen(text));
    ASSERT_TRUE(cmap);
    EXPECT_EQ(cmap->codeBits(), 16);
    EXPECT_EQ(decodeAll(*cmap, std::string("\x00\x41\x00\x42", 4)),
              (std::vector<Code>{{2, 0x41, 7, true}, {2, 0x42, 0x42, true}}));
}

TEST(CidCMap, ThreeAndFourByteCodes) {
    const char* text =
        "2 begincodespacerange <000000> <0FFFFF> <10000000> <1FFFFFFF> endcodespacerange\n"
        "2 begincidrange <000100> <0001FF> 50 <10000000> <10000010> 3 endcidrange\n";
    auto cmap = CPdfCMap::parse(text, std::strlen(text));
    ASSERT_TRUE(cmap);
    EXPECT_EQ(decodeAll(*cmap, std::string("\x00\x01\x02\x10\x00\x00\x05", 7)),
              (std::vector<Code>{{3, 0x102, 52, true}, {4, 0x10000005, 8, true}}));
}

TEST(CidCMap, NestedRangesPreferTheInnermost) {
    const char* text =
        "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
        "3 begincidrange <0000> <00FF> 1000 <0010> <001F> 2000 <0030> <0030> 3000 endcidrange\n";
    auto cmap = CPdfCMap::parse(text, std::strlen(text));
    ASSERT_TRUE(cmap);
    EXPECT_EQ(decodeAll(*cmap, std::string("\x00\x11\x00\x20\x00\x30", 6)),
              (std::vector<Code>{{2, 0x11, 2001, true}, {2, 0x20, 1032, true}, {2, 0x30, 3000, true}}));
}

TEST(CidCMap, NoCodespaceIsUnsupported) {
    const char* text = "1 begincidrange <00> <ff> 0 endcidrange";
    EXPECT_FALSE(CPdfCMap::parse(text, std::strlen(text)));
    EXPECT_FALSE(CPdfCMap::parse("", 0));
}

TEST(CidCMap, MalformedEntriesAreSkipped) {
    const char* text =
        "3 begincodespacerange <00> <0000> <0102030405> <FF> <00> <ff> endcodespacerange\n"
        "3 begincidrange <00> <0010> 5 <20> <10> 5 <30> <31> x endcidrange\n"
        "1 begincidchar <40> -1 endcidchar\n";
    auto cmap = CPdfCMap::parse(text, std::strlen(text));
    ASSERT_TRUE(cmap);
    ASSERT_EQ(cmap->codespaces().size(), 1u);
    EXPECT_EQ(decodeAll(*cmap, "\x05\x20\x30\x40"),
              (std::vector<Code>{{1, 5, 0, true}, {1, 0x20, 0, true}, {1, 0x30, 0, true}, {1, 0x40, 0, true}}));
}

TEST(CidCMap, CidRangeOffsetsWrapInsteadOfOverflowing) {
    const char* text =
        "1 begincodespacerange <00> <FF> endcodespacerange\n"
        "1 begincidrange <00> <FF> 4294967295 endcidrange\n";
    auto cmap = CPdfCMap::parse(text, std::strlen(text));
    ASSERT_TRUE(cmap);
    auto codes = decodeAll(*cmap, std::string("\x01", 1));
    ASSERT_EQ(codes.size(), 1u);
    EXPECT_EQ(codes[0].cid, 0u);  // 4294967295 + 1 wraps
}
