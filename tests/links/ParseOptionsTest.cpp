// Option parsing: every option row, the order in which rows are tried, the value
// options, the placeholders and the "Error parameter" rules.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "links/Options.h"
#include "pdf/CPdfException.h"

namespace {

// Runs the parser over "quillmark <input> out.pdf <options...>".
LinkSettings Parse(const std::vector<std::string>& options, const std::string& input = "in.pdf") {
    std::vector<std::string> args = {"quillmark", input, "out.pdf"};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    LinkSettings s;
    ParseOptionsInto(s, static_cast<int>(args.size()), argv.data());
    return s;
}

std::string ParseError(const std::vector<std::string>& options) {
    try {
        Parse(options);
    } catch (const CPdfException& e) {
        return e.getMessage();
    }
    return "(no exception)";
}

// Lists every field that differs, so a row that also touches another setting fails.
std::string Diff(const LinkSettings& a, const LinkSettings& b) {
    std::ostringstream d;
#define QM_FIELD(f) \
    if (!(a.f == b.f)) d << #f << ": got " << a.f << ", want " << b.f << "; "
    QM_FIELD(inputName);
    QM_FIELD(outputName);
    QM_FIELD(text);
    QM_FIELD(link);
    QM_FIELD(newLink);
    QM_FIELD(textLink);
    QM_FIELD(remove);
    QM_FIELD(change);
    QM_FIELD(changePart);
    QM_FIELD(create);
    QM_FIELD(textFileName);
    QM_FIELD(linkFileName);
    QM_FIELD(report);
    QM_FIELD(reportAppend);
    QM_FIELD(stamp);
    QM_FIELD(reportFileName);
    QM_FIELD(linkType);
    QM_FIELD(highlightStyle);
    QM_FIELD(lineThickness);
    QM_FIELD(lineStyle);
    QM_FIELD(linkColor);
    QM_FIELD(linkAction);
    QM_FIELD(posLength);
    QM_FIELD(posHeight);
    QM_FIELD(posLeft);
    QM_FIELD(posBottom);
    QM_FIELD(startPage);
    QM_FIELD(endPage);
    QM_FIELD(fontSize);
    QM_FIELD(angle);
    QM_FIELD(force);
    QM_FIELD(flipV);
    QM_FIELD(flipH);
    QM_FIELD(fontName);
    QM_FIELD(align);
    QM_FIELD(textColor);
    QM_FIELD(fontFileName);
    QM_FIELD(debug);
    QM_FIELD(reportPositions);
    QM_FIELD(posH);
    QM_FIELD(posV);
#undef QM_FIELD
    return d.str();
}

struct OptionCase {
    const char* name;
    std::vector<std::string> options;
    std::function<void(LinkSettings&)> expect;  // changes from the defaults
};

class OptionRows : public ::testing::TestWithParam<OptionCase> {};

TEST_P(OptionRows, SetsExactlyItsSetting) {
    const OptionCase& c = GetParam();
    LinkSettings want;
    want.inputName = "in.pdf";
    want.outputName = "out.pdf";
    c.expect(want);
    EXPECT_EQ("", Diff(Parse(c.options), want));
}

const OptionCase kOptionCases[] = {
    // 1 -s%d
    {"StartPage", {"-s5"}, [](LinkSettings& s) { s.startPage = 5; }},
    {"StartPageTrailingIgnored", {"-s5x"}, [](LinkSettings& s) { s.startPage = 5; }},
    {"StartPageNegative", {"-s-3"}, [](LinkSettings& s) { s.startPage = -3; }},
    {"StartPagePlus", {"-s+4"}, [](LinkSettings& s) { s.startPage = 4; }},
    {"StartPageZero", {"-s0"}, [](LinkSettings& s) { s.startPage = 0; }},
    {"StartPageLeadingSpace", {"-s \t7"}, [](LinkSettings& s) { s.startPage = 7; }},
    {"StartPageNoNumber", {"-s"}, [](LinkSettings&) {}},
    {"StartPageSignOnly", {"-s-"}, [](LinkSettings&) {}},
    {"StartPageClampedHigh", {"-s99999999999"}, [](LinkSettings& s) { s.startPage = 2147483647; }},
    {"StartPageClampedLow", {"-s-99999999999"}, [](LinkSettings& s) { s.startPage = -2147483647 - 1; }},
    // 2 -e%d
    {"EndPage", {"-e12"}, [](LinkSettings& s) { s.endPage = 12; }},
    {"EndPageNoNumber", {"-end"}, [](LinkSettings&) {}},
    // 3, 4 -font, -fontfile
    {"Font", {"-font", "Helvetica"}, [](LinkSettings& s) { s.fontName = "Helvetica"; }},
    {"FontFile", {"-fontfile", "m.txt"}, [](LinkSettings& s) { s.fontFileName = "m.txt"; }},
    // 5 -color%X
    {"ColorLower", {"-colorff00ff"}, [](LinkSettings& s) { s.textColor = 0xFF00FF; }},
    {"ColorUpper", {"-colorFF00FF"}, [](LinkSettings& s) { s.textColor = 0xFF00FF; }},
    {"ColorTrailing", {"-color12g"}, [](LinkSettings& s) { s.textColor = 0x12; }},
    {"ColorNoDigits", {"-colorxyz"}, [](LinkSettings&) {}},
    {"ColorTooLong", {"-color123456789"}, [](LinkSettings& s) { s.textColor = 0xFFFFFFFFu; }},
    // 6 -size%d: "-s" (row 1) must not take it
    {"Size", {"-size11"}, [](LinkSettings& s) { s.fontSize = 11; }},
    {"SizeNoNumber", {"-size"}, [](LinkSettings&) {}},
    // 7 -angle%d
    {"Angle", {"-angle90"}, [](LinkSettings& s) { s.angle = 90; }},
    {"AngleNegative", {"-angle-45"}, [](LinkSettings& s) { s.angle = -45; }},
    // 8 -force (exact)
    {"Force", {"-force"}, [](LinkSettings& s) { s.force = true; }},
    {"ForceNotPrefix", {"-forced"}, [](LinkSettings&) {}},
    {"ForceCaseSensitive", {"-Force"}, [](LinkSettings&) {}},
    // 9 -pos%d,%d
    {"Pos",
     {"-pos30,40"},
     [](LinkSettings& s) {
         s.posH = 30;
         s.posV = 40;
     }},
    {"PosCentre",
     {"-pos-1,-1"},
     [](LinkSettings& s) {
         s.posH = -1;
         s.posV = -1;
     }},
    {"PosSpaceBeforeSecond",
     {"-pos10, 20"},
     [](LinkSettings& s) {
         s.posH = 10;
         s.posV = 20;
     }},
    {"PosOneNumber", {"-pos10"}, [](LinkSettings&) {}},
    {"PosOneNumberComma", {"-pos10,"}, [](LinkSettings&) {}},
    {"PosSpaceBeforeComma", {"-pos10 ,20"}, [](LinkSettings&) {}},
    // 10, 11 flips
    {"FlipV", {"-flipv"}, [](LinkSettings& s) { s.flipV = true; }},
    {"FlipH", {"-fliph"}, [](LinkSettings& s) { s.flipH = true; }},
    // 12 -align
    {"Align", {"-align", "right"}, [](LinkSettings& s) { s.align = "right"; }},
    // 13 -text
    {"Text", {"-text", "adobe systems"}, [](LinkSettings& s) { s.text = "adobe systems"; }},
    {"TextValueLooksLikeOption", {"-text", "-remove"}, [](LinkSettings& s) { s.text = "-remove"; }},
    {"TextEmptyValue", {"-text", ""}, [](LinkSettings& s) { s.text = ""; }},
    // 14, 15 -link, -textlink
    {"Link", {"-link", "http://a.example/x"}, [](LinkSettings& s) { s.link = "http://a.example/x"; }},
    {"LinkNoPlaceholder", {"-link", "[FILENAME]"}, [](LinkSettings& s) { s.link = "[FILENAME]"; }},
    {"TextLink", {"-textlink", "abc"}, [](LinkSettings& s) { s.textLink = "abc"; }},
    // 16..20 modes
    {"Remove",
     {"-remove"},
     [](LinkSettings& s) {
         s.remove = true;
         s.stamp = false;
     }},
    {"Change",
     {"-change"},
     [](LinkSettings& s) {
         s.change = true;
         s.stamp = false;
     }},
    {"NewLink", {"-newlink", "http://b.example"}, [](LinkSettings& s) { s.newLink = "http://b.example"; }},
    {"ChangePart",
     {"-changepart"},
     [](LinkSettings& s) {
         s.changePart = true;
         s.stamp = false;
     }},
    {"Create",
     {"-create"},
     [](LinkSettings& s) {
         s.create = true;
         s.stamp = false;
     }},
    // 21, 22 -textfile, -linkfile imply -create
    {"TextFile",
     {"-textfile", "t.txt"},
     [](LinkSettings& s) {
         s.text = "[TEXTFILE]";
         s.textFileName = "t.txt";
         s.create = true;
         s.stamp = false;
     }},
    {"LinkFile",
     {"-linkfile", "l.txt"},
     [](LinkSettings& s) {
         s.text = "[LINKFILE]";
         s.linkFileName = "l.txt";
         s.create = true;
         s.stamp = false;
     }},
    {"TextAfterTextFile",
     {"-textfile", "t.txt", "-text", "abc"},
     [](LinkSettings& s) {
         s.text = "abc";
         s.textFileName = "t.txt";
         s.create = true;
         s.stamp = false;
     }},
    // 23..26
    {"Debug", {"-debug"}, [](LinkSettings& s) { s.debug = true; }},
    {"Report",
     {"-report", "r.txt"},
     [](LinkSettings& s) {
         s.report = true;
         s.reportFileName = "r.txt";
         s.stamp = false;
     }},
    {"ReportPos", {"-reportpos"}, [](LinkSettings& s) { s.reportPositions = true; }},
    {"ReportAppend", {"-reportappend"}, [](LinkSettings& s) { s.reportAppend = true; }},
    // 27..30 link looks (not validated)
    {"LinkType", {"-linktype", "Visible Rectangle"}, [](LinkSettings& s) { s.linkType = "Visible Rectangle"; }},
    {"HighlightStyle", {"-highlightstyle", "None"}, [](LinkSettings& s) { s.highlightStyle = "None"; }},
    {"LineThickness", {"-linethickness", "Thick"}, [](LinkSettings& s) { s.lineThickness = "Thick"; }},
    {"LineStyle", {"-linestyle", "whatever"}, [](LinkSettings& s) { s.lineStyle = "whatever"; }},
    // 31 -linkcolor%X
    {"LinkColor", {"-linkcolor00FF00"}, [](LinkSettings& s) { s.linkColor = 0x00FF00; }},
    {"LinkColorLower", {"-linkcolorabcdef"}, [](LinkSettings& s) { s.linkColor = 0xABCDEF; }},
    {"LinkColorAloneIgnored", {"-linkcolor", "-force"}, [](LinkSettings& s) { s.force = true; }},
    // 32 -linkaction
    {"LinkAction", {"-linkaction", "Open a file"}, [](LinkSettings& s) { s.linkAction = "Open a file"; }},
    // 33..36: "-pos%d,%d" (row 9) must not take them
    {"PosHeight", {"-posHeight5"}, [](LinkSettings& s) { s.posHeight = 5; }},
    {"PosLength", {"-posLength100"}, [](LinkSettings& s) { s.posLength = 100; }},
    {"PosLeft", {"-posLeft-3"}, [](LinkSettings& s) { s.posLeft = -3; }},
    {"PosBottom", {"-posBottom7"}, [](LinkSettings& s) { s.posBottom = 7; }},
    {"PosHeightNoNumber", {"-posHeight"}, [](LinkSettings&) {}},
    // Unknown options are ignored; later options win.
    {"Unknown", {"-verbose", "-x"}, [](LinkSettings&) {}},
    {"LaterWins",
     {"-s2", "-s3", "-font", "A", "-font", "B"},
     [](LinkSettings& s) {
         s.startPage = 3;
         s.fontName = "B";
     }},
    {"Many",
     {"-s2", "-e4", "-text", "t", "-link", "l", "-pos1,2", "-size9", "-color0000ff"},
     [](LinkSettings& s) {
         s.startPage = 2;
         s.endPage = 4;
         s.text = "t";
         s.link = "l";
         s.posH = 1;
         s.posV = 2;
         s.fontSize = 9;
         s.textColor = 0xFF;
     }},
};

INSTANTIATE_TEST_SUITE_P(All, OptionRows, ::testing::ValuesIn(kOptionCases),
                         [](const ::testing::TestParamInfo<OptionCase>& i) { return i.param.name; });

TEST(ParseOptions, InputAndOutputComeFromPositionsOneAndTwo) {
    LinkSettings s = Parse({"-debug"}, "c:\\in\\a.pdf");
    EXPECT_EQ("c:\\in\\a.pdf", s.inputName);
    EXPECT_EQ("out.pdf", s.outputName);
}

TEST(ParseOptions, FewerThanOneOptionIsRefused) {
    std::string a0 = "quillmark", a1 = "in.pdf", a2 = "out.pdf";
    char* argv[] = {&a0[0], &a1[0], &a2[0], nullptr};
    for (int argc = 1; argc <= 3; ++argc) {
        LinkSettings s;
        try {
            ParseOptionsInto(s, argc, argv);
            ADD_FAILURE() << "argc " << argc << " accepted";
        } catch (const CPdfException& e) {
            EXPECT_STREQ("Error parameter", e.getMessage());
        }
    }
}

TEST(ParseOptions, OptionPositionNotBeginningWithDashIsRefused) {
    EXPECT_EQ("Error parameter", ParseError({"plain"}));
    EXPECT_EQ("Error parameter", ParseError({""}));
    EXPECT_EQ("Error parameter", ParseError({"-force", "x"}));
    // A pattern option with its number as a separate argument leaves a bare value.
    EXPECT_EQ("Error parameter", ParseError({"-linkcolor", "FF0000"}));
    EXPECT_EQ("Error parameter", ParseError({"-s", "5"}));
}

TEST(ParseOptions, ValueOptionStandingLastIsRefused) {
    const char* valueOptions[] = {"-font",     "-fontfile",       "-align",         "-text",      "-link",
                                  "-textlink", "-newlink",        "-textfile",      "-linkfile",  "-report",
                                  "-linktype", "-highlightstyle", "-linethickness", "-linestyle", "-linkaction"};
    for (const char* opt : valueOptions) {
        EXPECT_EQ("Error parameter", ParseError({"-debug", opt})) << opt;
        // With a value it is fine.
        EXPECT_EQ("(no exception)", ParseError({opt, "v"})) << opt;
    }
}

struct PlaceholderCase {
    const char* input;
    const char* value;
    const char* text;
};

class Placeholders : public ::testing::TestWithParam<PlaceholderCase> {};

TEST_P(Placeholders, ResolvedAgainstTheInputName) {
    const PlaceholderCase& c = GetParam();
    EXPECT_EQ(c.text, Parse({"-text", c.value}, c.input).text) << c.input << " / " << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    All, Placeholders,
    ::testing::Values(PlaceholderCase{"c:\\docs\\report.pdf", "[FILETITLE]", "report"},
                      PlaceholderCase{"report.pdf", "[FILETITLE]", "report"},
                      PlaceholderCase{"/home/me/report.pdf", "[FILETITLE]", "report"},
                      PlaceholderCase{"docs/sub\\report.pdf", "[FILETITLE]", "report"},
                      // The rest of the value is dropped.
                      PlaceholderCase{"c:\\docs\\report.pdf", "Title: [FILETITLE]!", "report"},
                      // Only the last four characters go, whatever they are.
                      PlaceholderCase{"archive.tar.gz", "[FILETITLE]", "archive.ta"},
                      // A file-name part of four characters or fewer gives an empty title.
                      PlaceholderCase{"c:\\docs\\abc", "[FILETITLE]", ""},
                      PlaceholderCase{"dir/.pdf", "[FILETITLE]", ""}, PlaceholderCase{"a", "[FILETITLE]", ""},
                      PlaceholderCase{"dir/", "[FILETITLE]", ""},
                      // The whole text becomes the input name as typed (the writer escapes it).
                      PlaceholderCase{"c:\\docs\\a.pdf", "see [FILENAME] here", "c:\\docs\\a.pdf"},
                      PlaceholderCase{"\\\\server\\share\\a (1).pdf", "[FILENAME]", "\\\\server\\share\\a (1).pdf"},
                      PlaceholderCase{"/tmp/a.pdf", "[FILENAME]", "/tmp/a.pdf"},
                      // The title replaces the text first; the title holds no "[FILENAME]" here.
                      PlaceholderCase{"c:\\docs\\report.pdf", "[FILETITLE] [FILENAME]", "report"},
                      // ... but when it does, the file name wins.
                      PlaceholderCase{"[FILENAME].pdf", "[FILETITLE]", "[FILENAME].pdf"},
                      // Incomplete placeholders are plain text.
                      PlaceholderCase{"c:\\docs\\report.pdf", "[FILETITLE", "[FILETITLE"},
                      PlaceholderCase{"c:\\docs\\report.pdf", "[filename]", "[filename]"}));

TEST(ParseOptions, PlaceholderUsesInputOfThisRun) {
    // In batch mode the same options are parsed again for each input.
    EXPECT_EQ("a", Parse({"-text", "[FILETITLE]"}, "in/a.pdf").text);
    EXPECT_EQ("b", Parse({"-text", "[FILETITLE]"}, "in/b.pdf").text);
}

TEST(FileTitle, Helpers) {
    EXPECT_EQ("report", FileTitle("c:\\docs\\report.pdf"));
    EXPECT_EQ("", FileTitle(""));
    EXPECT_EQ("x", FileTitle("x.pdf"));
}

}  // namespace
