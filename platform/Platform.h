#pragma once
// Everything that differs between the Linux build and the Windows build lives here:
// path separators, the null device, directory creation and file deletion, opening
// files by name, 64-bit file positions, the text encoding of arguments and text files,
// and writing a new version of a file without ever leaving it half written.
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/FileAccess.h"

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
/// The file access of this system (ReadAt and FileSize), handed to the reading core
/// when it opens a document.
const FileAccess& SystemFileAccess();

/// 64-bit file positioning (files above 2 GiB work on Windows too).
int Seek(FILE* f, int64_t offset, int whence);
int64_t Tell(FILE* f);

/// Asks the system to start writing length bytes of f from offset to the disk now,
/// without waiting for it. A long output written this way does not have all of its
/// data still to be written when it is renamed into place (Linux file systems flush
/// a file renamed over another one). Does nothing where there is no such request, or
/// when f is no regular file.
void StartWriteback(FILE* f, uint64_t offset, uint64_t length);

/// True when path names an existing folder.
bool IsDirectory(const std::string& path);

/// Cuts the file at path back to size bytes (undoes an append that failed). False
/// when that is not possible (no regular file, no permission).
bool TruncateFile(const std::string& path, int64_t size);

/// A new version of a file, written so that the file named is replaced whole or not
/// at all, and so that it stays the file it was:
/// - a symbolic link is followed and its target gets the new version (the link stays);
/// - an existing regular file keeps its permission bits and, where the system allows
///   it (running as root), its owner and group;
/// - a device, a FIFO, a socket, the null device or a name that stands for an open
///   file of this process (/dev/stdout, /dev/fd/N) is written directly: there is no
///   file to replace, and such a name is never removed;
/// - otherwise the bytes go to a temporary file with a short name in the target's
///   folder (so a name of any allowed length works) and are renamed over the target
///   once complete; when that folder cannot be written but the file can, the bytes
///   go to a temporary file in the system's temporary folder and are copied into
///   the file once complete.
/// An existing regular file that cannot be written is refused, as opening it for
/// writing would be.
class NewFileVersion {
public:
    NewFileVersion() = default;
    NewFileVersion(const NewFileVersion&) = delete;
    NewFileVersion& operator=(const NewFileVersion&) = delete;
    /// Discards what open made unless commit succeeded.
    ~NewFileVersion();

    /// Opens the file to write the new version of path into (binary). nullptr when
    /// path cannot be written. The caller writes and closes the FILE, then commits.
    FILE* open(const std::string& path);
    /// Puts the written bytes in place. False when that failed; path is then as it
    /// was (except after a failed copy into a file whose folder cannot be written).
    bool commit();
    /// Removes what open made (a temporary file; a regular file written directly
    /// because nothing else was possible). A device or FIFO is left alone.
    void discard();
    /// True when the bytes go straight to the file named (no temporary file).
    bool direct() const { return way_ == Way::Direct; }
    /// The file the bytes are being written to.
    const std::string& writePath() const { return write_; }

private:
    enum class Way { None, Direct, Beside, Elsewhere };
    Way way_ = Way::None;
    std::string target_;           // the file that gets the new version
    std::string write_;            // the file opened for writing
    bool existed_ = false;         // target_ was an existing regular file
    bool removeDirect_ = false;    // a regular file written directly: removed on discard
    bool done_ = true;             // committed or discarded: nothing left to do
    uint32_t mode_ = 0;            // permission bits of the existing target
    int64_t uid_ = -1, gid_ = -1;  // owner and group of the existing target
};

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
