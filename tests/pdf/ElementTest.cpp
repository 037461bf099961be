#include <gtest/gtest.h>

#include <string>

#include "pdf/CPdfArray.h"
#include "pdf/CPdfDictionary.h"
#include "pdf/CPdfElement.h"
#include "pdf/CPdfException.h"
#include "stream/CPdfMemoryStream.h"
#include "tests/pdf/PdfTestUtil.h"

using pdftest::describe;

namespace {

TEST(Element, CopiesBytesDeeplyAndSharesContainers) {
    CPdfElement s;
    s.setName("Font", 4);
    CPdfElement t(s);
    s.setName("X", 1);
    EXPECT_EQ(t.getBytes(), "Font");
    EXPECT_TRUE(t.isName("Font"));
    EXPECT_FALSE(t.isName("Fon"));

    CPdfElement d;
    d.setNewDictionary(nullptr);
    CPdfElement v;
    v.setInteger(1);
    d.getDictionary()->add("A", v);
    CPdfElement d2 = d;
    EXPECT_EQ(d2.getDictionary(), d.getDictionary());
    d.free();
    // The copy keeps the dictionary alive.
    EXPECT_EQ(describe(d2), "{A:I:1}");
    d2.free();

    CPdfElement a;
    a.setNewArray(nullptr);
    a.getArray()->add(v);
    CPdfElement a2;
    a2.copy(a);
    a.free();
    EXPECT_EQ(describe(a2), "[I:1]");
    a2.copy(a2);  // self copy keeps the value
    EXPECT_EQ(describe(a2), "[I:1]");
}

TEST(Element, CopyFromInsideOwnContainer) {
    // Assigning an item of an array to the only element holding that array.
    CPdfElement a;
    a.setNewArray(nullptr);
    CPdfElement inner;
    inner.setString("kept", 4);
    a.getArray()->add(inner);
    a = a.getArray()->at(0);
    EXPECT_EQ(describe(a), "S:kept");
}

TEST(Element, StreamSharesAndGivesItsDictionary) {
    CPdfElement dict;
    dict.setNewDictionary(nullptr);
    CPdfElement one;
    one.setInteger(1);
    dict.getDictionary()->add("Length", one);
    CPdfStream* s = new CPdfMemoryStream("abc", 3, dict);
    CPdfElement e;
    e.setStream(s);
    s->release();
    EXPECT_EQ(e.getStream(), s);
    EXPECT_EQ(e.getDictionary(), dict.getDictionary());
    CPdfElement e2 = e;
    e.free();
    EXPECT_EQ(pdftest::readAllBytes(e2.getStream()), "abc");
    CPdfElement shared;
    shared.setSharedDictionary(dict.getDictionary());
    dict.free();
    EXPECT_EQ(describe(shared), "{Length:I:1}");
}

TEST(Dictionary, FirstKeyWinsAndOrderIsByBytes) {
    CPdfDictionary* d = new CPdfDictionary(nullptr);
    CPdfElement v;
    v.setInteger(1);
    d->add("K", v);
    v.setInteger(2);
    d->add("K", v);
    EXPECT_EQ(d->lookup("K").getInteger(), 1);
    for (const char* k : {"Type", "Resources", "MediaBox", "Contents", "\xC3\xA9", "A", "AB"})
        d->add(k, v);
    std::string keys;
    for (int i = 0; i < d->getLength(); ++i)
        keys += d->getKey(i) + ",";
    // High bytes sort after ASCII: the comparison is on unsigned bytes.
    EXPECT_EQ(keys, "A,AB,Contents,K,MediaBox,Resources,Type,\xC3\xA9,");
    EXPECT_TRUE(d->lookup("Missing").isNull());
    EXPECT_TRUE(d->lookupRaw("Missing").isNull());
    EXPECT_EQ(d->find("Missing"), nullptr);
    EXPECT_NE(d->find("AB"), nullptr);
    EXPECT_EQ(d->find("ABC"), nullptr);
    d->release();
}

TEST(Dictionary, IsTypeNeedsADirectName) {
    CPdfDictionary* d = new CPdfDictionary(nullptr);
    CPdfElement ref;
    ref.setReference(4, 0);
    d->add("Type", ref);
    EXPECT_FALSE(d->isType("Page"));
    d->release();
    CPdfDictionary* p = new CPdfDictionary(nullptr);
    CPdfElement n;
    n.setName("Page", 4);
    p->add("Type", n);
    EXPECT_TRUE(p->isType("Page"));
    EXPECT_FALSE(p->isType("Pages"));
    p->release();
}

TEST(MemoryStream, WindowsAndPositions) {
    CPdfStream* s = new CPdfMemoryStream("0123456789", 10, CPdfElement());
    EXPECT_EQ(s->getChar(), '0');
    EXPECT_EQ(s->peekChar(), '1');
    EXPECT_EQ(s->getPos(), 1);
    CPdfStream* w = s->openWindow(3, 4, CPdfElement());
    EXPECT_EQ(pdftest::readAllBytes(w), "3456");
    w->reset();
    EXPECT_EQ(w->getChar(), '3');
    w->release();
    CPdfStream* rest = s->openWindow(8, 0, CPdfElement());
    EXPECT_EQ(pdftest::readAllBytes(rest), "89");
    rest->release();
    s->setPos(-2, 2);
    EXPECT_EQ(s->getChar(), '8');
    s->setPos(100, 0);
    EXPECT_EQ(s->getChar(), -1);
    EXPECT_EQ(s->getLength(), 10);
    s->release();
}

}  // namespace
