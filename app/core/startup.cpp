#include "app/core/startup.h"

#include "rtl/inifiles.h"

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

std::string CompanyConnectPath(const StartupConfiguration& configuration,
                               const std::string& companyCode) {
    const std::string folder = configuration.ProgramFolder + "COMPANY\\" + companyCode;
    if (configuration.UsesDictionaries()) return folder + "\\" + companyCode + ".ADD";
    return folder;
}

}  // namespace app
