// Batch mode: every PDF named in a list file is processed into an output folder.
#include "cli/Cli.h"

#include <cstdio>
#include <memory>

#include "cli/Platform.h"
#include "links/CQuillmarkHandler.h"

namespace {

// Closes the list file however the batch ends.
struct FileCloser {
    void operator()(FILE* f) const {
        if (f) std::fclose(f);
    }
};

// Puts argv[1] and argv[2] back when the batch ends, also when a line throws, so the
// caller's argument vector never points into this function's strings afterwards.
class ArgvRestorer {
public:
    ArgvRestorer(int argc, char** argv)
        : argv_(argv), saved1_(argc > 1 ? argv[1] : nullptr), saved2_(argc > 2 ? argv[2] : nullptr),
          argc_(argc) {}
    ~ArgvRestorer() {
        if (argc_ > 1) argv_[1] = saved1_;
        if (argc_ > 2) argv_[2] = saved2_;
    }
    ArgvRestorer(const ArgvRestorer&) = delete;
    ArgvRestorer& operator=(const ArgvRestorer&) = delete;

private:
    char** argv_;
    char* saved1_;
    char* saved2_;
    int argc_;
};

}  // namespace

int RunList(const char* first, const char* second, int argc, char** argv) {
    const std::string listName = first ? first : "";
    if (!IsListName(listName)) return 0;

    if (!second || second[0] != '-' || second[1] != 'f') {
        std::printf("please specify -f for output folder, e.g. -fc:\\test\n");
        return 1;
    }
    const std::string folder = second + 2;
    // "nul" is the null device, not a folder to create.
    if (folder != "nul") Platform::MakeDirectory(folder);

    std::unique_ptr<FILE, FileCloser> list(Platform::OpenFile(listName, "rb"));
    if (!list) {
        std::printf("Unable to open file list: '%s'\r\n", listName.c_str());
        return 1;
    }

    ArgvRestorer restore(argc, argv);
    std::string line;
    std::string outputPath;
    while (ReadListLine(list.get(), line)) {
        outputPath = BatchOutputPath(folder, line);
        // Every file of the batch gets the same options; only positions 1 and 2 change.
        argv[1] = &line[0];
        argv[2] = &outputPath[0];
        {
            CQuillmarkHandler handler;
            handler.Process(argc, argv);
            // A report run leaves only the report; Process has normally removed the
            // output already, so a failing delete here is fine.
            if (handler.getSettings().report) Platform::RemoveFile(outputPath);
        }
        std::printf("\nDone.\n");
    }
    return 2;
}
