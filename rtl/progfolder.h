// The program folder and file-name helpers for the files the program keeps beside itself.
//
// ProgramFolder() is the folder of the running executable, ending in "/". Tests point it at a
// temporary folder with SetProgramFolderForTesting (or the scoped guard) and undo that with
// ResetProgramFolderForTesting.
//
// File names may be written with "\" or "/" between their parts (the program joins its folder
// with names such as "\ADS.INI"); both become "/". Like the files of the company databases,
// names resolve exactly first and then without regard to letter case, so "VELDA.ini" finds
// "velda.INI" on a case-sensitive file system.
#ifndef VELDA_RTL_PROGFOLDER_H
#define VELDA_RTL_PROGFOLDER_H

#include <string>

namespace rtl {

// The folder of the running executable (from /proc/self/exe), ending in "/". When the link cannot
// be read, the current working folder ending in "/".
std::string ProgramFolder();

// Makes ProgramFolder() answer the given folder ("/" is added when it does not end in one) until
// ResetProgramFolderForTesting. Process-wide.
void SetProgramFolderForTesting(const std::string& folder);
void ResetProgramFolderForTesting();

class ScopedProgramFolderForTesting {
  public:
    explicit ScopedProgramFolderForTesting(const std::string& folder) {
        SetProgramFolderForTesting(folder);
    }
    ~ScopedProgramFolderForTesting() { ResetProgramFolderForTesting(); }
    ScopedProgramFolderForTesting(const ScopedProgramFolderForTesting&) = delete;
    ScopedProgramFolderForTesting& operator=(const ScopedProgramFolderForTesting&) = delete;
};

// The path with "\" turned into "/" and each part resolved: an existing part as written, else
// the entry of its folder whose name matches without regard to case (the first in byte order
// when several do). Parts found in neither form are kept as written, so the result is also where
// a new file of that name goes. A relative path stays relative to the current working folder.
std::string ResolveFileName(const std::string& path);

// Whether the path (resolved as above) names an existing file that is not a folder.
bool FileExists(const std::string& path);

}  // namespace rtl

#endif
