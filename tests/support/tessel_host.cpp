// A stand-in host program for the library's cache exports: the cache file lies beside the executable
// of the process, so tests copy this program into a folder of their own and run it there.
//   tessel_host [--repeat N] EXPORT ARGUMENT...
// Calls the export (N times) and prints its first result other than 0, or else its last result. A text
// argument "--null" passes a null pointer; "{n}" in a text argument stands for the call's number (from 0).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tessel.h"

namespace {

const char* text(const char* arg) {
    return std::strcmp(arg, "--null") == 0 ? nullptr : arg;
}

// The arguments of call number `call`.
std::vector<std::string> numbered(char** args, int count, int call) {
    std::vector<std::string> out(args, args + count);
    for (std::string& arg : out)
        for (size_t at; (at = arg.find("{n}")) != std::string::npos;)
            arg.replace(at, 3, std::to_string(call));
    return out;
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
    int n = argc - first - 1;
    int32_t result = 0, failure = 0;
    for (int i = 0; i < repeat; ++i) {
        std::vector<std::string> words = numbered(argv + first + 1, n, i);
        std::vector<char*> args;
        for (std::string& word : words) args.push_back(word.data());
        char** a = args.data();
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
        if (failure == 0) failure = result;
    }
    std::printf("%d\n", failure != 0 ? failure : result);
    return 0;
}
