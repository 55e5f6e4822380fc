// The table component: a dataset that opens one engine table by name through a connection.
#ifndef VELDA_ADS_ADSTABLE_H
#define VELDA_ADS_ADSTABLE_H

#include <string>
#include <vector>

#include "ads/adsdata.h"
#include "db/datasource.h"
#include "db/params.h"
#include "rtl/busycursor.h"
#include "rtl/stringlist.h"

namespace ads {

class TAdsExtendedDataSet : public TAdsDataSet {
  public:
    using TAdsDataSet::TAdsDataSet;
};

class TAdsExtendedTable : public TAdsExtendedDataSet {
  public:
    using TAdsExtendedDataSet::TAdsExtendedDataSet;
};

// Extra index files opened with the table: a sorted list of names without duplicates.
class TAdsIndexFiles {
  public:
    explicit TAdsIndexFiles(class TAdsTable* table) : table_(table) {}
    int Count() const { return static_cast<int>(names_.size()); }
    const std::string& Strings(int i) const { return names_.at(static_cast<size_t>(i)); }
    void Add(const std::string& name);
    void Delete(int index);
    void Clear();
    const std::vector<std::string>& Names() const { return names_; }

  private:
    TAdsTable* table_;
    std::vector<std::string> names_;
};

class TAdsTable : public TAdsExtendedTable {
  public:
    explicit TAdsTable(rtl::TComponent* owner = nullptr);
    ~TAdsTable() override;

    void SetTableName(const std::string& value) override;
    TAdsIndexFiles& IndexFiles() { return indexFiles_; }
    bool StoreDefs() const { return storeDefs_; }
    void SetStoreDefs(bool value) { storeDefs_ = value; }

    // The dictionary's default index tag for this table (called after a dictionary connects).
    void RefreshDefaultIndex() override;
    // The last auto-increment value the engine gave on this table.
    UNSIGNED32 LastAutoInc();

  protected:
    ADSHANDLE OpenCursorHandle() override;

  private:
    friend class TAdsIndexFiles;
    void openIndexFile(const std::string& name);
    void closeIndexFile(const std::string& name);

    TAdsIndexFiles indexFiles_{this};
    bool storeDefs_ = false;
};

class TAdsQuery;

// The SQL text of a query: lines of text; every change to them runs the query's SqlTextChanged
// (replacing all lines at once runs it once, even with the same text).
class TAdsQueryLines {
  public:
    explicit TAdsQueryLines(TAdsQuery* query) : query_(query) {}
    int Count() const { return lines_.Count(); }
    const std::string& Strings(int index) const { return lines_.Strings(index); }
    void SetStrings(int index, const std::string& line);
    int Add(const std::string& line);
    void Insert(int index, const std::string& line);
    void Delete(int index);
    void Clear();
    // The lines joined, each ended by CR LF; and all lines replaced from such a text.
    std::string Text() const { return lines_.Text(); }
    void SetText(const std::string& text);
    void Assign(const rtl::TStringList& lines);
    const rtl::TStringList& Lines() const { return lines_; }

  private:
    void changed();
    TAdsQuery* query_;
    rtl::TStringList lines_;
};

// Ties a query to a master data source: the query's parameters take the master's field values,
// and the query runs again when the master opens, closes or moves to another row.
class TAdsQueryDataLink : public db::TDataLink {
  public:
    explicit TAdsQueryDataLink(TAdsQuery* query) : query_(query) {}

  protected:
    void ActiveChanged() override;
    void RecordChanged(db::TField* field) override;
    void CheckBrowseMode() override;

  private:
    void rerun();
    TAdsQuery* query_;
};

// A dataset whose cursor comes from an SQL statement that the engine prepares and executes on
// the query's connection.
//
// The engine statement is made on first need (a password operation or the first open) and lives
// across any number of closes and opens; each open gives the statement its options again,
// prepares the current text, binds the parameters (in the order of Params, to engine parameters
// 1, 2, 3 ...) and executes. It ends by DropStatement (also after an engine failure whose text
// contains "7209", so that the next attempt builds a fresh one), by the connection closing
// (ReleaseConnectionHandles), by a change of DatabaseName while a path connection is held, or by
// destruction. Failures are EADSDatabaseError: the engine's, or code 5121 for the query's own
// checks. A failure anywhere while running leaves the query closed.
class TAdsQuery : public TAdsExtendedDataSet {
  public:
    explicit TAdsQuery(rtl::TComponent* owner = nullptr);
    ~TAdsQuery() override;

    TAdsQueryLines& SQL() { return sql_; }
    // Replaces the text as a whole; nothing happens when it is the current text, otherwise the
    // query closes and the lines are replaced (SqlTextChanged runs once).
    void SetSQL(const rtl::TStringList& lines);
    void SetSQLText(const std::string& text);
    db::TParams& Params() { return params_; }
    db::TParam& ParamByName(const std::string& name) { return params_.ParamByName(name); }
    bool ParamCheck() const { return paramCheck_; }
    void SetParamCheck(bool value) { paramCheck_ = value; }
    bool RequestLive() const { return requestLive_; }
    void SetRequestLive(bool value) { requestLive_ = value; }
    bool ReadAllColumns() const { return readAllColumns_; }
    void SetReadAllColumns(bool value) { readAllColumns_ = value; }
    bool Constrained() const { return constrained_; }
    void SetConstrained(bool value) { constrained_ = value; }
    TAdsTableTypes SourceTableType() const { return TableType(); }
    void SetSourceTableType(TAdsTableTypes value) { SetTableType(value); }
    db::TDataSource* DataSource() const { return link_.DataSource(); }
    void SetDataSource(db::TDataSource* source);
    rtl::TCursor WaitCursor() const { return waitCursor_; }
    void SetWaitCursor(rtl::TCursor value) { waitCursor_ = value; }
    // Extra index files opened on the cursor, relative to the data path.
    std::vector<std::string>& IndexFiles() { return indexFiles_; }
    // The "Data" block stored with a form: kept unchanged, dropped when the text changes.
    const std::string& Data() const { return data_; }
    void SetData(const std::string& bytes) { data_ = bytes; }

    ADSHANDLE StatementHandle() const { return statement_; }
    ADSHANDLE PathConnectionHandle() const { return pathConnection_; }

    // Runs the statement; a cursor it returns is closed at once.
    void ExecSQL();
    // A live statement handle on the query.
    void EnsureStatement();
    // The cursor handle, or kClosedHandle when the statement gave none.
    ADSHANDLE RunStatement();
    // Closes and forgets the statement; refused while the cursor is open.
    void DropStatement();
    void EnableStatementEncryption(const std::string& password);
    void SetStatementTablePassword(const std::string& table, const std::string& password);
    // After every change of the SQL lines.
    void SqlTextChanged();
    UNSIGNED32 LastAutoInc();

    void SetDatabaseName(const std::string& value) override;
    void SetTableType(TAdsTableTypes value) override;
    void ReleaseConnectionHandles() override;
    int32_t CurrentRecordNumber() override;

  protected:
    ADSHANDLE OpenCursorHandle() override;

  private:
    friend class TAdsQueryDataLink;
    void applyOptions();
    void fillParamsFromMaster();
    void bindParams();
    void closeStatement(bool acceptInvalid);

    TAdsQueryLines sql_{this};
    db::TParams params_;
    bool paramCheck_ = true;
    bool requestLive_ = false;
    bool readAllColumns_ = false;
    bool constrained_ = false;
    rtl::TCursor waitCursor_ = rtl::crDefault;
    TAdsQueryDataLink link_{this};
    std::vector<std::string> indexFiles_;
    std::string data_;
    ADSHANDLE statement_ = kClosedHandle;
    ADSHANDLE pathConnection_ = kClosedHandle;
};

}  // namespace ads

#endif
