// The tool's hold on the engine: connections and open tables as RAII objects, and every
// failed engine call turned into a ToolError carrying the engine's text.
#ifndef VELDA_TOOLS_ENGINE_SESSION_H
#define VELDA_TOOLS_ENGINE_SESSION_H

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/ace.h"
#include "tools/velda-db/paths.h"

namespace veldadb {

// A failure the tool reports as one line on standard error.
class ToolError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The engine's last error text ("Error 6004: ...").
std::string EngineErrorText();
// Throws ToolError with context + ": " + the engine's text when result is not 0.
void Check(UNSIGNED32 result, const std::string& context);

class EngineConnection {
  public:
    // A connection to a folder, local or on a server.
    explicit EngineConnection(const std::string& folder);
    // A dictionary connection with a user and password.
    EngineConnection(const std::string& dictionary, const std::string& user,
                     const std::string& password);
    ~EngineConnection();
    EngineConnection(const EngineConnection&) = delete;
    EngineConnection& operator=(const EngineConnection&) = delete;
    ADSHANDLE handle() const { return handle_; }

  private:
    ADSHANDLE handle_ = 0;
};

// An engine transaction on a connection: what is done through the connection's tables until
// Commit is kept together or not at all; it is rolled back unless committed.
class EngineTransaction {
  public:
    EngineTransaction(const EngineConnection& connection, std::string context);
    ~EngineTransaction();
    EngineTransaction(const EngineTransaction&) = delete;
    EngineTransaction& operator=(const EngineTransaction&) = delete;
    void Commit();

  private:
    ADSHANDLE connection_;
    std::string context_;
    bool open_ = false;
};

struct FieldValue;

struct FieldInfo {
    std::string name;
    UNSIGNED16 number = 0;
    UNSIGNED16 type = 0;
    UNSIGNED32 offset = 0;
    UNSIGNED32 length = 0;
    UNSIGNED16 decimals = 0;
};

struct IndexInfo {
    std::string name;
    std::vector<std::string> segments;
    bool unique = false;
    bool descending = false;
};

class EngineTable {
  public:
    EngineTable(ADSHANDLE connection, const std::string& name, UNSIGNED32 options);
    // Adopts a handle the engine returned (AdsCreateTable).
    explicit EngineTable(ADSHANDLE handle, std::string name)
        : handle_(handle), name_(std::move(name)) {}
    ~EngineTable();
    EngineTable(const EngineTable&) = delete;
    EngineTable& operator=(const EngineTable&) = delete;

    ADSHANDLE handle() const { return handle_; }
    const std::string& name() const { return name_; }
    std::vector<FieldInfo> Fields() const;
    std::vector<IndexInfo> Indexes() const;
    bool Encrypted() const;
    // Gives the table password; a wrong one is a ToolError.
    void EnablePassword(const std::string& password);
    void Close();

    // Appends one row: each column's value into its field, then one write. On failure the
    // pending row is cancelled and a ToolError names where.
    void AppendRow(const std::vector<const FieldInfo*>& columns,
                   const std::vector<FieldValue>& values, const std::string& where);

  private:
    ADSHANDLE handle_ = 0;
    std::string name_;
};

// Whether a table of that name is at the path (a local or server path), as the engine finds it:
// false only when the engine says the table or its folder does not exist.
bool TableExists(const std::string& path);

// Engine type name <-> code ("Character" <-> ADS_STRING); names compare without regard to case.
int TypeCodeFromName(const std::string& name);  // 0 when unknown
std::string TypeName(UNSIGNED16 code);

}  // namespace veldadb

#endif
