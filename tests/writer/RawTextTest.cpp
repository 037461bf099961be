#include "writer/RawText.h"

#include <gtest/gtest.h>

namespace {

struct KeyCase {
    const char* text;
    const char* key;
    const char* value;  // nullptr: key not found at the dictionary's own level
};

const KeyCase kKeyCases[] = {
    {"3 0 obj\n<</Type/Page/Contents 7 0 R>>\nendobj\n", "Contents", "7 0 R"},
    {"3 0 obj <</Contents [1 0 R 2 0 R] /X 1>> endobj", "Contents", "[1 0 R 2 0 R]"},
    // The key inside a nested dictionary or a string is not the page's own.
    {"3 0 obj <</Annots [<</Contents (a)/Rect [0 0 1 1]>>] /Contents 9 0 R>> endobj", "Contents", "9 0 R"},
    {"3 0 obj <</T (/Contents 5 0 R) /Contents 6 0 R>> endobj", "Contents", "6 0 R"},
    {"3 0 obj <</A <</Contents 1 0 R>> >> endobj", "Contents", nullptr},
    // A longer key with the same beginning is another key.
    {"3 0 obj <</ContentsX 1 0 R /Contents 2 0 R>> endobj", "Contents", "2 0 R"},
    {"3 0 obj <</Resources<</Font<</F1 5 0 R>>>>/Annots[3 0 R]>> endobj", "Annots", "[3 0 R]"},
    {"3 0 obj <</Resources<</Font<</F1 5 0 R>>>>/Annots[3 0 R]>> endobj", "Resources", "<</Font<</F1 5 0 R>>>>"},
    {"3 0 obj <</H <41> /Rotate 90 % comment /Annots\n/Annots 1 0 R>> endobj", "Annots", "1 0 R"},
    {"3 0 obj <</Rotate 90>> endobj", "Rotate", "90"},
    {"3 0 obj <</Name/Foo/Other 1>> endobj", "Name", "/Foo"},
    {"3 0 obj <</S (a\\)b) /Annots []>> endobj", "Annots", "[]"},
};

}  // namespace

TEST(RawText, FindsKeysOfTheObjectsOwnDictionaryOnly) {
    for (const KeyCase& c : kKeyCases) {
        std::string t = c.text;
        size_t open = RawText::FindDictOpen(t, RawText::BodyStart(t));
        size_t key = RawText::FindKey(t, open, c.key);
        size_t s, e;
        if (!c.value) {
            EXPECT_EQ(key, RawText::npos) << c.text;
            continue;
        }
        ASSERT_TRUE(RawText::ValueSpan(t, key, s, e)) << c.text;
        EXPECT_EQ(t.substr(s, e - s), c.value) << c.text;
    }
}

TEST(RawText, UnclosedValuesAreNotFound) {
    const char* texts[] = {"1 0 obj <</Annots [1 0 R", "1 0 obj <</Annots (abc", "1 0 obj <</Annots <</A 1",
                           "1 0 obj <</Annots", "1 0 obj <<"};
    for (const char* text : texts) {
        std::string t = text;
        size_t key = RawText::FindKey(t, RawText::FindDictOpen(t, 0), "Annots");
        size_t s, e;
        EXPECT_FALSE(RawText::ValueSpan(t, key, s, e)) << text;
    }
}

TEST(RawText, BodyStartAndArrayObject) {
    std::string t = "12 0 obj\r[ 3 0 R 4 0 R ] endobj\r";
    size_t b = RawText::BodyStart(t);
    EXPECT_EQ(b, 8u);
    size_t open = RawText::FindArrayOpen(t, b);
    ASSERT_EQ(open, 9u);
    EXPECT_EQ(RawText::ValueEnd(t, open), 24u);
    EXPECT_EQ(RawText::FindArrayOpen(std::string("1 0 obj <<>>"), 7), RawText::npos);
}

TEST(RawText, ArbitraryBytesNeverRunPastTheText) {
    // Pieces of PDF syntax shuffled at random: every search ends inside the text.
    const char* pieces[] = {"<<", ">>", "[", "]",  "(", ")", "\\",  "/Annots", "/Contents", " ",   "1",
                            "0",  "R",  "%", "\n", "<", ">", "obj", "/",       "<<>>",      "(a)", "12 0 R"};
    unsigned seed = 12345;
    for (int round = 0; round < 3000; ++round) {
        std::string t = "1 0 obj ";
        int n = static_cast<int>((seed = seed * 1103515245 + 12345) >> 16) % 40;
        for (int i = 0; i < n; ++i) {
            seed = seed * 1103515245 + 12345;
            t += pieces[(seed >> 16) % (sizeof(pieces) / sizeof(pieces[0]))];
        }
        size_t open = RawText::FindDictOpen(t, RawText::BodyStart(t));
        for (const char* key : {"Annots", "Contents"}) {
            size_t k = RawText::FindKey(t, open, key);
            size_t s, e;
            if (RawText::ValueSpan(t, k, s, e)) {
                EXPECT_LT(s, e);
                EXPECT_LE(e, t.size());
            }
        }
        for (size_t p = 0; p < t.size(); ++p) {
            size_t e = RawText::ValueEnd(t, p);
            if (e != RawText::npos) {
                EXPECT_LE(e, t.size());
            }
        }
    }
}
