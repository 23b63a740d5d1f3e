// A stand-in host program for the library's cache exports: the cache file lies beside the executable
// of the process, so tests copy this program into a folder of their own and run it there.
//   tessel_host [--repeat N] EXPORT ARGUMENT...
// Calls the export (N times) and prints its last result. A text argument "--null" passes a null pointer.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tessel.h"

namespace {

const char* text(const char* arg) {
    return std::strcmp(arg, "--null") == 0 ? nullptr : arg;
}

int32_t number(const char* arg) {
    return static_cast<int32_t>(std::strtol(arg, nullptr, 0));
}

int usage() {
    std::fprintf(stderr, "usage: tessel_host [--repeat N] EXPORT ARGUMENT...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 1;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--repeat") == 0) {
        repeat = std::atoi(argv[2]);
        first = 3;
    }
    if (argc <= first) return usage();
    std::string name = argv[first];
    char** a = argv + first + 1;
    int n = argc - first - 1;
    int32_t result = 0;
    for (int i = 0; i < repeat; ++i) {
        if (name == "TAVCLoginToCache" && n == 2) {
            result = TAVCLoginToCache(text(a[0]), text(a[1]));
        } else if (name == "TAVCRemarkToCache" && n == 3) {
            result = TAVCRemarkToCache(text(a[0]), number(a[1]), text(a[2]));
        } else if (name == "TAVCLoginToDB" && n == 4) {
            result = TAVCLoginToDB(text(a[0]), text(a[1]), text(a[2]), number(a[3]));
        } else if (name == "TAVCRemarkToDB" && n == 6) {
            result =
                TAVCRemarkToDB(text(a[0]), number(a[1]), text(a[2]), text(a[3]), text(a[4]), number(a[5]));
        } else if (name == "TAVCUploadRemarks" && n == 2) {
            result = TAVCUploadRemarks(text(a[0]), number(a[1]));
        } else {
            return usage();
        }
    }
    std::printf("%d\n", result);
    return 0;
}
