// RunList in process: its return values, its messages, and the argument vector it
// hands to each file and gives back afterwards.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "pdf/CPdfException.h"
#include "platform/Platform.h"

namespace {

struct Args {
    std::vector<std::string> store;
    std::vector<char*> argv;
    explicit Args(std::vector<std::string> a) : store(std::move(a)) {
        for (auto& s : store)
            argv.push_back(&s[0]);
        argv.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(store.size()); }
};

int RunBatch(Args& a, std::string& printed) {
    ::testing::internal::CaptureStdout();
    int r = -1;
    try {
        r = RunList(a.argv[1], a.argc() > 2 ? a.argv[2] : nullptr, a.argc(), a.argv.data());
    } catch (...) {
        printed = ::testing::internal::GetCapturedStdout();
        throw;
    }
    printed = ::testing::internal::GetCapturedStdout();
    return r;
}

TEST(RunList, NotAListNameContinuesInSingleMode) {
    Args a({"quillmark", "doc.pdf", "-fout", "-remove"});
    std::string printed;
    EXPECT_EQ(0, RunBatch(a, printed));
    EXPECT_EQ("", printed);
}

TEST(RunList, ListWithoutDashFIsRefused) {
    Args a({"quillmark", "list.txt", "out", "-remove"});
    std::string printed;
    EXPECT_EQ(1, RunBatch(a, printed));
    EXPECT_EQ("please specify -f for output folder, e.g. -fc:\\test\n", printed);
    Args b({"quillmark", "list.txt"});
    EXPECT_EQ(1, RunBatch(b, printed));
    EXPECT_EQ("please specify -f for output folder, e.g. -fc:\\test\n", printed);
}

TEST(RunList, UnreadableListIsRefused) {
    const std::string list = ::testing::TempDir() + "/qm_no_such_list.txt";
    const std::string folder = "-f" + ::testing::TempDir() + "/qm_runlist_out";
    Args a({"quillmark", list, folder, "-remove"});
    std::string printed;
    EXPECT_EQ(1, RunBatch(a, printed));
    EXPECT_EQ("Unable to open file list: '" + list + "'\r\n", printed);
    std::remove((::testing::TempDir() + "/qm_runlist_out").c_str());  // the folder it made
}

TEST(RunList, FolderAsListIsRefused) {
    const std::string folder = ::testing::TempDir() + "/qm_runlist_folder.txt";
    Platform::MakeDirectory(folder);
    Args a({"quillmark", folder, "-fnul", "-remove"});
    std::string printed;
    EXPECT_EQ(1, RunBatch(a, printed));
    EXPECT_EQ("Unable to open file list: '" + folder + "'\r\n", printed);
    std::remove(folder.c_str());
}

TEST(RunList, FailingLineEndsTheBatchAndRestoresArguments) {
    const std::string list = ::testing::TempDir() + "/qm_runlist_fail.txt";
    FILE* f = Platform::OpenFile(list, "wb");
    ASSERT_NE(nullptr, f);
    std::fputs("/no/such/dir/a.pdf\nsecond.pdf\n", f);
    std::fclose(f);
    Args a({"quillmark", list, "-fnul", "-remove"});
    char* const arg1 = a.argv[1];
    char* const arg2 = a.argv[2];
    std::string printed;
    try {
        RunBatch(a, printed);
        ADD_FAILURE() << "the batch did not fail";
    } catch (const CPdfException& e) {
        EXPECT_STREQ("Document error\nThe file cannot be read\n", e.getMessage());
    }
    // The handler saw the list line and the null device; "second.pdf" never ran.
    EXPECT_NE(std::string::npos, printed.find("Input file: '/no/such/dir/a.pdf'"));
    EXPECT_EQ(std::string::npos, printed.find("second.pdf"));
    EXPECT_EQ(arg1, a.argv[1]);
    EXPECT_EQ(arg2, a.argv[2]);
    Platform::RemoveFile(list);
}

}  // namespace
