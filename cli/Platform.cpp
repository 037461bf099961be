#include "cli/Platform.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <direct.h>
#include <process.h>
#include <windows.h>
// windows.h maps these names to their A/W variants; this file defines its own.
#undef ReplaceFile
#undef DeleteFile
#else
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif
#if defined(__linux__)
#include <fcntl.h>
#endif

#include "stream/CPdfFileStream.h"

namespace Platform {

namespace {

// Unicode code points of the Windows-1252 bytes 0x80..0x9F. The five bytes the code
// page leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control with the
// same number, as Windows itself does, so that every byte survives a round trip.
const uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

// The Windows-1252 byte of a code point, or -1 when there is none.
int CodePointToCp1252(uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == cp) return 0x80 + i;
    }
    return -1;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

// ---- paths ----

std::string FileNamePart(const std::string& path) {
    size_t pos = path.find_last_of("/\\");
    if (pos == std::string::npos) return path;
    return path.substr(pos + 1);
}

std::string ComposeOutputPath(const std::string& folder, const std::string& name) {
#ifdef _WIN32
    const char sep = '\\';
#else
    const char sep = '/';
#endif
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    path += sep;
    path += name;
    return path;
}

const char* NullDevice() {
#ifdef _WIN32
    return "nul";
#else
    return "/dev/null";
#endif
}

bool IsNullDevice(const std::string& path) {
#ifdef _WIN32
    if (path.size() != 3) return false;
    return (path[0] == 'n' || path[0] == 'N') && (path[1] == 'u' || path[1] == 'U') &&
           (path[2] == 'l' || path[2] == 'L');
#else
    return path == "/dev/null";
#endif
}

void MakeDirectory(const std::string& path) {
#ifdef _WIN32
    (void)_mkdir(path.c_str());
#else
    (void)mkdir(path.c_str(), 0777);
#endif
}

void RemoveFile(const std::string& path) {
    // Never try to delete the null device (on Linux an unprivileged remove fails
    // anyway, but a privileged one would remove the device node).
    if (IsNullDevice(path)) return;
    (void)std::remove(path.c_str());
}

// ---- files ----

FILE* OpenFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

void StartWriteback(FILE* f, uint64_t offset, uint64_t length) {
#if defined(__linux__)
    if (!f || length == 0) return;
    const int fd = fileno(f);
    // Fails harmlessly on pipes and devices; the data is written as usual then.
    if (fd >= 0)
        (void)sync_file_range(fd, static_cast<off64_t>(offset), static_cast<off64_t>(length), SYNC_FILE_RANGE_WRITE);
#else
    (void)f;
    (void)offset;
    (void)length;
#endif
}

size_t ReadAt(FILE* f, int64_t pos, unsigned char* out, size_t n) {
    if (!f || pos < 0 || n == 0) return 0;
#ifdef _WIN32
    if (_fseeki64(f, pos, SEEK_SET) != 0) return 0;
    return std::fread(out, 1, n, f);
#else
    // One positioned read per block instead of a seek and a read.
    const int fd = fileno(f);
    if (fd < 0) return 0;
    size_t got = 0;
    while (got < n) {
        ssize_t k = pread(fd, out + got, n - got, static_cast<off_t>(pos) + static_cast<off_t>(got));
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) break;
        got += static_cast<size_t>(k);
    }
    return got;
#endif
}

int64_t FileSize(FILE* f) {
    if (!f || Seek(f, 0, SEEK_END) != 0) return 0;
    const int64_t size = Tell(f);
    return size < 0 ? 0 : size;
}

void InstallFileAccess() { CPdfSetFileAccess(CPdfFileAccess{&ReadAt, &FileSize}); }

int Seek(FILE* f, int64_t offset, int whence) {
#ifdef _WIN32
    return _fseeki64(f, offset, whence);
#else
    return fseeko(f, static_cast<off_t>(offset), whence);
#endif
}

int64_t Tell(FILE* f) {
#ifdef _WIN32
    return _ftelli64(f);
#else
    return static_cast<int64_t>(ftello(f));
#endif
}

std::string CreateTempPathNear(const std::string& outputPath) {
    if (IsNullDevice(outputPath)) return outputPath;
    static std::atomic<unsigned> counter{0};
#ifdef _WIN32
    unsigned long pid = static_cast<unsigned long>(_getpid());
#else
    unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    std::string path = outputPath;
    path += ".qm";
    path += std::to_string(pid);
    path += '-';
    path += std::to_string(counter.fetch_add(1));
    path += ".tmp";
    return path;
}

bool ReplaceFile(const std::string& tempPath, const std::string& finalPath) {
    if (tempPath == finalPath) return true;
#ifdef _WIN32
    return MoveFileExA(tempPath.c_str(), finalPath.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
#else
    return std::rename(tempPath.c_str(), finalPath.c_str()) == 0;
#endif
}

// ---- text encoding ----

bool Utf8ToCp1252(const std::string& text, std::string& out) {
    std::string result;
    result.reserve(text.size());
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        unsigned char c = p[i];
        uint32_t cp;
        size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if (c >= 0xC2 && c <= 0xDF) {
            cp = c & 0x1F;
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            cp = c & 0x0F;
            len = 3;
        } else if (c >= 0xF0 && c <= 0xF4) {
            cp = c & 0x07;
            len = 4;
        } else {
            return false;  // a stray continuation byte, an overlong lead byte, or 0xF5..0xFF
        }
        if (i + len > n) return false;
        for (size_t k = 1; k < len; ++k) {
            unsigned char cc = p[i + k];
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Reject overlong forms, surrogates and values above U+10FFFF.
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        int b = CodePointToCp1252(cp);
        if (b < 0) return false;
        result += static_cast<char>(b);
        i += len;
    }
    out.swap(result);
    return true;
}

std::string Cp1252ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0xA0) {
            AppendUtf8(out, kCp1252High[c - 0x80]);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

std::string Utf8ToWinAnsi(const std::string& text) {
#ifdef _WIN32
    return text;
#else
    std::string out;
    if (Utf8ToCp1252(text, out)) return out;
    return text;
#endif
}

std::string WinAnsiToUtf8(const std::string& text) {
#ifdef _WIN32
    return text;
#else
    return Cp1252ToUtf8(text);
#endif
}

}  // namespace Platform
