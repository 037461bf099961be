// Batch-mode helpers: list recognition, reading list lines of any length, and the
// output path of each line.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "platform/Platform.h"

namespace {

struct ListNameCase {
    const char* arg;
    bool isList;
};

class ListName : public ::testing::TestWithParam<ListNameCase> {};

TEST_P(ListName, ThreeCharactersDotTxBeforeTheLast) {
    EXPECT_EQ(GetParam().isList, IsListName(GetParam().arg)) << GetParam().arg;
}

INSTANTIATE_TEST_SUITE_P(All, ListName,
                         ::testing::Values(ListNameCase{"list.txt", true}, ListNameCase{"list.tx1", true},
                                           ListNameCase{"list.txx", true}, ListNameCase{"c:\\dir\\files.txt", true},
                                           ListNameCase{"list.TXT", false}, ListNameCase{"list.Txt", false},
                                           ListNameCase{"doc.pdf", false}, ListNameCase{"a.txta", false},
                                           ListNameCase{"abc.tx", false},  // ".tx" must sit four from the end
                                           ListNameCase{".txt", true},     // four characters or fewer
                                           ListNameCase{"a.pd", true}, ListNameCase{"ab", true}, ListNameCase{"", true},
                                           ListNameCase{"ab.txt", true}));

std::vector<std::string> ReadLines(const std::string& content) {
    // One file per test, so that tests running in parallel do not share it.
    const std::string path =
        ::testing::TempDir() + "/qm_list_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    f = std::fopen(path.c_str(), "rb");
    std::vector<std::string> lines;
    std::string line;
    while (ReadListLine(f, line))
        lines.push_back(line);
    std::fclose(f);
    std::remove(path.c_str());
    return lines;
}

using Lines = std::vector<std::string>;

TEST(ReadListLine, Endings) {
    EXPECT_EQ((Lines{}), ReadLines(""));
    EXPECT_EQ((Lines{"a.pdf"}), ReadLines("a.pdf"));
    EXPECT_EQ((Lines{"a.pdf"}), ReadLines("a.pdf\n"));
    EXPECT_EQ((Lines{"a.pdf", "b.pdf"}), ReadLines("a.pdf\r\nb.pdf\r\n"));
    EXPECT_EQ((Lines{"a.pdf", "", "b.pdf"}), ReadLines("a.pdf\n\nb.pdf"));
    EXPECT_EQ((Lines{""}), ReadLines("\n"));
    // A carriage return inside a line ends the usable part of it.
    EXPECT_EQ((Lines{"a", "c"}), ReadLines("a\rb\nc"));
    EXPECT_EQ((Lines{"a"}), ReadLines(std::string("a\0b\n", 4)));
    EXPECT_EQ((Lines{"with space.pdf"}), ReadLines("with space.pdf\n"));
}

TEST(ReadListLine, LongLinesStayWhole) {
    const std::string longLine = "/very/" + std::string(5000, 'd') + "/a.pdf";
    EXPECT_EQ((Lines{longLine, "b.pdf"}), ReadLines(longLine + "\r\nb.pdf\n"));
    const std::string exact254(254, 'x'), exact255(255, 'y');
    EXPECT_EQ((Lines{exact254, exact255}), ReadLines(exact254 + "\n" + exact255 + "\n"));
}

std::vector<std::string> ReadEntries(const std::string& content) {
    const std::string path = ::testing::TempDir() + "/qm_entries_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    f = std::fopen(path.c_str(), "rb");
    std::vector<std::string> entries;
    std::string line;
    bool atStart = true;
    while (NextListEntry(f, line, atStart))
        entries.push_back(line);
    std::fclose(f);
    std::remove(path.c_str());
    return entries;
}

TEST(NextListEntry, BlankLinesAndByteOrderMarkAreSkipped) {
    struct Case {
        std::string content;
        Lines entries;
    } cases[] = {
        {"", {}},
        {"\n\r\n \t\n", {}},
        {"a.pdf\n\nb.pdf\n\n", {"a.pdf", "b.pdf"}},
        {"a.pdf\r\n\r\n", {"a.pdf"}},  // a trailing blank line ends nothing
        {"\xEF\xBB\xBF"
         "a.pdf\r\nb.pdf",
         {"a.pdf", "b.pdf"}},
        {"\xEF\xBB\xBF\r\n  \r\nc.pdf\n", {"c.pdf"}},
        // Only the start of the file carries a mark; spaces inside a name stay.
        {"a.pdf\n\xEF\xBB\xBF"
         "b.pdf\n",
         {"a.pdf",
          "\xEF\xBB\xBF"
          "b.pdf"}},
        {" my file.pdf \n", {" my file.pdf "}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.entries, ReadEntries(c.content)) << c.content;
}

TEST(BatchOutputPath, FolderAndFileNamePart) {
    EXPECT_EQ(Platform::ComposeOutputPath("out", "a.pdf"), BatchOutputPath("out", "c:\\in\\a.pdf"));
    EXPECT_EQ(Platform::ComposeOutputPath("out", "b.pdf"), BatchOutputPath("out", "b.pdf"));
    EXPECT_EQ(Platform::ComposeOutputPath("out", "c.pdf"), BatchOutputPath("out", "/data/in/c.pdf"));
    EXPECT_EQ(Platform::ComposeOutputPath("out", ""), BatchOutputPath("out", ""));
    const std::string longFolder(400, 'f');
    EXPECT_EQ(Platform::ComposeOutputPath(longFolder, "a.pdf"), BatchOutputPath(longFolder, "in/a.pdf"));
#ifndef _WIN32
    EXPECT_EQ("out/a.pdf", BatchOutputPath("out", "c:\\in\\a.pdf"));
#endif
}

TEST(BatchOutputPath, NulFolderIsTheNullDevice) {
    EXPECT_EQ(Platform::NullDevice(), BatchOutputPath("nul", "c:\\in\\a.pdf"));
    EXPECT_EQ(Platform::NullDevice(), BatchOutputPath("nul", ""));
    // The folder name is compared case-sensitively.
    EXPECT_EQ(Platform::ComposeOutputPath("NUL", "a.pdf"), BatchOutputPath("NUL", "a.pdf"));
    EXPECT_EQ(Platform::ComposeOutputPath("nul2", "a.pdf"), BatchOutputPath("nul2", "a.pdf"));
}

}  // namespace
