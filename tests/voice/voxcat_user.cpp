// A program of a library user, linked against libvoxcat.so and run from the library's folder:
//   voxcat_user build SRC DIR    prints the result of RebuildLib(SRC, DIR)
//   voxcat_user speak TEXT       prints the result of SyntheVoice(TEXT, 0); TEXT is GBK
#include <cstdio>
#include <cstring>

#include "voxcat.h"

int main(int argc, char** argv) {
    int32_t result;
    if (argc == 4 && std::strcmp(argv[1], "build") == 0) {
        result = RebuildLib(argv[2], argv[3]);
    } else if (argc == 3 && std::strcmp(argv[1], "speak") == 0) {
        result = SyntheVoice(argv[2], 0);
    } else {
        std::fprintf(stderr, "usage: voxcat_user build SRC DIR | speak TEXT\n");
        return 2;
    }
    std::printf("result %d\n", result);
    return 0;
}
