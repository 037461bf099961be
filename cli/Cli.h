#pragma once
// The command-line front end: banner and usage text, list recognition and the batch
// loop.
#include <cstdio>
#include <string>

/// Prints the banner: an empty line, the program name with its version, the web
/// address, the support e-mail address and an empty line (every line ends in "\r\n").
void PrintBanner();

/// Prints the banner followed by the usage text.
void PrintUsage();

/// The message printed when argument 1 or 2 holds a '*'.
extern const char* const kWildcardMessage;

/// True when argument 1 names a list file: longer than four characters and the three
/// characters starting four from the end are ".tx" (case-sensitive), or four
/// characters long or shorter.
bool IsListName(const std::string& firstArg);

/// Batch mode. Returns 0 when first is not a list name (the caller goes on in single
/// mode), 1 when list mode was refused (second argument missing or not beginning with
/// "-f", list file not readable), 2 when every line of the list was processed.
/// For each list line, argv[1] and argv[2] are pointed at the input and the composed
/// output path while that line is processed (restored before returning or throwing).
/// A CPdfException from a line ends the batch and propagates to the caller.
int RunList(const char* first, const char* second, int argc, char** argv);

/// Reads one line of a list file of any length: the bytes up to the next line feed
/// (or the end of the file), cut at the first carriage return, line feed or NUL.
/// Returns false when the file had no more bytes.
bool ReadListLine(FILE* f, std::string& line);

/// The next input path of a list file: the next line (as ReadListLine gives it) that is
/// not blank (empty, or only spaces and tabs), less a UTF-8 byte-order mark at the
/// start of the file. atStart is true before the first line is read and is cleared.
/// Returns false at the end of the file.
bool NextListEntry(FILE* f, std::string& line, bool& atStart);

/// The output path of one list line: the null device when the folder is exactly
/// "nul", otherwise the folder, the system's separator and the line's file-name part.
std::string BatchOutputPath(const std::string& folder, const std::string& line);
