// The program folder's startup configuration and where the company databases lie, without a
// window: the company form and velda-export find the master table and a company's database the
// same way through these.
//
// "VELDA.ini" in the program folder, section "PATH": "DICTIONARY" exactly "YES" makes every
// company a data dictionary, anything else a folder of free tables; a non-empty "DIR" moves the
// company master table there. A missing file or key gives the default. The company databases lie
// under the program folder's "COMPANY" folder, also when "DIR" names another folder; when "DIR"
// names a database on a server (rtl/serverpath.h), the company list and the companies both lie
// there, under its "COMPANY" folder, since nothing of a server can be found in the program
// folder.
#ifndef VELDA_APP_CORE_STARTUP_H
#define VELDA_APP_CORE_STARTUP_H

#include <string>

namespace app {

inline constexpr const char* kStartupFileName = "VELDA.ini";

struct StartupConfiguration {
    std::string ProgramFolder;      // ends in a path separator
    std::string DictionarySetting;  // "DICTIONARY" as read
    std::string MasterFolder;       // "DIR" when not empty, else ProgramFolder

    // The folder the "COMPANY" folder lies in: MasterFolder when it is a server path, else
    // ProgramFolder.
    std::string CompaniesFolder() const;

    bool UsesDictionaries() const { return DictionarySetting == "YES"; }
};

// Reads programFolder + "VELDA.ini". REQUIRES: programFolder ends in a path separator.
StartupConfiguration ReadStartupConfiguration(const std::string& programFolder);

// The connect path of a company: its folder of free tables, or its dictionary file:
// CompaniesFolder() + "COMPANY\" + code [+ "\" + code + ".ADD"], the name going before a server
// path's parameters.
std::string CompanyConnectPath(const StartupConfiguration& configuration,
                               const std::string& companyCode);

}  // namespace app

#endif
