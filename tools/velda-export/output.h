// Where the download goes: a file that appears only when it is complete, or standard output.
//
// The file is written beside its target and renamed over it once everything is written and
// flushed to disk, so an importer never sees half a file and a run that fails or is killed
// leaves an earlier file as it was. Where the file system offers unnamed files (O_TMPFILE), the
// file being written has no name at all until it is complete, so not even a killed run leaves
// anything behind; elsewhere it is a hidden ".NAME.XXXXXX" file that is removed on failure. A
// replaced file's permission bits carry over to the new one.
#ifndef VELDA_TOOLS_EXPORT_OUTPUT_H
#define VELDA_TOOLS_EXPORT_OUTPUT_H

#include <cstddef>
#include <string>
#include <string_view>

namespace veldaexport {

class Output {
  public:
    // "-" is standard output. Throws RunError when the file cannot be made.
    explicit Output(const std::string& target);
    // Without Commit the file being written is discarded; the target is untouched.
    ~Output();
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
    [[noreturn]] void Fail(const std::string& what) const;
    void Flush();

    std::string target_;
    std::string temporary_;  // the hidden file's name; empty for an unnamed file or stdout
    int fd_ = -1;
    bool toStdout_ = false;
    bool committed_ = false;
    std::string buffer_;
    std::size_t lines_ = 0;
};

}  // namespace veldaexport

#endif
