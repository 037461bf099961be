// Program entry: usage text, wildcard refusal, batch or single mode, and the error
// guard that prints an escaping failure and turns it into exit status 1.
#include <cstdio>
#include <cstring>

#include "cli/Cli.h"
#include "links/CQuillmarkHandler.h"
#include "pdf/CPdfException.h"

int main(int argc, char** argv) {
    if (argc == 1) {
        PrintUsage();
        return 0;
    }
    if (argc >= 3 && (std::strchr(argv[1], '*') || std::strchr(argv[2], '*'))) {
        std::fputs(kWildcardMessage, stdout);
        std::fflush(stdout);
        return 1;
    }
    PrintBanner();

    int status = 0;
    try {
        const int listResult = RunList(argv[1], argc > 2 ? argv[2] : nullptr, argc, argv);
        if (listResult == 1) {
            status = 1;  // list mode refused: nothing was processed
        } else if (listResult == 0) {
            CQuillmarkHandler handler;
            handler.Process(argc, argv);
            std::printf("\nDone.\n");
        }
    } catch (const CPdfException& e) {
        // "Error parameter" or "Document error\n": printed as it is, nothing added.
        std::fputs(e.getMessage(), stdout);
        status = 1;
    } catch (...) {
        std::fputs("Unexpected exception", stdout);
        status = 1;
    }
    std::fflush(stdout);
    return status;
}
