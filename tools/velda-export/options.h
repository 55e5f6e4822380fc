// The command line of velda-export: its options, their checks and the help text.
#ifndef VELDA_TOOLS_EXPORT_OPTIONS_H
#define VELDA_TOOLS_EXPORT_OPTIONS_H

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "download/core/leavedownload.h"
#include "rtl/sysutils.h"

namespace veldaexport {

// A wrong command line: one line naming what is wrong; the program ends with status 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Options {
    bool Help = false;
    bool List = false;
    bool Check = false;
    bool Quiet = false;
    // The program folder, ending in "/", or a server path ending in a separator before its
    // parameters; the executable's folder by default.
    std::string Folder;
    std::string Company;  // code as listed
    std::string User;     // upper case, as the login's ID box takes it
    std::string Period;   // six digits: year, month
    rtl::TDateTime From = 0, To = 0;
    download::TOutputLayout Format = download::TOutputLayout::Standard;
    std::string Output;  // "-" for standard output
};

// Parses the arguments (without the program name). today: the date whose month is the default
// period. Throws UsageError.
Options ParseOptions(const std::vector<std::string>& args, rtl::TDateTime today,
                     const std::string& defaultFolder);

// "standard", "extended1".. in any case, 0 to 3, or a layout's caption ("Extended Format 2").
std::optional<download::TOutputLayout> ParseLayout(const std::string& text);
const char* LayoutCaption(download::TOutputLayout layout);

// The date of a YYYY-MM-DD text; nothing when it is not a calendar date.
std::optional<rtl::TDateTime> ParseDate(const std::string& text);
// YYYY-MM-DD.
std::string IsoDate(rtl::TDateTime date);

extern const char* const kHelp;

}  // namespace veldaexport

#endif
