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

TEST(Element, KindNumbers)
{
    EXPECT_EQ(CPdfElement::Boolean, 0);
    EXPECT_EQ(CPdfElement::Integer, 1);
    EXPECT_EQ(CPdfElement::Real, 2);
    EXPECT_EQ(CPdfElement::String, 3);
    EXPECT_EQ(CPdfElement::Name, 4);
    EXPECT_EQ(CPdfElement::Null, 5);
    EXPECT_EQ(CPdfElement::Array, 6);
    EXPECT_EQ(CPdfElement::Dictionary, 7);
    EXPECT_EQ(CPdfElement::Stream, 8);
    EXPECT_EQ(CPdfElement::Reference, 9);
    EXPECT_EQ(CPdfElement::Command, 10);
    EXPECT_EQ(CPdfElement::Error, 11);
    EXPECT_EQ(CPdfElement::EndOfInput, 12);
    EXPECT_EQ(CPdfElement::None, 13);
    EXPECT_TRUE(CPdfElement().isNone());
}

TEST(Element, FreeResetsToNone)
{
    CPdfElement e;
    e.setString("abc", 3);
    e.free();
    EXPECT_TRUE(e.isNone());
    EXPECT_EQ(e.getBytes(), "");
    e.setReference(3, 1);
    e.free();
    EXPECT_TRUE(e.isNone());
    e.free();
    EXPECT_TRUE(e.isNone());
}

TEST(Element, CopiesBytesDeeplyAndSharesContainers)
{
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

TEST(Element, CopyFromInsideOwnContainer)
{
    // Assigning an item of an array to the only element holding that array.
    CPdfElement a;
    a.setNewArray(nullptr);
    CPdfElement inner;
    inner.setString("kept", 4);
    a.getArray()->add(inner);
    a = a.getArray()->at(0);
    EXPECT_EQ(describe(a), "S:kept");
}

TEST(Element, MoveLeavesNone)
{
    CPdfElement a;
    a.setString("x", 1);
    CPdfElement b(std::move(a));
    EXPECT_TRUE(a.isNone());
    EXPECT_EQ(describe(b), "S:x");
    CPdfElement c;
    c.setInteger(4);
    c = std::move(b);
    EXPECT_EQ(describe(c), "S:x");
}

TEST(Element, Readers)
{
    CPdfElement e;
    e.setReal(2.5);
    EXPECT_TRUE(e.isNumber());
    EXPECT_DOUBLE_EQ(e.getNumber(), 2.5);
    e.setInteger(-3);
    EXPECT_DOUBLE_EQ(e.getNumber(), -3);
    e.setBoolean(true);
    EXPECT_TRUE(e.getBoolean());
    EXPECT_DOUBLE_EQ(e.getNumber(), 0);
    e.setCommand("BT", 2);
    EXPECT_TRUE(e.isCommand("BT"));
    EXPECT_FALSE(e.isCommand("B"));
    EXPECT_FALSE(e.isCommand("BTX"));
    e.setName("BT", 2);
    EXPECT_FALSE(e.isCommand("BT"));
    EXPECT_EQ(e.getArray(), nullptr);
    EXPECT_EQ(e.getDictionary(), nullptr);
    EXPECT_EQ(e.getStream(), nullptr);
    e.setString(std::string("a\0b", 3).data(), 3);
    EXPECT_EQ(e.getBytes().size(), 3u);
}

TEST(Element, StreamSharesAndGivesItsDictionary)
{
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

TEST(Element, FetchWithoutTableIsACopy)
{
    CPdfElement r;
    r.setReference(5, 0);
    EXPECT_EQ(describe(r.fetch(nullptr)), "Ref:5,0");
    CPdfElement i;
    i.setInteger(3);
    EXPECT_EQ(describe(i.fetch(nullptr)), "I:3");
}

TEST(Dictionary, FirstKeyWinsAndOrderIsByBytes)
{
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

TEST(Dictionary, IsTypeNeedsADirectName)
{
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

TEST(Array, GetAndGetRawWithoutTable)
{
    CPdfArray* a = new CPdfArray(nullptr);
    CPdfElement r;
    r.setReference(1, 0);
    a->add(r);
    EXPECT_EQ(a->getLength(), 1);
    EXPECT_EQ(describe(a->get(0)), "Ref:1,0");
    EXPECT_EQ(describe(a->getRaw(0)), "Ref:1,0");
    a->addRef();
    a->release();
    EXPECT_EQ(a->getLength(), 1);
    a->release();
}

TEST(Exception, Message)
{
    CPdfException e("Corrupted PDF file");
    EXPECT_STREQ(e.getMessage(), "Corrupted PDF file");
    CPdfException c = e;
    EXPECT_STREQ(c.getMessage(), "Corrupted PDF file");
    CPdfException s(std::string("x"));
    EXPECT_STREQ(s.getMessage(), "x");
}

TEST(MemoryStream, WindowsAndPositions)
{
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
