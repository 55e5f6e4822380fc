// Where the download goes: a file that appears only when it is complete, or standard output.
// The file is download::TOutputFile (download/core/outputfile.h): written beside its target and
// renamed over it once everything is written and flushed to disk; which targets are refused,
// and the modes, owners and hidden files, are said there.
#ifndef VELDA_TOOLS_EXPORT_OUTPUT_H
#define VELDA_TOOLS_EXPORT_OUTPUT_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "download/core/outputfile.h"

namespace veldaexport {

class Output {
  public:
    // "-" and "/dev/stdout" are standard output. Throws RunError "TARGET: what (reason)" when
    // the target is refused or the file cannot be made.
    Output(const std::string& target, const download::TProtectedFiles& protect);
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Throws RunError naming the target and the system's reason.
    void Write(std::string_view bytes);
    // Flushes and puts the file in place. Throws RunError.
    void Commit();

    std::size_t Lines() const { return lines_; }
    // The target as the user named it, or "standard output".
    std::string Describe() const;

  private:
    std::unique_ptr<download::TOutputFile> file_;
    std::size_t lines_ = 0;
};

}  // namespace veldaexport

#endif
