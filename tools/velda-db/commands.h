// The commands of velda-db. Each returns the process exit code and reports failures as one
// line on standard error.
#ifndef VELDA_TOOLS_COMMANDS_H
#define VELDA_TOOLS_COMMANDS_H

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "engine/ace.h"

namespace veldadb {

using Args = std::vector<std::string>;

int RunCommand(const Args& args, std::ostream& out, std::ostream& err);

// Commands by name (args exclude the command word).
int Create(const Args& args, std::ostream& out);
int Import(const Args& args, std::ostream& out);
int Export(const Args& args, std::ostream& out);
int Sql(const Args& args, std::ostream& out);
extern const char* const kSqlHelp;
int Describe(const Args& args, std::ostream& out);
int Encrypt(const Args& args, std::ostream& out, bool encrypt);
int Dictionary(const Args& args, std::ostream& out);
int Demo(const Args& args, std::ostream& out);
// Progress goes to err, and only when standard error is a terminal.
int Copy(const Args& args, std::ostream& out, std::ostream& err);

// Options parsing shared by the commands.
class Options {
  public:
    // Splits args into positional words and --name value pairs; flags take no value. An option
    // given twice is an error unless it is one of the repeatable ones, which build a list.
    Options(const Args& args, const std::vector<std::string>& valued,
            const std::vector<std::string>& flags, const std::vector<std::string>& repeatable = {});
    const std::vector<std::string>& positional() const { return positional_; }
    bool has(const std::string& name) const;
    std::string value(const std::string& name, const std::string& fallback = "") const;
    std::vector<std::string> values(const std::string& name) const;
    bool help() const { return help_; }

  private:
    std::vector<std::string> positional_;
    std::vector<std::pair<std::string, std::string>> named_;
    bool help_ = false;
};

// Creates the folder and any missing parents with mode 0770 (less the umask): company folders
// hold payroll data and must not be open to everyone.
void MakePrivateFolders(const std::filesystem::path& folder);

// The table passwords a command was given, in order: each --password PW, each --password -
// read as the next line of standard input; without the option VELDA_DB_PASSWORD when it is set.
// A variable set but empty is a ToolError.
std::vector<std::string> TablePasswords(const Options& options);

// A secret from the environment variable (none when it is ""), else the next line of standard
// input, asked for without echo on a terminal; never from the command line. A variable set but
// empty, and no line to read, are ToolErrors.
std::string ReadSecret(const char* variable, const std::string& what);

// The table's rows in the order of `order` (the table's handle or one of its index handles) as
// CSV: a header of the field names, then one record per row, every value as export writes it.
// The whole text is made before it is returned, so a failure gives nothing to print.
class EngineTable;
std::string RowsAsCsv(const EngineTable& table, ADSHANDLE order, const std::string& path);

// The hint every refusal of an encrypted table without its password ends with.
std::string TablePasswordHint();

}  // namespace veldadb

#endif
