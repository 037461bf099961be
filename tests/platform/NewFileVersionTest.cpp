// A new version of a file on a POSIX system: what stands at the path (a link, a file
// with its own permission bits or owner, a device, a FIFO, a very long name) stays what
// it was, and only the bytes change.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "platform/Platform.h"

namespace {

std::string Dir() {
    std::string d = ::testing::TempDir();
    if (d.empty() || d.back() != '/') d += '/';
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name)
        if (c == '/') c = '_';
    d += "qm_newversion_" + name + "/";
    mkdir(d.c_str(), 0777);
    return d;
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

bool WriteVersion(Platform::NewFileVersion& v, const std::string& path, const std::string& data) {
    FILE* f = v.open(path);
    if (!f) return false;
    const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    if (std::fclose(f) != 0 || !written) return false;
    return v.commit();
}

struct Stat {
    bool exists = false;
    struct stat st {};
};
Stat LStat(const std::string& path) {
    Stat s;
    s.exists = lstat(path.c_str(), &s.st) == 0;
    return s;
}

// Leftover temporary files in a folder.
int TempFilesIn(const std::string& dir) {
    int n = 0;
    DIR* d = opendir(dir.c_str());
    if (!d) return -1;
    while (const dirent* e = readdir(d))
        if (std::string(e->d_name).compare(0, 3, ".qm") == 0) ++n;
    closedir(d);
    return n;
}

struct LinkCase {
    const char* name;
    // Makes what stands at the path; returns the path to write and the file that must
    // receive the bytes.
    std::function<void(const std::string& dir, std::string& path, std::string& target)> make;
};

class NewVersionThroughLinks : public ::testing::TestWithParam<LinkCase> {};

TEST_P(NewVersionThroughLinks, TheLinkStaysAndItsTargetGetsTheBytes) {
    const std::string dir = Dir();
    std::string path, target;
    GetParam().make(dir, path, target);
    Platform::NewFileVersion v;
    ASSERT_TRUE(WriteVersion(v, path, "new bytes"));
    EXPECT_TRUE(S_ISLNK(LStat(path).st.st_mode)) << "the link was replaced";
    EXPECT_TRUE(S_ISREG(LStat(target).st.st_mode));
    EXPECT_EQ("new bytes", ReadAll(target));
    EXPECT_EQ(0, TempFilesIn(dir));
}

INSTANTIATE_TEST_SUITE_P(All, NewVersionThroughLinks,
                         ::testing::Values(LinkCase{"Relative",
                                                    [](const std::string& d, std::string& p, std::string& target) {
                                                        target = d + "real.pdf";
                                                        WriteAll(target, "old");
                                                        p = d + "link.pdf";
                                                        unlink(p.c_str());
                                                        ASSERT_EQ(0, symlink("real.pdf", p.c_str()));
                                                    }},
                                           LinkCase{"ChainIntoAnotherFolder",
                                                    [](const std::string& d, std::string& p, std::string& target) {
                                                        mkdir((d + "sub").c_str(), 0777);
                                                        target = d + "sub/real.pdf";
                                                        WriteAll(target, "old");
                                                        unlink((d + "sub/hop.pdf").c_str());
                                                        ASSERT_EQ(0, symlink("real.pdf", (d + "sub/hop.pdf").c_str()));
                                                        p = d + "link.pdf";
                                                        unlink(p.c_str());
                                                        ASSERT_EQ(0, symlink((d + "sub/hop.pdf").c_str(), p.c_str()));
                                                    }},
                                           LinkCase{"Dangling",
                                                    [](const std::string& d, std::string& p, std::string& target) {
                                                        target = d + "not-yet.pdf";
                                                        unlink(target.c_str());
                                                        p = d + "link.pdf";
                                                        unlink(p.c_str());
                                                        ASSERT_EQ(0, symlink("not-yet.pdf", p.c_str()));
                                                    }}),
                         [](const ::testing::TestParamInfo<LinkCase>& i) { return i.param.name; });

TEST(NewVersion, PermissionBitsStay) {
    const std::string dir = Dir();
    const unsigned modes[] = {0640, 0604, 0755, 02750, 0600};
    for (unsigned mode : modes) {
        const std::string path = dir + "out.pdf";
        WriteAll(path, "old");
        ASSERT_EQ(0, chmod(path.c_str(), mode));
        Platform::NewFileVersion v;
        ASSERT_TRUE(WriteVersion(v, path, "new")) << std::oct << mode;
        EXPECT_EQ(mode, LStat(path).st.st_mode & 07777) << std::oct << mode;
        EXPECT_EQ("new", ReadAll(path));
    }
    // A new file gets the bits a plain open gives (the process's umask).
    const std::string fresh = dir + "fresh.pdf";
    unlink(fresh.c_str());
    const mode_t mask = umask(022);
    Platform::NewFileVersion v;
    ASSERT_TRUE(WriteVersion(v, fresh, "x"));
    umask(mask);
    EXPECT_EQ(0644u, LStat(fresh).st.st_mode & 07777);
}

TEST(NewVersion, OwnerStaysWhenRunAsRoot) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: only root can give a file another owner";
    const std::string dir = Dir();
    const std::string path = dir + "owned.pdf";
    WriteAll(path, "old");
    ASSERT_EQ(0, chown(path.c_str(), 65534, 65534));
    ASSERT_EQ(0, chmod(path.c_str(), 04754));
    Platform::NewFileVersion v;
    ASSERT_TRUE(WriteVersion(v, path, "new"));
    const Stat s = LStat(path);
    EXPECT_EQ(65534u, s.st.st_uid);
    EXPECT_EQ(65534u, s.st.st_gid);
    EXPECT_EQ(04754u, s.st.st_mode & 07777);  // set-user-id survives the change of owner
    EXPECT_EQ("new", ReadAll(path));
}

// Runs f as a user without special rights (in a child process as "nobody" when this
// runs as root, who may write any file and folder); true when f returned true.
bool AsPlainUser(const std::function<bool()>& f) {
    if (geteuid() != 0) return f();
    const pid_t child = fork();
    if (child == 0) {
        const bool ok = setgid(65534) == 0 && setuid(65534) == 0 && f();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(NewVersion, FilesAndFoldersThatCannotBeWritten) {
    const std::string dir = Dir();
    ASSERT_EQ(0, chmod(dir.c_str(), 0777));
    struct Case {
        const char* name;
        unsigned folderMode;
        unsigned fileMode;
        bool written;
    } cases[] = {
        // An existing file that may not be written is refused, as a plain open would.
        {"readonly", 0777, 0444, false},
        // A file that may be written in a folder that takes no new file is still
        // written (made complete elsewhere, then copied into it).
        {"lockedfolder", 0555, 0666, true},
    };
    for (const Case& c : cases) {
        const std::string folder = dir + c.name + "/";
        mkdir(folder.c_str(), 0777);
        const std::string path = folder + "out.pdf";
        WriteAll(path, "old");
        ASSERT_EQ(0, chmod(path.c_str(), c.fileMode));
        ASSERT_EQ(0, chmod(folder.c_str(), c.folderMode));
        const bool ok = AsPlainUser([&] {
            Platform::NewFileVersion v;
            return WriteVersion(v, path, "new");
        });
        EXPECT_EQ(c.written, ok) << c.name;
        EXPECT_EQ(c.written ? "new" : "old", ReadAll(path)) << c.name;
        EXPECT_EQ(c.fileMode, LStat(path).st.st_mode & 07777) << c.name;
        EXPECT_EQ(0, TempFilesIn(folder)) << c.name;
        chmod(folder.c_str(), 0777);
    }
}

TEST(NewVersion, FifoIsWrittenDirectly) {
    const std::string dir = Dir();
    const std::string fifo = dir + "pipe";
    unlink(fifo.c_str());
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    // Held open for reading (and writing, so the open does not wait for a writer).
    const int reader = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    Platform::NewFileVersion v;
    ASSERT_TRUE(WriteVersion(v, fifo, "through the pipe"));
    EXPECT_TRUE(v.direct());
    char buf[64] = {0};
    EXPECT_EQ(16, read(reader, buf, sizeof buf));
    EXPECT_STREQ("through the pipe", buf);
    close(reader);
    v.discard();
    EXPECT_TRUE(S_ISFIFO(LStat(fifo).st.st_mode));
    EXPECT_EQ(0, TempFilesIn(dir));
}

// A device like /dev/full (1, 7), /dev/null (1, 3) or /dev/zero (1, 5). As root a
// node of its own is made in dir, so that a fault cannot take the system's away.
std::string Device(const std::string& dir, const char* name, unsigned minor) {
    if (geteuid() != 0) return std::string("/dev/") + name;
    const std::string path = dir + name;
    unlink(path.c_str());
    if (mknod(path.c_str(), S_IFCHR | 0666, makedev(1, minor)) != 0) return std::string();
    return path;
}

TEST(NewVersion, DevicesAreWrittenDirectlyAndNeverRemoved) {
    const std::string dir = Dir();
    struct Case {
        const char* name;
        unsigned minor;
        bool writeFails;
    } cases[] = {{"full", 7, true}, {"null", 3, false}, {"zero", 5, false}};
    for (const Case& c : cases) {
        const std::string path = Device(dir, c.name, c.minor);
        ASSERT_FALSE(path.empty()) << c.name;
        Platform::NewFileVersion v;
        FILE* f = v.open(path);
        ASSERT_NE(nullptr, f) << path;
        EXPECT_TRUE(v.direct()) << path;
        std::fputs("bytes", f);
        EXPECT_EQ(c.writeFails, std::fclose(f) != 0) << path;
        v.discard();  // what a failed run does: as root a remove would take the device away
        EXPECT_TRUE(S_ISCHR(LStat(path).st.st_mode)) << path;
    }
    EXPECT_EQ(0, TempFilesIn(dir));
}

TEST(NewVersion, StandardOutputByNameIsWrittenDirectly) {
    // A name that leads into /proc (as /dev/stdout does) stands for an open file of
    // this process, which is written where it is, whatever it is redirected to. The
    // link is made here, so that a fault cannot replace the system's /dev/stdout.
    const std::string dir = Dir();
    const std::string path = dir + "stdout";
    unlink(path.c_str());
    ASSERT_EQ(0, symlink("/proc/self/fd/1", path.c_str()));
    Platform::NewFileVersion v;
    FILE* f = v.open(path);
    ASSERT_NE(nullptr, f);
    EXPECT_TRUE(v.direct());
    std::fclose(f);
    EXPECT_TRUE(v.commit());
    EXPECT_TRUE(S_ISLNK(LStat(path).st.st_mode));
    EXPECT_EQ(0, TempFilesIn(dir));
}

TEST(NewVersion, LongNamesWork) {
    const std::string dir = Dir();
    for (size_t len : {200u, 244u, 255u}) {
        const std::string name = std::string(len - 4, 'n') + ".pdf";
        const std::string path = dir + name;
        WriteAll(path, "old");
        Platform::NewFileVersion v;
        EXPECT_TRUE(WriteVersion(v, path, "new")) << len;
        EXPECT_EQ("new", ReadAll(path)) << len;
        unlink(path.c_str());
    }
    EXPECT_EQ(0, TempFilesIn(dir));
}

TEST(NewVersion, FolderIsRefused) {
    Platform::NewFileVersion v;
    EXPECT_EQ(nullptr, v.open(Dir()));
}

}  // namespace

#endif  // _WIN32
