// A list of text lines, most often of the form name=value (the download settings file keeps its
// last file name in a line "filepath=...").
//
// Name rules: the name of a line is its text before the first "="; a line without "=" has no
// name. Names compare without regard to letter case (ASCII and the Windows-1252 letters); values
// are everything after that first "=", blanks included.
//
// Files: LoadFromFile accepts lines ended by CR, LF or CR LF (a UTF-8 byte order mark at the start
// is dropped); SaveToFile ends every line, the last one too, with CR LF and replaces the file as a
// whole (written beside it, then renamed over it), so a failed save leaves the old file intact.
#ifndef VELDA_RTL_STRINGLIST_H
#define VELDA_RTL_STRINGLIST_H

#include <string>
#include <vector>

#include "rtl/exception.h"

namespace rtl {

// An index outside the list: "List index out of bounds (5)".
class EStringListError : public Exception {
  public:
    using Exception::Exception;
};

// A file that cannot be read or written: 'Cannot open file "x". No such file or directory',
// 'Cannot create file "x". Permission denied'.
class EFileStreamError : public Exception {
  public:
    using Exception::Exception;
};
class EFOpenError : public EFileStreamError {
  public:
    using EFileStreamError::EFileStreamError;
};
class EFCreateError : public EFileStreamError {
  public:
    using EFileStreamError::EFileStreamError;
};

// Whether two texts are equal without regard to letter case: ASCII letters and the letters of
// Windows-1252 (À to Þ against à to þ except × and ÷, and Š Œ Ž Ÿ against š œ ž ÿ).
bool SameTextAnsi(const std::string& a, const std::string& b);

class TStringList {
  public:
    TStringList() = default;

    int Count() const { return static_cast<int>(lines_.size()); }
    const std::string& Strings(int index) const;
    void SetStrings(int index, const std::string& line);

    int Add(const std::string& line);                 // returns the new line's index
    void Insert(int index, const std::string& line);  // 0 to Count
    void Delete(int index);
    void Clear() { lines_.clear(); }

    // The name and the value of one line (the whole line and "" when it has no "=").
    std::string Names(int index) const;
    std::string ValueFromIndex(int index) const;

    // The first line whose name equals name without regard to case, or -1.
    int IndexOfName(const std::string& name) const;
    // The first line equal to line without regard to case, or -1.
    int IndexOf(const std::string& line) const;

    // The value of the first line named name, or "" when there is none.
    std::string Values(const std::string& name) const;
    // A non-empty value replaces that line in place by name=value, or appends name=value when
    // there is no such line; the empty value deletes the line.
    void SetValues(const std::string& name, const std::string& value);

    // All lines, each ended by CR LF; and the reverse (CR, LF or CR LF end a line; a last line
    // without an end counts, an end at the very end makes no empty line).
    std::string Text() const;
    void SetText(const std::string& text);

    // Raise EFOpenError / EFCreateError with the file name and the system's reason.
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

  private:
    std::size_t checked(int index) const;

    std::vector<std::string> lines_;
};

}  // namespace rtl

#endif
