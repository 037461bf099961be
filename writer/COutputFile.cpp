#include "writer/COutputFile.h"

#include <cstring>

#include "pdf/CPdfException.h"
#include "platform/Platform.h"

namespace {
// One buffer of 1 MiB keeps the number of write calls low (a 45 MB output needs about
// 45 of them) while the memory stays small next to the input's largest objects.
constexpr size_t kBufferSize = 1u << 20;
// Written data is handed to the system's writeback in pieces of this size.
constexpr uint64_t kWritebackStep = uint64_t(8) << 20;
const char kWriteError[] = "Output file write error\n";
}  // namespace

const char* const COutputFile::kUnwritable = "The output file cannot be written";

COutputFile::COutputFile() : buf_(kBufferSize) {}

COutputFile::~COutputFile() {
    if (file_) std::fclose(file_);
}

bool COutputFile::open(const std::string& path) {
    FILE* f = Platform::OpenFile(path, "wb");
    if (!f) return false;
    attach(f);
    return true;
}

void COutputFile::attach(FILE* f) {
    if (file_) abandon();
    file_ = f;
    // The stdio buffer would only add a second copy of every byte.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    used_ = 0;
    flushed_ = 0;
    writebackStarted_ = 0;
}

void COutputFile::startWriteback() {
    if (flushed_ - writebackStarted_ < kWritebackStep) return;
    Platform::StartWriteback(file_, writebackStarted_, flushed_ - writebackStarted_);
    writebackStarted_ = flushed_;
}

void COutputFile::flushBuffer() {
    if (used_ == 0) return;
    if (!file_) throw CPdfException(kWriteError, COutputFile::kUnwritable);
    if (std::fwrite(buf_.data(), 1, used_, file_) != used_) throw CPdfException(kWriteError, COutputFile::kUnwritable);
    flushed_ += used_;
    used_ = 0;
    startWriteback();
}

void COutputFile::write(const char* data, size_t n) {
    if (n == 0) return;
    if (n <= buf_.size() - used_) {
        std::memcpy(buf_.data() + used_, data, n);
        used_ += n;
        return;
    }
    flushBuffer();
    if (n >= buf_.size()) {
        // A large object goes straight to the file without passing the buffer.
        if (!file_ || std::fwrite(data, 1, n, file_) != n) throw CPdfException(kWriteError, COutputFile::kUnwritable);
        flushed_ += n;
        startWriteback();
        return;
    }
    std::memcpy(buf_.data(), data, n);
    used_ = n;
}

void COutputFile::close() {
    if (!file_) return;
    bool ok = true;
    try {
        flushBuffer();
    } catch (const CPdfException&) {
        ok = false;
    }
    if (std::fclose(file_) != 0) ok = false;
    file_ = nullptr;
    if (!ok) throw CPdfException(kWriteError, COutputFile::kUnwritable);
}

void COutputFile::abandon() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    used_ = 0;
}
