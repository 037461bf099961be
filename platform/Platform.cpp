#include "platform/Platform.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
// windows.h maps these names to their A/W variants; this file defines its own.
#undef ReplaceFile
#undef DeleteFile
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

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

FILE* OpenFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

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

namespace {

class SystemAccess : public FileAccess {
public:
    size_t readAt(FILE* f, int64_t pos, unsigned char* out, size_t n) const override { return ReadAt(f, pos, out, n); }
    int64_t size(FILE* f) const override { return FileSize(f); }
};

}  // namespace

const FileAccess& SystemFileAccess() {
    static const SystemAccess access;
    return access;
}

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

bool IsDirectory(const std::string& path) {
#ifdef _WIN32
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

bool TruncateFile(const std::string& path, int64_t size) {
    if (size < 0) return false;
#ifdef _WIN32
    FILE* f = std::fopen(path.c_str(), "r+b");
    if (!f) return false;
    const bool ok = _chsize_s(_fileno(f), size) == 0;
    std::fclose(f);
    return ok;
#else
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return truncate(path.c_str(), static_cast<off_t>(size)) == 0;
#endif
}

namespace {

unsigned long ProcessId() {
#ifdef _WIN32
    return static_cast<unsigned long>(_getpid());
#else
    return static_cast<unsigned long>(getpid());
#endif
}

// The folder part of a path, with its separator ("" for a bare name).
std::string FolderOf(const std::string& path) {
    const size_t pos = path.find_last_of("/\\");
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

// Creates a new file with a short unique name in folder (which ends in a separator or
// is empty) and opens it for binary writing; nullptr when the folder takes none.
FILE* CreateTempIn(const std::string& folder, std::string& path) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = folder + ".qm" + std::to_string(ProcessId()) + '-' + std::to_string(counter.fetch_add(1)) + ".tmp";
#ifdef _WIN32
        const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
        if (fd < 0) {
            if (errno == EEXIST) continue;  // a leftover of another run: take the next name
            return nullptr;
        }
#ifdef _WIN32
        FILE* f = _fdopen(fd, "wb");
        if (!f) _close(fd);
#else
        FILE* f = fdopen(fd, "wb");
        if (!f) ::close(fd);
#endif
        if (!f) (void)std::remove(path.c_str());
        return f;
    }
    return nullptr;
}

#ifndef _WIN32
// Follows the symbolic links of path one by one (a relative link from the folder of
// the link) to the name of the file it finally stands for. viaProc is set when a link
// leads into /proc: such a name (/dev/stdout, /dev/fd/3) stands for a file this
// process has open, which is written where it is. False for a loop of links.
bool FollowLinks(const std::string& path, std::string& out, bool& viaProc) {
    std::string p = path;
    viaProc = false;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            out = p;
            return true;
        }
        char buf[4096];
        const ssize_t n = readlink(p.c_str(), buf, sizeof buf);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) return false;
        std::string link(buf, static_cast<size_t>(n));
        if (link.compare(0, 6, "/proc/") == 0) {
            viaProc = true;
            out = p;
            return true;
        }
        p = link[0] == '/' ? link : FolderOf(p) + link;
    }
    return false;
}
#endif

// Copies the file at from into the existing file at to (truncated first).
bool CopyInto(const std::string& from, const std::string& to) {
    FILE* in = std::fopen(from.c_str(), "rb");
    if (!in) return false;
    FILE* out = std::fopen(to.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return false;
    }
    std::vector<char> buf(1u << 16);
    bool ok = true;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), in)) > 0) {
        if (std::fwrite(buf.data(), 1, n, out) != n) {
            ok = false;
            break;
        }
    }
    if (std::ferror(in)) ok = false;
    std::fclose(in);
    if (std::fclose(out) != 0) ok = false;
    return ok;
}

}  // namespace

NewFileVersion::~NewFileVersion() { discard(); }

FILE* NewFileVersion::open(const std::string& path) {
    discard();
    way_ = Way::None;
    done_ = false;
    target_ = path;
    existed_ = false;
    removeDirect_ = false;
    if (IsNullDevice(path)) {
        way_ = Way::Direct;
        write_ = path;
        return std::fopen(path.c_str(), "wb");
    }
#ifndef _WIN32
    bool viaProc = false;
    if (!FollowLinks(path, target_, viaProc)) return nullptr;
    struct stat st;
    const bool exists = stat(target_.c_str(), &st) == 0;
    if (viaProc || (exists && !S_ISREG(st.st_mode))) {
        // Nothing to replace: the bytes go where the name leads (a directory fails here).
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f) {
            way_ = Way::Direct;
            write_ = path;
        }
        return f;
    }
    if (exists) {
        // Refused as a direct open would refuse it.
        if (access(target_.c_str(), W_OK) != 0) return nullptr;
        existed_ = true;
        mode_ = static_cast<uint32_t>(st.st_mode & 07777);
        uid_ = static_cast<int64_t>(st.st_uid);
        gid_ = static_cast<int64_t>(st.st_gid);
    }
#else
    const DWORD attrs = GetFileAttributesA(path.c_str());
    existed_ = attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) == 0;
#endif
    FILE* f = CreateTempIn(FolderOf(target_), write_);
    if (f) {
        way_ = Way::Beside;
        return f;
    }
#ifndef _WIN32
    if (existed_) {
        // The folder takes no new file, but the file itself can be written: the new
        // version is made complete elsewhere first and then copied into it.
        f = CreateTempIn(std::string(P_tmpdir) + "/", write_);
        if (f) {
            way_ = Way::Elsewhere;
            return f;
        }
    }
#endif
    // Last resort: straight into the file, as a plain open would.
    f = std::fopen(target_.c_str(), "wb");
    if (f) {
        way_ = Way::Direct;
        write_ = target_;
        removeDirect_ = true;
    }
    return f;
}

bool NewFileVersion::commit() {
    if (done_) return false;
    bool ok = true;
    switch (way_) {
        case Way::None:
            return false;
        case Way::Direct:
            break;
        case Way::Beside:
#ifdef _WIN32
            ok = MoveFileExA(write_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
            if (existed_) {
                // Owner first: a change of owner clears the set-user-id bits that the
                // mode then puts back.
                struct stat st;
                if (stat(write_.c_str(), &st) == 0 &&
                    (static_cast<int64_t>(st.st_uid) != uid_ || static_cast<int64_t>(st.st_gid) != gid_))
                    (void)chown(write_.c_str(), static_cast<uid_t>(uid_), static_cast<gid_t>(gid_));
                (void)chmod(write_.c_str(), static_cast<mode_t>(mode_));
            }
            ok = std::rename(write_.c_str(), target_.c_str()) == 0;
#endif
            if (!ok) return false;  // the temporary file stays for discard
            break;
        case Way::Elsewhere:
            ok = CopyInto(write_, target_);
            (void)std::remove(write_.c_str());
            break;
    }
    // Done either way: a failed copy has nothing left to discard.
    done_ = ok || way_ == Way::Elsewhere;
    return ok;
}

void NewFileVersion::discard() {
    if (done_) return;
    done_ = true;
    if ((way_ == Way::Beside || way_ == Way::Elsewhere || (way_ == Way::Direct && removeDirect_)) &&
        !IsNullDevice(write_))
        (void)std::remove(write_.c_str());
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
