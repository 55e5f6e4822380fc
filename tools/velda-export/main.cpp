// velda-export: the leave download without windows, for scheduled runs, and its check.
#include <cstdio>

#include "tools/velda-export/run.h"

int main(int argc, char** argv) {
    return veldaexport::Run(std::vector<std::string>(argv + 1, argv + argc), stdin, stdout, stderr);
}
