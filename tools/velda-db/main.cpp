// velda-db: creates, fills, inspects and encrypts velda's tables and data dictionaries, and
// builds a demo program folder.
#include <cstring>
#include <iostream>

#include "tools/velda-db/commands.h"
#include "tools/version.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << veldatools::VersionLine("velda-db") << std::flush;
        return std::cout ? 0 : 1;
    }
    veldadb::Args args(argv + 1, argv + argc);
    return veldadb::RunCommand(args, std::cout, std::cerr);
}
