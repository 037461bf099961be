#pragma once
// Builds small PDF files for tests, with correct cross-reference offsets.
//
//   TestPdfBuilder b;
//   b.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
//   b.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
//   b.add(3, "<< /Type /Page /Parent 2 0 R /Resources << >> >>");
//   std::string pdf = b.build();                 // classic table
//   std::string pdf2 = b.buildWithXRefStream();  // cross-reference stream
//   std::string path = TestPdfBuilder::writeTemp(pdf, "name.pdf");
//
// Offsets are counted from the "%PDF-" header, so junk before the header keeps
// the file valid. Object bodies are written as "N G obj\n" body "\nendobj\n".
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

class TestPdfBuilder {
public:
    std::string junk;  ///< bytes before the header
    std::string header = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
    std::string trailerExtra;  ///< more trailer entries, e.g. "/Info 9 0 R"
    int rootNum = 1;

    /// Adds object num with its body (the text between "obj" and "endobj").
    void add(int num, const std::string& body, int gen = 0) { objects_.push_back({num, gen, body}); }
    /// Adds a stream object: dict entries (without << >>), the data, Length added.
    void addStream(int num, const std::string& dictEntries, const std::string& data) {
        add(num,
            "<< " + dictEntries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
    }

    /// The whole file with a classic cross-reference table.
    std::string build() {
        std::string body = header;
        std::map<int, std::pair<long, int>> offs = writeObjects(body);
        int size = maxNum() + 1;
        long xrefPos = static_cast<long>(body.size());
        body += "xref\n0 " + std::to_string(size) + "\n";
        for (int i = 0; i < size; ++i) {
            char line[32];
            auto it = offs.find(i);
            if (it == offs.end())
                std::snprintf(line, sizeof line, "%010d %05d f\r\n", 0, i == 0 ? 65535 : 0);
            else
                std::snprintf(line, sizeof line, "%010ld %05d n\r\n", it->second.first, it->second.second);
            body += line;
        }
        body += "trailer\n<< /Size " + std::to_string(size) + " /Root " + std::to_string(rootNum) + " 0 R " +
                trailerExtra + " >>\nstartxref\n" + std::to_string(xrefPos) + "\n%%EOF\n";
        offsets_ = offs;
        return junk + body;
    }

    /// The whole file with an unfiltered cross-reference stream (W [1 4 2]) as
    /// object xrefNum (default: one past the highest object, members included). Entries of objects
    /// placed in object streams can be given with inObjStm(num, stream, index).
    std::string buildWithXRefStream(int xrefNum = 0) {
        std::string body = header;
        std::map<int, std::pair<long, int>> offs = writeObjects(body);
        int highest = maxNum();
        for (auto& m : compressed_)
            highest = std::max(highest, m.first);
        if (xrefNum == 0) xrefNum = highest + 1;
        int size = std::max(highest, xrefNum) + 1;
        long xrefPos = static_cast<long>(body.size());
        offs[xrefNum] = {xrefPos, 0};
        std::string data;
        for (int i = 0; i < size; ++i) {
            auto c = compressed_.find(i);
            auto it = offs.find(i);
            if (c != compressed_.end())
                data += entry(2, static_cast<unsigned long>(c->second.first), c->second.second);
            else if (it != offs.end())
                data += entry(1, static_cast<unsigned long>(it->second.first), it->second.second);
            else
                data += entry(0, 0, i == 0 ? 65535 : 0);
        }
        body += std::to_string(xrefNum) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(size) +
                " /W [1 4 2] /Root " + std::to_string(rootNum) + " 0 R " + trailerExtra + " /Length " +
                std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream\nendobj\n";
        body += "startxref\n" + std::to_string(xrefPos) + "\n%%EOF\n";
        offsets_ = offs;
        return junk + body;
    }

    /// Marks num as member index of object stream stm in the cross-reference stream.
    void inObjStm(int num, int stm, int index) { compressed_[num] = {stm, index}; }

    /// Offset (from the header) of object num in the last built file, or -1.
    long offsetOf(int num) const {
        auto it = offsets_.find(num);
        return it == offsets_.end() ? -1 : it->second.first;
    }

    /// An object stream body: members given as (number, text).
    static std::string objStm(const std::vector<std::pair<int, std::string>>& members, std::string* header = nullptr) {
        std::string head, data;
        for (auto& m : members) {
            head += std::to_string(m.first) + " " + std::to_string(data.size()) + " ";
            data += m.second + "\n";
        }
        if (header) *header = head;
        return head + data;
    }

    /// Writes data to a fresh file in the temporary folder and returns its path.
    static std::string writeTemp(const std::string& data, const std::string& name) {
        const char* dir = std::getenv("TMPDIR");
        std::string path = std::string(dir && *dir ? dir : "/tmp") + "/qm_pdf_" + std::to_string(getpid()) + "_" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f) {
            std::fwrite(data.data(), 1, data.size(), f);
            std::fclose(f);
        }
        return path;
    }

private:
    struct Obj {
        int num, gen;
        std::string body;
    };

    int maxNum() const {
        int m = 0;
        for (auto& o : objects_)
            m = std::max(m, o.num);
        return m;
    }

    std::map<int, std::pair<long, int>> writeObjects(std::string& body) const {
        std::map<int, std::pair<long, int>> offs;
        for (auto& o : objects_) {
            offs[o.num] = {static_cast<long>(body.size()), o.gen};
            body += std::to_string(o.num) + " " + std::to_string(o.gen) + " obj\n" + o.body + "\nendobj\n";
        }
        return offs;
    }

    static std::string entry(int kind, unsigned long f2, int f3) {
        std::string e;
        e += static_cast<char>(kind);
        for (int s = 24; s >= 0; s -= 8)
            e += static_cast<char>((f2 >> s) & 0xFF);
        e += static_cast<char>((f3 >> 8) & 0xFF);
        e += static_cast<char>(f3 & 0xFF);
        return e;
    }

    std::vector<Obj> objects_;
    std::map<int, std::pair<int, int>> compressed_;
    std::map<int, std::pair<long, int>> offsets_;
};
