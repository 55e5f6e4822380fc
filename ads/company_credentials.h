// The fixed credentials of every company database: the table password of encrypted free tables
// and the user the program logs in to a company's data dictionary with. The program, the tools
// that build and read company folders, and the benchmarks all take them from here.
#ifndef VELDA_ADS_COMPANY_CREDENTIALS_H
#define VELDA_ADS_COMPANY_CREDENTIALS_H

namespace ads {

// The password of every encrypted free table of a company.
inline constexpr const char* kTablePassword = "KORVA4816";
// The data dictionary user and password of a company kept in a dictionary.
inline constexpr const char* kDictionaryUser = "ORBELNAX4";
inline constexpr const char* kDictionaryPassword = "KWENDOLARIX";

}  // namespace ads

#endif
