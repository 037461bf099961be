// List files of batch mode: recognising a list name, reading its lines, and the
// output path of each line.
#include "cli/Cli.h"

#include <cstdio>

#include "platform/Platform.h"

bool IsListName(const std::string& firstArg) {
    const size_t len = firstArg.size();
    if (len > 4) return firstArg.compare(len - 4, 3, ".tx") == 0;
    return true;
}

bool ReadListLine(FILE* f, std::string& line) {
    line.clear();
    int c = std::getc(f);
    if (c == EOF) return false;
    bool cut = false;  // set once a CR or NUL ended the usable part of the line
    while (c != EOF && c != '\n') {
        if (c == '\r' || c == '\0') cut = true;
        if (!cut) line += static_cast<char>(c);
        c = std::getc(f);
    }
    return true;
}

bool NextListEntry(FILE* f, std::string& line, bool& atStart) {
    while (ReadListLine(f, line)) {
        // Editors on Windows start UTF-8 files with a byte-order mark; it is no path.
        if (atStart && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
        atStart = false;
        if (line.find_first_not_of(" \t") != std::string::npos) return true;
    }
    return false;
}

std::string BatchOutputPath(const std::string& folder, const std::string& line) {
    if (folder == "nul") return Platform::NullDevice();
    return Platform::ComposeOutputPath(folder, Platform::FileNamePart(line));
}
