// velda-db: creates, fills, inspects and encrypts velda's tables and data dictionaries, and
// builds a demo program folder.
#include <iostream>

#include "tools/velda-db/commands.h"

int main(int argc, char** argv) {
    veldadb::Args args(argv + 1, argv + argc);
    return veldadb::RunCommand(args, std::cout, std::cerr);
}
