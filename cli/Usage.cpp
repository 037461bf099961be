// Banner and usage text.
#include "cli/Cli.h"

#include <cstdio>

namespace {

// Example addresses used in the usage text.
#define QM_SITE1_HOME "http://www.example.com/"
#define QM_SITE1_PAGE "http://www.example.com/products/index.html"
#define QM_SITE1_DOMAIN ".example.com"
#define QM_SITE2_PAGE "http://www.example.org/support/index.html"
#define QM_SITE2_DOMAIN ".example.org"
#define QM_SEARCH_SITE "http://www.example.net"
#define QM_SEARCH_WWW "www.example.net"
#define QM_SOCIAL_PAGE "http://social.example.net/users/myspace"

const char* const kUsage[] = {
    "Parameters:\n",
    "<input file>\tsource input file  (must be first parameter)\n",
    "<output file>\toutput file  (must be second parameter)\n\n",
    "-f\t\toutput folder, must be second parameter (optional) e.g. -fout\n",
    "-text\t\tfor stamping text with a link.\n",
    "-link   \tfor the link e.g. " QM_SITE1_HOME "\n",
    "-remove\t\tfor removing existing links, NOTE: only \"Open a file\" or \"Open a web page\" link types are "
    "removed\n",
    "-textlink\tfor matching on text within link\n",
    "-change\t\tto signify a change from -link to -newlink\n",
    "-newlink\tfor above change\n",
    "-changepart\tfor changing part of a link\n",
    "-create\t\tfor creating a new link on existing text, supports: http:, https:, www, ftp:, file:, mailto:\n",
    "-textfile\t<filename> for creating a new link on existing text if the text is found in the file loaded.\n",
    "-linkfile\t<filename> for creating a new link on text if it is found in the file loaded.\n",
    "-report\t\tfor dumping out a report of all page no | text | link\n",
    "-reportappend\t\tappends to report txt file rather than starting from new\n",
    "-reportpos\t\toutput's positions\n",
    "-linktype\tVisible Rectangle or Invisible Rectangle.    default: \"Invisible Rectangle\"\n",
    "-highlightstyle\tNone, Invert, Outline, Insert. \tdefault \"Invert\"\n",
    "-linethickness\tThin, Medium, Thick.    default: \"Thin\"\n",
    "-linestyle\tSolid, Dashed, Underline.    default: \"Solid\"\n",
    "-linkcolor\tRGB hex value.    default: 000000\n",
    "-linkaction\tOnly two required: \"Open a file\" or \"Open a web page\".    default: \"Open a web page\"\n",
    "-s(n)\t\tpage to start processing at, default at 1\n",
    "-e(n)\t\tpage to end processing at, default at 99999\n",
    "-font <TEXT> font name to use, e.g. Arial, use Arial as default\n",
    "-fontfile <filename> for loading other font metrics into the program\n",
    "-color\t\tRGB hex font color to use in rgb hex. 000000 is default for black. default as black.\n",
    "-size(n)\tfont size to use, e.g. 11, use 11 as default\n",
    "-angle(n)\tangle of text in degrees, use 0 as default\n",
    "-align <TEXT>\talign justified text, can be 'left', 'right' or 'center', left is default. e.g. right on positions "
    "20,20 would mean last character right edge ends at that position.\n",
    "-force\t\tforce portrait when landscape, if view is rotated then calculate as unrotated.\n",
    "-pos(n),(n) h,v (horizontal, vertical) positions on page calculated from bottom left up. e.g. 20,20 would be "
    "bottom left corner. use 10,20 as default. if -1 is specified then center on page size.\n",
    "-posLength  extend link box (horizontal) positions on page calculated from bottom left eg. -posLength100\n",
    "-posHeight  extend link box (vertical) positions on page calculated from bottom left eg. -posHeight100\n",
    "-posLeft    extend link box (horizontal) positions on page calculated from bottom left eg. -posLeft100\n",
    "-posBottom  extend link box (vertical) positions on page calculated from bottom left eg. -posBottom100\n",
    "-flipv\t\tflips vertical positions so 20,20 would be top left calculated from top of page.\n",
    "-fliph\t\tflips horizontal positions so 20,20 would be bottom right from right edge of page.\n",
    "\n",
    "\r\nExample usage:-\r\n",
    "\n",
    "add link option to add link to text. \n",
    "e.g. \tQuillmark c:\\test.pdf c:\\test-out.pdf -text \"adobe systems\" -link \"" QM_SITE1_HOME
    "\" -pos10,10 -linkcolor FF0000\n",
    "add text at position 10,10 with link.\n",
    "e.g. \tQuillmark c:\\test.pdf c:\\test-out.pdf -text \"c:\\test.txt\" -link \"c:\\test.txt\" -pos10,10 "
    "-linkaction \"Open a file\" -linktype \"Visible Rectangle\"\n",
    "add text of the filename at position 10,10 with link.\n",
    "e.g. \tQuillmark c:\\test.pdf c:\\test-out.pdf -text \"[FILENAME]\" -link \"c:\\test.txt\" -pos10,10 -linkaction "
    "\"Open a file\" -linktype \"Visible Rectangle\"\n",
    "add text of the filename title at position 10,10 with link.\n",
    "e.g. \tQuillmark c:\\test.pdf c:\\test-out.pdf -text \"[FILETITLE]\" -link \"c:\\test.txt\" -pos10,10 -linkaction "
    "\"Open a file\" -linktype \"Visible Rectangle\"\n",
    "\n",
    "add link to existing text.\n",
    "e.g.\tQuillmark test.pdf out-add-link-existing.pdf -text \"PDF\" -create -link \"" QM_SITE1_HOME "\"\n",
    "\n",
    "\n",
    "remove links  (page range and/or by text / link).\n",
    "e.g. \tQuillmark c:\\test.pdf c:\\test-out.pdf -s1 -e2 -remove\n",
    "(removes all links found from pages 1-2, NOTE: only \"Open a file\" or \"Open a web page\" link types are "
    "removed)\n",
    "e.g.\tQuillmark c:\\test.pdf c:\\test-out.pdf -s1 -e2 -remove -textlink \"adobe systems\"\n",
    "(removes all links found from pages 1-2 but only if the text is \"adobe systems\"), the text remains only the "
    "link is changed.\n",
    "e.g.\tQuillmark c:\\test.pdf c:\\test-out.pdf -remove -link \"" QM_SITE1_PAGE "\"\n",
    "(removes all links found from pages 1-2 but only if the link is \"" QM_SITE1_PAGE
    "\")  - use non case sensitive matching.\n",
    "\n",
    "change links by text / link address.\n",
    "e.g.\tQuillmark c:\\test.pdf c:\\test-out.pdf -s1 -e2 -change -textlink \"adobe systems\" -newlink "
    "\"" QM_SITE2_PAGE "\"\n",
    "(changes a whole text link from where text is \"adobe systems\" to the newlink, this only happens if an existing "
    "link was found.\n",
    "e.g.\tQuillmark c:\\test.pdf c:\\test-out.pdf -s1 -e2 -change -link \"" QM_SITE1_PAGE
    "\" -newlink \"" QM_SITE2_PAGE "\"\n",
    "(changes a whole link to another link if exact match is found) - use non case sensitive matching.\n",
    "change links partly by link address.\n",
    "e.g. \tQuillmark c:\\test.pdf c:\\test-out.pdf -s1 -e2 -changepart -link \"" QM_SITE1_DOMAIN
    "\" -newlink \"" QM_SITE2_DOMAIN "\"\n",
    "(change part of a link if the search part link is found)  - use non case sensitive matching.\n",
    "create links from web addresses in text. e.g. text: click " QM_SEARCH_SITE " to go and search " QM_SEARCH_WWW "\n",
    "e.g.\tQuillmark c:\\test.pdf c:\\test-out.pdf -s1 -e2 -create\n",
    "(searches text for web style links and create a link for them, search for http:, https:, www, ftp:, file:, "
    "mailto:)\n",
    "create links from string in text\n",
    "e.g.\tQuillmark c:\\test.pdf c:\\test-out.pdf -s1 -e2 -create -text \"adobe systems\" -link \"" QM_SITE1_PAGE
    "\"\n",
    "(searches for text and creates a link for them)  - use non case sensitive matching.\n",
    "e.g.\tQuillmark c:\\test.pdf c:\\test-out.pdf -s1 -e2 -create -text \"test.txt\" -link \"c:\\test.txt\"  "
    "-linkaction \"Open a file\" -linethickness \"Thick\"\n",
    "report links.\n",
    "e.g.\tQuillmark c:\\test.pdf c:\\test-out.pdf -s1 -e2 -report \"c:\\report.txt\"\n",
    "report.txt would have e.g.\n",
    "pageno|text|link\n",
    "1|adobe|" QM_SITE1_HOME "\n",
    "8|my space|" QM_SOCIAL_PAGE "\n",
    "NOTE: first 2 parameters have to be input file / output file or 2nd parameter -f\r\n",
    "If your filename has spaces in it then use double quotes around the filename, e.g. \"c:\\my test\\test "
    "file.pdf\"\n",
    "\nWildcards * are not permitted, if you want to process many files then do: dir /B *.pdf > list.txt, then "
    "quillmark list.txt -fout\n",
    "\r\n",
    "\r\n",
};

}  // namespace

const char* const kWildcardMessage =
    "\nError! Wildcards * are not permitted, if you want to process many files then do: "
    "dir /B *.pdf > list.txt, then quillmark list.txt -fc:\\test\n\n";

void PrintBanner() {
    std::fputs(
        "\r\n"
        "Quillmark v1.10 - edits the hyperlinks of PDF files\r\n"
        "https://quillmark.example.com\r\n"
        "support@quillmark.example.com\r\n"
        "\r\n",
        stdout);
}

void PrintUsage() {
    PrintBanner();
    for (const char* piece : kUsage)
        std::fputs(piece, stdout);
}
