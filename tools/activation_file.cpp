// Build tool, run by the installation: writes the agent's bus activation file for the whole system,
// <bus name>.service, into a folder, its Exec the agent's installed path, with the same text that
// "corvis -RegServer" writes for one user.
//   tavc-activation-file FOLDER EXEC
#include <cstdio>
#include <string>

#include "com.h"
#include "file_io.h"
#include "kel_typelib.h"

int main(int argc, char** argv) {
    if (argc != 3 || argv[2][0] != '/') {
        std::fprintf(stderr, "usage: tavc-activation-file FOLDER EXEC   (EXEC an absolute path)\n");
        return 2;
    }
    const std::string file =
        std::string(argv[1]) + "/" + tavc::com::activation_file_name(corvis::kKelClassId);
    if (!tavc::file_io::make_folders(argv[1], 0755) ||
        !tavc::file_io::replace_file(file, tavc::com::activation_text(corvis::kKelClassId, argv[2]), 0644)) {
        std::perror(file.c_str());
        return 1;
    }
    return 0;
}
