#pragma once
// A handler bound to a cross-reference table read from a small generated PDF, with
// its output going to a temporary file, for tests of the page-level writers.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "links/CQuillmarkHandler.h"
#include "pdf/CPdfXRef.h"
#include "stream/CPdfFileStream.h"
#include "tests/writer/TestPdf.h"
#include "writer/COutputFile.h"

class DocTestBase : public ::testing::Test {
protected:
    void open(const std::vector<std::string>& bodies, const std::string& name) {
        inPath = testpdf::TempPath(name + ".pdf");
        outPath = testpdf::TempPath(name + ".out");
        testpdf::WriteFile(inPath, testpdf::Build(bodies));
        file = std::fopen(inPath.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        stream = new CPdfFileStream(file, 0, 0, CPdfElement());
        xref.reset(new CPdfXRef(stream));
        xref->open();
        h.xref = xref.get();
        h.outEntries.assign(static_cast<size_t>(xref->getNumEntries()), OutputEntry());
        h.out.reset(new COutputFile());
        ASSERT_TRUE(h.out->open(outPath));
    }
    void TearDown() override {
        h.out.reset();
        h.xref = nullptr;
        xref.reset();
        if (stream) stream->release();
        if (file) std::fclose(file);
    }
    std::string raw(int32_t num) {
        std::string t;
        EXPECT_TRUE(xref->getRawObjectText(num, t));
        return t;
    }
    /// Closes the output and returns its bytes.
    std::string output() {
        h.out->close();
        return testpdf::ReadFile(outPath);
    }

    CQuillmarkHandler h;
    std::string inPath, outPath;
    FILE* file = nullptr;
    CPdfFileStream* stream = nullptr;
    std::unique_ptr<CPdfXRef> xref;
};
