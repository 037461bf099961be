// The usage text and banner, byte for byte against the checked-in copy.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "cli/Cli.h"

namespace {

std::string Golden() {
    std::ifstream in(std::string(QM_SOURCE_DIR) + "/tests/golden/usage.txt", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Usage, MatchesGoldenFile) {
    ::testing::internal::CaptureStdout();
    PrintUsage();
    const std::string text = ::testing::internal::GetCapturedStdout();
    const std::string golden = Golden();
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(golden, text);
}

TEST(Usage, BannerShape) {
    ::testing::internal::CaptureStdout();
    PrintBanner();
    const std::string banner = ::testing::internal::GetCapturedStdout();
    // An empty line, three lines, an empty line; every line ends in CR LF.
    ASSERT_EQ(0u, banner.rfind("\r\nQuillmark v1.10", 0));
    ASSERT_GE(banner.size(), 4u);
    EXPECT_EQ("\r\n\r\n", banner.substr(banner.size() - 4));
    size_t lines = 0;
    for (size_t i = 0; i < banner.size(); ++i) {
        if (banner[i] == '\n') {
            ++lines;
            EXPECT_EQ('\r', banner[i - 1]);
        }
    }
    EXPECT_EQ(5u, lines);
    ::testing::internal::CaptureStdout();
    PrintUsage();
    EXPECT_EQ(0u, ::testing::internal::GetCapturedStdout().rfind(banner + "Parameters:\n", 0));
}

TEST(Usage, WildcardMessage) {
    EXPECT_STREQ(
        "\nError! Wildcards * are not permitted, if you want to process many files then do: "
        "dir /B *.pdf > list.txt, then quillmark list.txt -fc:\\test\n\n",
        kWildcardMessage);
}

}  // namespace
