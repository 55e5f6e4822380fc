// velda-export from its arguments to its exit status.
#ifndef VELDA_TOOLS_EXPORT_RUN_H
#define VELDA_TOOLS_EXPORT_RUN_H

#include <cstdio>
#include <string>
#include <vector>

namespace veldaexport {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;  // login refused, database or file error
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFindings = 3;  // --check found something

// Reads the password (environment, else the first line of in), writes the download or the
// findings to out, progress, errors and the closing line to err.
int Run(const std::vector<std::string>& args, std::FILE* in, std::FILE* out, std::FILE* err);

}  // namespace veldaexport

#endif
