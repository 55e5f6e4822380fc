// The download file as every program writes it: beside its target, renamed into place when
// complete, so that an importer never sees half a file and a failed or killed run leaves an
// earlier file as it was.
//
// What may be written:
// - a regular file or a name where nothing is yet. A symbolic link is followed to its target
//   and the target replaced, never the link. A folder, device, FIFO or socket is refused, and so
//   is a file of the company or the program (TProtectedFiles). "-" and "/dev/stdout" name
//   standard output, written as a stream.
// Modes and owners:
// - a new file is 0600 (0640 in a folder shared by its set-group-ID bit), less what the umask
//   removes; a replaced file keeps its owner, group and permission bits (the owner where the
//   process may set it).
// The file being written:
// - is private (0600) until it is put in place. Where the file system offers unnamed files
//   (O_TMPFILE) it has no name until then; elsewhere it is ".velda-PID-XXXXXX" beside the
//   target: removed on failure and at SIGINT, SIGTERM, SIGHUP and SIGQUIT, and a leftover of a
//   killed run (its process gone, its lock free) is removed by the next file made in that
//   folder. The name is short, so that any name the file system takes for the target works.
#ifndef VELDA_DOWNLOAD_OUTPUTFILE_H
#define VELDA_DOWNLOAD_OUTPUTFILE_H

#include <sys/stat.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {
class TRemoveAtSignal;
}

namespace download {

// The files a download must never replace.
struct TProtectedFiles {
    // Folders whose tables, index and memo files, dictionaries and the files the engine keeps
    // beside them (-wal, -shm, lock files, encrypted rows) are refused.
    std::vector<std::string> DataFolders;
    // Single files (VELDA.ini, the program).
    std::vector<std::string> Files;

    // A company's: its connect path (a folder of free tables or a dictionary file), the company
    // list's folder (two levels above the company's), the program folder's VELDA.ini and
    // lvdnpath.ini, its tables and the running program.
    static TProtectedFiles OfCompany(const std::string& connectPath,
                                     const std::string& programFolder);
};

// Why the file failed: the target as named, what went wrong ("cannot be written", "is a folder",
// ...) and the system's reason when there is one. what() joins them as "TARGET: WHAT (REASON)".
class EOutputFileError : public std::runtime_error {
  public:
    enum class Stage { Create, Write };
    EOutputFileError(Stage stage, std::string target, std::string problem, std::string reason);
    Stage When() const { return stage_; }
    const std::string& Target() const { return target_; }
    const std::string& Problem() const { return problem_; }
    const std::string& Reason() const { return reason_; }

  private:
    Stage stage_;
    std::string target_, problem_, reason_;
};

class TOutputFile {
  public:
    // Checks the target and makes the file being written (Stage::Create errors; the target is
    // then untouched). unnamedFiles false: never O_TMPFILE (tests of the named form).
    explicit TOutputFile(const std::string& target, const TProtectedFiles& protect = {},
                         bool unnamedFiles = true);
    // Without Commit the file being written is removed; the target is untouched.
    ~TOutputFile();
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    void Write(std::string_view bytes);  // Stage::Write errors
    // Flushes, syncs and puts the file in place (a stream: flushes). Stage::Write errors.
    void Commit();

    // The checks of the constructor and whether the folder can be written, making nothing.
    static void Check(const std::string& target, const TProtectedFiles& protect);

    bool IsStream() const { return stream_; }
    const std::string& Target() const { return target_; }
    // The file that is replaced: the target with its links followed.
    const std::string& RealTarget() const { return real_; }

  private:
    TOutputFile() = default;
    // Follows links from target_ to real_ and refuses what may not be replaced; true when real_
    // exists (st then its status).
    bool Examine(const TProtectedFiles& protect, struct stat& st);
    [[noreturn]] void Fail(EOutputFileError::Stage stage, const std::string& problem,
                           int error) const;
    void Flush();
    void Discard();

    std::string target_, real_;
    std::string temporary_;  // the hidden name; empty for an unnamed file or a stream
    std::unique_ptr<rtl::TRemoveAtSignal> removeAtSignal_;
    int fd_ = -1;
    bool stream_ = false;
    bool committed_ = false;
    bool existed_ = false;
    unsigned finalMode_ = 0;
    unsigned owner_ = 0, group_ = 0;
    std::string buffer_;
};

// The prefix of the hidden files being written, and whether a name is one ("PREFIX-PID-XXXXXX").
inline constexpr std::string_view kOutputTemporaryPrefix = ".velda-";
// Removes the hidden files of folder whose process is gone and which no writer holds locked.
void RemoveOutputLeftovers(const std::string& folder);

}  // namespace download

#endif
