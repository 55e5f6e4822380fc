// A temporary folder that goes with its owner, for every suite: made fresh and unique under the
// system's temporary folder (empty path when it cannot be made), removed with all it holds.
#ifndef VELDA_TESTS_SUPPORT_TEMP_FOLDER_H
#define VELDA_TESTS_SUPPORT_TEMP_FOLDER_H

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace testsupport {

class TempFolder {
  public:
    explicit TempFolder(const std::string& prefix = "velda-test") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

}  // namespace testsupport

#endif
