// Helpers shared by the suites: a temporary folder that goes with its owner, engine text
// arguments and the engine's last error.
#ifndef VELDA_TESTS_SUPPORT_ENGINE_TEST_HELPERS_H
#define VELDA_TESTS_SUPPORT_ENGINE_TEST_HELPERS_H

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "engine/ace.h"

namespace testsupport {

class TempFolder {
  public:
    explicit TempFolder(const std::string& prefix = "velda-test") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempFolder() {
        if (!path_.empty()) std::filesystem::remove_all(path_);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline UNSIGNED8* u8(const char* text) {
    return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(text));
}
inline UNSIGNED8* u8(const std::string& text) {
    return u8(text.c_str());
}

// The engine's last error text; its code into *code when given.
inline std::string lastError(UNSIGNED32* code = nullptr) {
    UNSIGNED8 buffer[1024];
    UNSIGNED16 len = sizeof buffer;
    UNSIGNED32 c = 0;
    AdsGetLastError(&c, buffer, &len);
    if (code) *code = c;
    return std::string(reinterpret_cast<char*>(buffer), len);
}

}  // namespace testsupport

#endif
