#pragma once
// Small PDFs for the writer tests, built from object bodies with a correct classic
// cross-reference table, and helpers to read files back.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "pdf/CPdfException.h"

namespace testpdf {

/// bodies[i] is the text of object i + 1 between "obj" and "endobj". Object 1 must be
/// the catalog. Returns the whole file.
inline std::string Build(const std::vector<std::string>& bodies, const std::string& prefix = "",
                         const std::string& trailerExtra = "") {
    std::string pdf = prefix + "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    const size_t base = prefix.size();
    std::vector<size_t> offsets;
    for (size_t i = 0; i < bodies.size(); ++i) {
        offsets.push_back(pdf.size() - base);
        pdf += std::to_string(i + 1) + " 0 obj\n" + bodies[i] + "\nendobj\n";
    }
    size_t xref = pdf.size() - base;
    pdf += "xref\n0 " + std::to_string(bodies.size() + 1) + "\n0000000000 65535 f \n";
    char line[32];
    for (size_t off : offsets) {
        std::snprintf(line, sizeof(line), "%010zu 00000 n \n", off);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(bodies.size() + 1) + " /Root 1 0 R " + trailerExtra +
           ">>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
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
    for (std::string& a : args) argv.push_back(&a[0]);
    try {
        h.Process(static_cast<int>(argv.size()), argv.data());
    } catch (const CPdfException& e) {
        return e.getMessage();
    }
    return "";
}

}  // namespace testpdf
