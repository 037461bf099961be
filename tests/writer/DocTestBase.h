#pragma once
// A writer bound to a cross-reference table read from a small generated PDF, with its
// output going to a file of the test, for tests of the page-level writers.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pdf/CPdfXRef.h"
#include "stream/CPdfFileStream.h"
#include "tests/writer/TestPdf.h"
#include "writer/OutputWriter.h"
#include "writer/SharedObjects.h"

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
        writer.reset(new COutputWriter(xref.get(), nullptr));
        ASSERT_TRUE(writer->Open(outPath));
    }
    void TearDown() override {
        writer.reset();
        xref.reset();
        if (stream) stream->release();
        if (file) std::fclose(file);
    }
    std::string raw(int32_t num) {
        std::string t;
        EXPECT_TRUE(xref->getRawObjectText(num, t));
        return t;
    }
    /// Puts the output in place and returns its bytes.
    std::string output() {
        EXPECT_TRUE(writer->Commit());
        return testpdf::ReadFile(outPath);
    }

    std::unique_ptr<COutputWriter> writer;
    SharedObjects shared;
    std::string inPath, outPath;
    FILE* file = nullptr;
    CPdfFileStream* stream = nullptr;
    std::unique_ptr<CPdfXRef> xref;
};
