#include "app/core/startup.h"

#include "rtl/inifiles.h"
#include "rtl/serverpath.h"

namespace app {

StartupConfiguration ReadStartupConfiguration(const std::string& programFolder) {
    StartupConfiguration configuration;
    configuration.ProgramFolder = programFolder;
    rtl::TIniFile ini(programFolder + kStartupFileName);
    configuration.DictionarySetting = ini.ReadString("PATH", "DICTIONARY", "");
    const std::string dir = ini.ReadString("PATH", "DIR", "");
    configuration.MasterFolder = dir.empty() ? programFolder : dir;
    return configuration;
}

std::string StartupConfiguration::CompaniesFolder() const {
    return rtl::IsServerPath(MasterFolder) ? MasterFolder : ProgramFolder;
}

std::string CompanyConnectPath(const StartupConfiguration& configuration,
                               const std::string& companyCode) {
    std::string name = "COMPANY\\" + companyCode;
    if (configuration.UsesDictionaries()) name += "\\" + companyCode + ".ADD";
    return rtl::JoinDatabasePath(configuration.CompaniesFolder(), name);
}

}  // namespace app
