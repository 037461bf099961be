#pragma once
// Files for the writer and pipeline tests: small PDFs from a list of object bodies
// (made by the one test PDF builder, TestPdfBuilder), unique temporary paths, reading
// and writing files, and running a handler.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "pdf/CPdfException.h"
#include "tests/pdf/TestPdfBuilder.h"

namespace testpdf {

/// A file of objects 1..n from bodies (bodies[i] is the text of object i + 1 between
/// "obj" and "endobj"; object 1 must be the catalog), made by TestPdfBuilder with a
/// classic cross-reference table; prefix goes before the header.
inline std::string Build(const std::vector<std::string>& bodies, const std::string& prefix = "",
                         const std::string& trailerExtra = "") {
    TestPdfBuilder b;
    b.junk = prefix;
    b.header = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    b.trailerExtra = trailerExtra;
    for (size_t i = 0; i < bodies.size(); ++i)
        b.add(static_cast<int>(i + 1), bodies[i]);
    return b.build();
}

// Unique per test, so tests of one suite can run in parallel processes.
inline std::string TempPath(const std::string& name) {
    const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string who = t ? std::string(t->test_suite_name()) + "_" + t->name() + "_" : std::string();
    for (char& c : who)
        if (c == '/') c = '_';
    return std::string(::testing::TempDir()) + "qm_writer_" + who + name;
}

inline void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary);
    f << data;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

inline bool FileExists(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return f.good();
}

/// Runs a handler's Process over argv words; returns the exception message or "".
template <typename Handler>
std::string Run(Handler& h, std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    try {
        h.Process(static_cast<int>(argv.size()), argv.data());
    } catch (const CPdfException& e) {
        return e.getMessage();
    }
    return "";
}

}  // namespace testpdf
