#pragma once
// Everything that differs between the Linux build and the Windows build lives here:
// path separators, the null device, directory creation and file deletion, opening
// files by name, 64-bit file positions, the text encoding of arguments and text files,
// and replacing an output file through a temporary file.
#include <cstdint>
#include <cstdio>
#include <string>

namespace Platform {

// ---- paths ----

/// The part of a path after its last '/' or '\\' (the whole path when it holds neither).
/// Both separators count on every system: list files and names may come from Windows.
std::string FileNamePart(const std::string& path);

/// The output path of a batch file: the folder, the system's separator and the name
/// ('/' on Linux, '\\' on Windows).
std::string ComposeOutputPath(const std::string& folder, const std::string& name);

/// The system's null device: "/dev/null" on Linux, "nul" on Windows.
const char* NullDevice();

/// True when path names the null device (exactly as NullDevice() spells it; on Windows
/// also in any letter case, as the system treats it).
bool IsNullDevice(const std::string& path);

/// Creates one directory level; the result is ignored (an existing folder is fine).
void MakeDirectory(const std::string& path);

/// Deletes a file; a failure (missing file, the null device) is ignored.
void RemoveFile(const std::string& path);

// ---- files ----

/// fopen by name. The name is passed on as the system takes it (bytes on Linux, the
/// ANSI code page on Windows).
FILE* OpenFile(const std::string& path, const char* mode);

/// Reads up to n bytes of f at position pos into out without using the stream's own
/// position (pread where there is one); returns the count (fewer at the end of the
/// file; a read error ends it). The reading core reads every input this way.
size_t ReadAt(FILE* f, int64_t pos, unsigned char* out, size_t n);
/// Size of the file in bytes (0 when it cannot be had).
int64_t FileSize(FILE* f);
/// Makes the reading core read files through ReadAt and FileSize.
void InstallFileAccess();

/// 64-bit file positioning (files above 2 GiB work on Windows too).
int Seek(FILE* f, int64_t offset, int whence);
int64_t Tell(FILE* f);

/// Asks the system to start writing length bytes of f from offset to the disk now,
/// without waiting for it. A long output written this way does not have all of its
/// data still to be written when it is renamed into place (Linux file systems flush
/// a file renamed over another one). Does nothing where there is no such request, or
/// when f is no regular file.
void StartWriteback(FILE* f, uint64_t offset, uint64_t length);

/// A path for a temporary file in the same folder as outputPath, so that ReplaceFile
/// can move it over the output without copying. The name is unique within this
/// process run. For the null device the null device itself is returned (there is
/// nothing to replace); ReplaceFile then does nothing.
std::string CreateTempPathNear(const std::string& outputPath);

/// Moves tempPath over finalPath, replacing an existing file (rename on Linux,
/// MoveFileEx with MOVEFILE_REPLACE_EXISTING on Windows). Returns false on failure,
/// in which case tempPath is left in place for the caller to delete.
/// When both paths are equal (the null device case) it returns true and does nothing.
bool ReplaceFile(const std::string& tempPath, const std::string& finalPath);

// ---- text encoding ----

/// Texts that are matched against page text or drawn on a page (-text, -textlink and
/// the texts of text and link files) are handled as single-byte WinAnsiEncoding
/// (Windows-1252). On Linux the command line and text files are UTF-8: the text is
/// converted to Windows-1252 when it is valid UTF-8 and every character has a
/// Windows-1252 byte; otherwise it is returned unchanged. On Windows the arguments
/// already are in the ANSI code page and the text is returned unchanged.
std::string Utf8ToWinAnsi(const std::string& text);

/// The reverse, for texts taken from page text and written for people (the report
/// file, messages that echo found text): every Windows-1252 byte becomes its UTF-8
/// form on Linux. On Windows the text is returned unchanged.
std::string WinAnsiToUtf8(const std::string& text);

/// The conversions themselves, available on every system (the two functions above
/// use them on Linux). Utf8ToCp1252 returns false and leaves out untouched when the
/// text is not valid UTF-8 or holds a character without a Windows-1252 byte.
bool Utf8ToCp1252(const std::string& text, std::string& out);
std::string Cp1252ToUtf8(const std::string& text);

}  // namespace Platform
