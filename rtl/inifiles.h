// Reading INI files the way Windows reads them: a text value by file, section, key and default.
//
// Rules:
// - Lines end with CR LF, LF or CR; a UTF-8 byte order mark at the start of the file is ignored.
// - "[name]" starts a section (blanks around the name ignored); "key=value" lines belong to the
//   section above them; a line whose first non-blank character is ";" is a comment; lines
//   without "=" and lines before the first section are not entries.
// - Section and key compare without regard to letter case (ASCII and Windows-1252 letters); the
//   key and the value are trimmed of blanks (spaces and tabs); a value enclosed in a matching
//   pair of double or single quotes loses them. A ";" after the "=" is part of the value.
// - The first section of the name is the one searched, and in it the first matching key wins.
// - A missing file, section or key gives the default, with its trailing blanks removed.
//
// File names: "\" and "/" both separate parts, and names resolve exactly first, then without
// regard to case (see rtl/progfolder.h). A bare file name without a folder part (such as
// "ADS.INI") is where the platform's INI reader looks in its default place: on Windows that is
// the Windows folder, here it is the current working folder.
#ifndef VELDA_RTL_INIFILES_H
#define VELDA_RTL_INIFILES_H

#include <string>

namespace rtl {

class TIniFile {
  public:
    explicit TIniFile(std::string fileName);

    // The name as given.
    const std::string& FileName() const { return fileName_; }

    // Reads the file afresh at every call, so a change on disk shows at once.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;

  private:
    std::string fileName_;
};

std::string ReadIniString(const std::string& fileName, const std::string& section,
                          const std::string& key, const std::string& defaultValue);

// The file that an INI file name reads: a bare name in the current working folder, any other
// name resolved as above.
std::string IniFilePath(const std::string& fileName);

}  // namespace rtl

#endif
