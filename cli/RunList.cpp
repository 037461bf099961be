// Batch mode: every PDF named in a list file is processed into an output folder.
#include "cli/Cli.h"

#include <cstdio>
#include <memory>

#include "links/CQuillmarkHandler.h"
#include "platform/Platform.h"

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
        : argv_(argv), saved1_(argc > 1 ? argv[1] : nullptr), saved2_(argc > 2 ? argv[2] : nullptr), argc_(argc) {}
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

    // A folder opens like a file on some systems and then reads as an empty list.
    std::unique_ptr<FILE, FileCloser> list(Platform::IsDirectory(listName) ? nullptr
                                                                           : Platform::OpenFile(listName, "rb"));
    if (!list) {
        std::printf("Unable to open file list: '%s'\r\n", listName.c_str());
        return 1;
    }

    ArgvRestorer restore(argc, argv);
    std::string line;
    std::string outputPath;
    bool atStart = true;
    while (NextListEntry(list.get(), line, atStart)) {
        outputPath = BatchOutputPath(folder, line);
        // Every file of the batch gets the same options; only positions 1 and 2 change.
        argv[1] = &line[0];
        argv[2] = &outputPath[0];
        {
            // A report run writes no output and so removes nothing at the output path:
            // with -f naming the inputs' own folder that path is the input itself.
            CQuillmarkHandler handler;
            handler.Process(argc, argv);
        }
        std::printf("\nDone.\n");
    }
    // A list that could not be read to its end is not a batch that was done.
    if (std::ferror(list.get())) {
        std::printf("Unable to open file list: '%s'\r\n", listName.c_str());
        return 1;
    }
    return 2;
}
