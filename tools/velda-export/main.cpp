// velda-export: the leave download without windows, for scheduled runs, and its check.
#include <cstdio>
#include <cstring>

#include "tools/velda-export/run.h"
#include "tools/version.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        const std::string line = veldatools::VersionLine("velda-export");
        bool written = std::fputs(line.c_str(), stdout) >= 0;
        return std::fflush(stdout) == 0 && written ? 0 : 1;
    }
    return veldaexport::Run(std::vector<std::string>(argv + 1, argv + argc), stdin, stdout, stderr);
}
