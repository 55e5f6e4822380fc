// The line a tool prints for --version: the program, its version and the SQLite the engine runs
// on, as the engine reports it.
#ifndef VELDA_TOOLS_VERSION_H
#define VELDA_TOOLS_VERSION_H

#include <string>

#include "engine/ace.h"

namespace veldatools {

inline std::string VersionLine(const std::string& program) {
    UNSIGNED8 description[128] = {};
    UNSIGNED16 length = sizeof description;
    std::string engine = "velda engine";
    if (AdsGetVersion(nullptr, nullptr, nullptr, description, &length) == AE_SUCCESS)
        engine = reinterpret_cast<const char*>(description);
    return program + " " + VELDA_VERSION + " (" + engine + ")\n";
}

}  // namespace veldatools

#endif
