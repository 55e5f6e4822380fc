// What the tool tests share: a finished run of a program and a whole file read back.
#ifndef VELDA_TESTS_TOOLS_TOOL_TEST_SUPPORT_H
#define VELDA_TESTS_TOOLS_TOOL_TEST_SUPPORT_H

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tooltest {

// A program's exit status and what it wrote to standard output and standard error.
struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace tooltest

#endif
