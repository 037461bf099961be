// The platform module: path helpers, null device, temp-file replacement and the
// UTF-8 <-> Windows-1252 conversions.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/Platform.h"

#ifndef _WIN32
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

struct NameCase {
    const char* path;
    const char* name;
};

class FileNamePart : public ::testing::TestWithParam<NameCase> {};

TEST_P(FileNamePart, AfterLastSeparatorOfEitherKind) {
    EXPECT_EQ(GetParam().name, Platform::FileNamePart(GetParam().path)) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(All, FileNamePart,
                         ::testing::Values(NameCase{"a.pdf", "a.pdf"}, NameCase{"dir/a.pdf", "a.pdf"},
                                           NameCase{"/x/y/z/a.pdf", "a.pdf"}, NameCase{"c:\\in\\a.pdf", "a.pdf"},
                                           NameCase{"c:\\in/sub\\a.pdf", "a.pdf"},
                                           NameCase{"c:/in\\sub/a.pdf", "a.pdf"}, NameCase{"dir/", ""},
                                           NameCase{"dir\\", ""}, NameCase{"", ""}, NameCase{"c:a.pdf", "c:a.pdf"}));

TEST(Platform, ComposeOutputPathUsesTheSystemSeparator) {
#ifdef _WIN32
    EXPECT_EQ("out\\a.pdf", Platform::ComposeOutputPath("out", "a.pdf"));
#else
    EXPECT_EQ("out/a.pdf", Platform::ComposeOutputPath("out", "a.pdf"));
    EXPECT_EQ("/abs/dir/b c.pdf", Platform::ComposeOutputPath("/abs/dir", "b c.pdf"));
    const std::string longName(1000, 'n');
    EXPECT_EQ("f/" + longName, Platform::ComposeOutputPath("f", longName));
#endif
}

TEST(Platform, NullDevice) {
    EXPECT_TRUE(Platform::IsNullDevice(Platform::NullDevice()));
#ifdef _WIN32
    EXPECT_STREQ("nul", Platform::NullDevice());
    EXPECT_TRUE(Platform::IsNullDevice("NUL"));
#else
    EXPECT_STREQ("/dev/null", Platform::NullDevice());
    EXPECT_FALSE(Platform::IsNullDevice("nul"));
    EXPECT_FALSE(Platform::IsNullDevice("/dev/null2"));
    EXPECT_FALSE(Platform::IsNullDevice(""));
    // Deleting the null device must never remove it (a run as root could).
    Platform::RemoveFile("/dev/null");
    struct stat st;
    EXPECT_EQ(0, stat("/dev/null", &st));
#endif
    // Writing to it works and stores nothing.
    FILE* f = Platform::OpenFile(Platform::NullDevice(), "wb");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(3u, std::fwrite("abc", 1, 3, f));
    std::fclose(f);
}

std::string TempDir() {
    std::string dir = ::testing::TempDir();
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
    return dir;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

bool Exists(const std::string& path) {
    FILE* f = Platform::OpenFile(path, "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

TEST(Platform, MakeDirectoryAndRemoveFile) {
    const std::string dir = TempDir() + "qm_platform_dir";
    Platform::MakeDirectory(dir);
    Platform::MakeDirectory(dir);  // an existing folder is fine
    const std::string file = Platform::ComposeOutputPath(dir, "f.bin");
    WriteAll(file, "x");
    EXPECT_TRUE(Exists(file));
    Platform::RemoveFile(file);
    EXPECT_FALSE(Exists(file));
    Platform::RemoveFile(file);  // a missing file is ignored
}

TEST(Platform, SeekAndTellAre64Bit) {
    const std::string path = TempDir() + "qm_platform_seek.bin";
    FILE* f = Platform::OpenFile(path, "wb+");
    ASSERT_NE(nullptr, f);
    std::fputs("0123456789", f);
    EXPECT_EQ(10, Platform::Tell(f));
    EXPECT_EQ(0, Platform::Seek(f, 3, SEEK_SET));
    EXPECT_EQ('3', std::fgetc(f));
    EXPECT_EQ(0, Platform::Seek(f, -2, SEEK_END));
    EXPECT_EQ(8, Platform::Tell(f));
    std::fclose(f);
    Platform::RemoveFile(path);
}

TEST(Platform, PositionedReadsAndSize) {
    // Reads anywhere, in any order, past the end and across a sparse 3 GB hole (a
    // position beyond 32 bits), each independent of the handle's own position.
    const std::string path = TempDir() + "qm_platform_readat.bin";
    FILE* f = Platform::OpenFile(path, "wb+");
    ASSERT_NE(nullptr, f);
    std::fputs("0123456789", f);
    const int64_t far = int64_t(3) << 30;
    ASSERT_EQ(0, Platform::Seek(f, far, SEEK_SET));
    std::fputs("far", f);
    std::fflush(f);
    EXPECT_EQ(far + 3, Platform::FileSize(f));
    struct Case {
        int64_t pos;
        size_t n;
        std::string expect;
    };
    const Case cases[] = {
        {5, 3, "567"},    {0, 4, "0123"},     {8, 2, "89"}, {far, 3, "far"}, {far + 1, 10, "ar"},
        {far + 3, 4, ""}, {far + 100, 4, ""}, {-1, 4, ""},  {2, 0, ""},
    };
    for (const Case& c : cases) {
        unsigned char buf[16] = {0};
        const size_t got = Platform::ReadAt(f, c.pos, buf, c.n);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), c.expect) << c.pos;
    }
    std::fclose(f);
    Platform::RemoveFile(path);
}

// Writes data as the new version of path; false when any step fails.
bool WriteVersion(Platform::NewFileVersion& v, const std::string& path, const std::string& data) {
    FILE* f = v.open(path);
    if (!f) return false;
    const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    if (std::fclose(f) != 0 || !written) return false;
    return v.commit();
}

TEST(Platform, NewVersionReplacesTheFileWhole) {
    const std::string final = TempDir() + "qm_platform_out.pdf";
    WriteAll(final, "old contents");
    Platform::NewFileVersion v;
    FILE* f = v.open(final);
    ASSERT_NE(nullptr, f);
    EXPECT_FALSE(v.direct());
    // Written beside the file, under another name, until it is complete.
    const std::string temp = v.writePath();
    EXPECT_NE(temp, final);
    EXPECT_EQ(final.substr(0, final.find_last_of("/\\")), temp.substr(0, temp.find_last_of("/\\")));
    std::fputs("new", f);
    std::fclose(f);
    EXPECT_EQ("old contents", ReadAll(final));
    EXPECT_TRUE(v.commit());
    EXPECT_EQ("new", ReadAll(final));
    EXPECT_FALSE(Exists(temp));
    // Also when nothing was there before.
    Platform::RemoveFile(final);
    Platform::NewFileVersion fresh;
    EXPECT_TRUE(WriteVersion(fresh, final, "fresh"));
    EXPECT_EQ("fresh", ReadAll(final));
    Platform::RemoveFile(final);
}

TEST(Platform, DiscardedVersionLeavesTheFileAsItWas) {
    const std::string final = TempDir() + "qm_platform_keep.pdf";
    WriteAll(final, "keep");
    std::string temp;
    {
        Platform::NewFileVersion v;
        FILE* f = v.open(final);
        ASSERT_NE(nullptr, f);
        temp = v.writePath();
        std::fputs("half", f);
        std::fclose(f);
        v.discard();
        EXPECT_FALSE(Exists(temp));
        EXPECT_FALSE(v.commit());  // nothing left to put in place
    }
    {
        Platform::NewFileVersion v;  // the destructor discards too
        FILE* f = v.open(final);
        ASSERT_NE(nullptr, f);
        temp = v.writePath();
        std::fclose(f);
    }
    EXPECT_FALSE(Exists(temp));
    EXPECT_EQ("keep", ReadAll(final));
    Platform::RemoveFile(final);
}

TEST(Platform, NullDeviceIsWrittenDirectly) {
    Platform::NewFileVersion v;
    EXPECT_TRUE(WriteVersion(v, Platform::NullDevice(), "nothing"));
    EXPECT_TRUE(v.direct());
    EXPECT_TRUE(Platform::IsNullDevice(v.writePath()));
}

TEST(Platform, IsDirectory) {
    EXPECT_TRUE(Platform::IsDirectory(TempDir()));
    const std::string file = TempDir() + "qm_platform_isdir.txt";
    WriteAll(file, "x");
    EXPECT_FALSE(Platform::IsDirectory(file));
    Platform::RemoveFile(file);
    EXPECT_FALSE(Platform::IsDirectory(file));
}

TEST(Platform, TruncateFileUndoesAnAppend) {
    const std::string file = TempDir() + "qm_platform_truncate.txt";
    WriteAll(file, "first line\r\nsecond");
    EXPECT_TRUE(Platform::TruncateFile(file, 12));
    EXPECT_EQ("first line\r\n", ReadAll(file));
    EXPECT_FALSE(Platform::TruncateFile(file, -1));
    Platform::RemoveFile(file);
    EXPECT_FALSE(Platform::TruncateFile(file, 0));
}

// ---- encodings ----

struct ToAnsiCase {
    const char* name;
    std::string utf8;
    std::string ansi;  // expected result (the input itself when not convertible)
};

class Utf8ToCp1252 : public ::testing::TestWithParam<ToAnsiCase> {};

TEST_P(Utf8ToCp1252, ConvertsWhenEveryCharacterFits) {
    const ToAnsiCase& c = GetParam();
    std::string out = "untouched";
    const bool ok = Platform::Utf8ToCp1252(c.utf8, out);
    EXPECT_EQ(c.ansi, ok ? out : c.utf8);
    if (!ok) {
        EXPECT_EQ("untouched", out);
    }
#ifndef _WIN32
    EXPECT_EQ(c.ansi, Platform::Utf8ToWinAnsi(c.utf8));
#else
    EXPECT_EQ(c.utf8, Platform::Utf8ToWinAnsi(c.utf8));
#endif
}

INSTANTIATE_TEST_SUITE_P(
    All, Utf8ToCp1252,
    ::testing::Values(
        ToAnsiCase{"Empty", "", ""}, ToAnsiCase{"Ascii", "adobe systems", "adobe systems"},
        ToAnsiCase{"Latin1", "caf\xC3\xA9 na\xC3\xAFve", "caf\xE9 na\xEFve"},
        ToAnsiCase{"RightQuote", "it\xE2\x80\x99s", "it\x92s"},
        ToAnsiCase{"Euro",
                   "\xE2\x82\xAC"
                   "5",
                   "\x80"
                   "5"},
        ToAnsiCase{"Dashes",
                   "a\xE2\x80\x93"
                   "b\xE2\x80\x94"
                   "c",
                   "a\x96"
                   "b\x97"
                   "c"},
        ToAnsiCase{"YDiaeresis", "\xC5\xB8", "\x9F"}, ToAnsiCase{"Nbsp", "\xC2\xA0", "\xA0"},
        ToAnsiCase{"LastLatin1", "\xC3\xBF", "\xFF"}, ToAnsiCase{"UnassignedByteRoundTrip", "\xC2\x81", "\x81"},
        // Not representable: the whole text stays as given.
        ToAnsiCase{"Greek", "\xCE\xA9mega", "\xCE\xA9mega"},
        ToAnsiCase{"MixedKeptWhole", "caf\xC3\xA9 \xCE\xA9", "caf\xC3\xA9 \xCE\xA9"},
        ToAnsiCase{"OtherC1Control", "\xC2\x80", "\xC2\x80"},
        ToAnsiCase{"Emoji", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        // Not UTF-8 at all (already single-byte): kept.
        ToAnsiCase{"AlreadyAnsi", "caf\xE9", "caf\xE9"}, ToAnsiCase{"StrayContinuation", "\x80", "\x80"},
        ToAnsiCase{"Overlong", "\xC0\xAF", "\xC0\xAF"}, ToAnsiCase{"OverlongThreeByte", "\xE0\x80\xAF", "\xE0\x80\xAF"},
        ToAnsiCase{"Surrogate", "\xED\xA0\x80", "\xED\xA0\x80"}, ToAnsiCase{"Truncated", "a\xE2\x82", "a\xE2\x82"},
        ToAnsiCase{"BeyondUnicode", "\xF4\x90\x80\x80", "\xF4\x90\x80\x80"}),
    [](const ::testing::TestParamInfo<ToAnsiCase>& i) { return i.param.name; });

TEST(Cp1252ToUtf8, KnownCharacters) {
    EXPECT_EQ("it\xE2\x80\x99s", Platform::Cp1252ToUtf8("it\x92s"));
    EXPECT_EQ("\xE2\x82\xAC", Platform::Cp1252ToUtf8("\x80"));
    EXPECT_EQ("caf\xC3\xA9", Platform::Cp1252ToUtf8("caf\xE9"));
    EXPECT_EQ("plain", Platform::Cp1252ToUtf8("plain"));
    EXPECT_EQ(std::string("a\0b", 3), Platform::Cp1252ToUtf8(std::string("a\0b", 3)));
#ifndef _WIN32
    EXPECT_EQ("\xE2\x84\xA2", Platform::WinAnsiToUtf8("\x99"));
#else
    EXPECT_EQ("\x99", Platform::WinAnsiToUtf8("\x99"));
#endif
}

TEST(Cp1252ToUtf8, EveryByteRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const std::string utf8 = Platform::Cp1252ToUtf8(one);
        std::string back;
        ASSERT_TRUE(Platform::Utf8ToCp1252(utf8, back)) << "byte " << b;
        EXPECT_EQ(one, back) << "byte " << b;
    }
}

#ifndef _WIN32
// The system's own Windows-1252 table is an independent reference for every byte the
// code page assigns.
TEST(Cp1252ToUtf8, AgreesWithSystemIconv) {
    iconv_t cd = iconv_open("UTF-8", "WINDOWS-1252");
    if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no WINDOWS-1252 in iconv";
    int compared = 0;
    for (int b = 1; b < 256; ++b) {
        char in[1] = {static_cast<char>(b)};
        char outBuf[8];
        char* inp = in;
        char* outp = outBuf;
        size_t inLeft = 1, outLeft = sizeof outBuf;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1)) continue;
        const std::string want(outBuf, sizeof outBuf - outLeft);
        EXPECT_EQ(want, Platform::Cp1252ToUtf8(std::string(1, in[0]))) << "byte " << b;
        ++compared;
    }
    iconv_close(cd);
    EXPECT_GE(compared, 250);
}
#endif

}  // namespace
