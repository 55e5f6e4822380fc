// The query component: TAdsQuery, its SQL lines and its master link.
#include <cmath>
#include <cstring>
#include <limits>

#include "rtl/exception.h"

#include "ads/adscnnct.h"
#include "ads/adstable.h"

namespace ads {

namespace {

UNSIGNED8* textArg(const std::string& s) {
    return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s.c_str()));
}

constexpr const char* kNoDatabaseNameMessage =
    "The DatabaseName property has not been assigned a value.";
constexpr const char* kNoCursorMessage =
    "The SQL statement did not generate a cursor handle.  Use TAdsQuery.ExecSQL to execute SQL "
    "statements that are not SELECT statements";
constexpr const char* kNoNtxMessage = "The TAdsQuery component does not support the NTX table type";

// The engine's Julian day number of a date-time number: whole days since 30 December 1899 plus
// 2415019.
SIGNED32 julianDay(double dateTime) {
    double day = std::trunc(dateTime) + 2415019.0;
    if (day < std::numeric_limits<SIGNED32>::min() || day > std::numeric_limits<SIGNED32>::max())
        throw rtl::Exception("Range check error");
    return static_cast<SIGNED32>(day);
}

SIGNED32 millisecondsOfDay(double dateTime) {
    double fraction = std::fabs(dateTime - std::trunc(dateTime));
    return static_cast<SIGNED32>(fraction * 86400000.0);
}

// Puts the screen cursor back when the scope ends.
class WaitCursorScope {
  public:
    explicit WaitCursorScope(rtl::TCursor cursor) : saved_(rtl::ScreenCursor()) {
        rtl::SetScreenCursor(cursor);
    }
    ~WaitCursorScope() { rtl::SetScreenCursor(saved_); }
    WaitCursorScope(const WaitCursorScope&) = delete;
    WaitCursorScope& operator=(const WaitCursorScope&) = delete;

  private:
    rtl::TCursor saved_;
};

}  // namespace

// ---- the SQL lines ------------------------------------------------------------------------------

void TAdsQueryLines::changed() {
    query_->SqlTextChanged();
}

void TAdsQueryLines::SetStrings(int index, const std::string& line) {
    lines_.SetStrings(index, line);
    changed();
}

int TAdsQueryLines::Add(const std::string& line) {
    int index = lines_.Add(line);
    changed();
    return index;
}

void TAdsQueryLines::Insert(int index, const std::string& line) {
    lines_.Insert(index, line);
    changed();
}

void TAdsQueryLines::Delete(int index) {
    lines_.Delete(index);
    changed();
}

void TAdsQueryLines::Clear() {
    lines_.Clear();
    changed();
}

void TAdsQueryLines::SetText(const std::string& text) {
    lines_.SetText(text);
    changed();
}

void TAdsQueryLines::Assign(const rtl::TStringList& lines) {
    lines_ = lines;
    changed();
}

// ---- the master link ----------------------------------------------------------------------------

void TAdsQueryDataLink::rerun() {
    db::TDataSet* master = DataSet();
    if (!query_->Active() || !master || !master->Active() || master->State() == db::dsSetKey)
        return;
    query_->DisableControls();
    struct Enable {
        TAdsQuery* q;
        ~Enable() { q->EnableControls(); }
    } enable{query_};
    query_->Close();
    query_->Open();
}

void TAdsQueryDataLink::ActiveChanged() {
    rerun();
}

void TAdsQueryDataLink::RecordChanged(db::TField* field) {
    if (field == nullptr) rerun();
}

void TAdsQueryDataLink::CheckBrowseMode() {
    if (query_->Active()) query_->CheckBrowseMode();
}

// ---- the query ----------------------------------------------------------------------------------

TAdsQuery::TAdsQuery(rtl::TComponent* owner) : TAdsExtendedDataSet(owner) {}

TAdsQuery::~TAdsQuery() {
    link_.SetDataSource(nullptr);
    bool connected = AdsConnection() && AdsConnection()->IsConnected();
    ADSHANDLE statement = statement_;
    ADSHANDLE path = pathConnection_;
    try {
        Destroying();
    } catch (...) {
    }
    if (statement != kClosedHandle && (connected || (path != kClosedHandle && path > 0)))
        (void)AdsCloseSQLStatement(statement);  // AE_INVALID_STATEMENT accepted: nothing to close
}

void TAdsQuery::SetSQL(const rtl::TStringList& lines) {
    if (lines.Text() == sql_.Text()) return;
    Close();
    sql_.Assign(lines);
}

void TAdsQuery::SetSQLText(const std::string& text) {
    rtl::TStringList lines;
    lines.SetText(text);
    SetSQL(lines);
}

void TAdsQuery::SqlTextChanged() {
    Check(AdsGetSQLStmtParams(textArg(sql_.Text())));
    if (Loading()) return;
    Close();
    data_.clear();
    if (paramCheck_) {
        db::TParams fresh;
        fresh.ParseSQL(sql_.Text(), true);
        fresh.AssignValues(params_);
        params_ = fresh;
    }
    DataEvent(db::dePropertyChange);
}

void TAdsQuery::SetDataSource(db::TDataSource* source) {
    if (source && source->IsLinkedTo(this)) RaiseLayerError("Circular Data Link");
    link_.SetDataSource(source);
}

void TAdsQuery::EnsureStatement() {
    if (statement_ != kClosedHandle) {
        UNSIGNED16 kind = 0;
        if (AdsGetHandleType(statement_, &kind) == AE_SUCCESS && kind == ADS_STATEMENT) return;
    }
    statement_ = kClosedHandle;
    if (DatabaseName().empty()) RaiseLayerError(kNoDatabaseNameMessage);
    ADSHANDLE connection = 0;
    bool chosen = false;
    if (pathConnection_ == kClosedHandle && AdsConnection()) {
        if (!AdsConnection()->IsConnected()) AdsConnection()->Connect();
        connection = AdsConnection()->ConnectionHandle();
        chosen = true;
    } else if (pathConnection_ == kClosedHandle) {
        std::string path = ResolveDataPath();
        if (path.size() < 3) path += "\\";
        connection = DynamicConnections().FindConnection(path);
        if (connection == 0) connection = DynamicConnections().AddConnection(path);
        pathConnection_ = connection;
        chosen = true;
    }
    if (!chosen || connection == 0) RaiseLayerError(kNoConnectionHandleMessage);
    ADSHANDLE statement = 0;
    Check(AdsCreateSQLStatement(connection, &statement));
    statement_ = statement;
}

void TAdsQuery::applyOptions() {
    const TAdsTableOptions& options = AdsTableOptions();
    Check(AdsStmtSetTableLockType(statement_, options.AdsLockType() == Proprietary
                                                  ? ADS_PROPRIETARY_LOCKING
                                                  : ADS_COMPATIBLE_LOCKING));
    Check(AdsStmtSetTableCharType(statement_, options.AdsCharType() == ANSI ? ADS_ANSI : ADS_OEM));
    Check(AdsStmtSetTableRights(statement_,
                                options.AdsRightsCheck() ? ADS_CHECKRIGHTS : ADS_IGNORERIGHTS));
    Check(AdsStmtSetTableReadOnly(statement_, requestLive_ ? 2 : 1));
    if (AdsConnection() && AdsConnection()->ReadOnly())
        Check(AdsStmtSetTableReadOnly(statement_, 1));
    UNSIGNED16 type = TableType() == ttAdsADT   ? ADS_ADT
                      : TableType() == ttAdsCDX ? ADS_CDX
                                                : ADS_NTX;
    Check(AdsStmtSetTableType(statement_, type));
    Check(AdsStmtConstrainUpdates(statement_, constrained_ ? 1 : 2));
    Check(AdsStmtReadAllColumns(statement_, readAllColumns_ ? 1 : 2));
}

void TAdsQuery::fillParamsFromMaster() {
    db::TDataSet* master = link_.DataSet();
    if (!master) return;
    master->UpdateFieldDefs();
    for (int i = 0; i < params_.Count(); ++i) {
        db::TParam& param = params_.Items(i);
        if (param.Bound()) continue;
        param.AssignField(*master->FieldByName(param.Name()));
        // Still taken from the master at the next run, whatever row it is on then.
        param.SetBound(false);
    }
}

void TAdsQuery::bindParams() {
    for (int i = 0; i < params_.Count(); ++i) {
        const db::TParam& param = params_.Items(i);
        UNSIGNED8* number = ADSFIELD(i + 1);
        if (param.IsNull()) {
            Check(AdsSetEmpty(statement_, number));
            continue;
        }
        switch (param.DataType()) {
            case db::ftUnknown:
                RaiseLayerError("The field named: '" + param.Name() +
                                "' has the DataType of ftUnknown, which is invalid.");
            case db::ftString:
            case db::ftSmallint:
            case db::ftInteger:
            case db::ftWord:
            case db::ftBCD:
            case db::ftAutoInc:
            case db::ftMemo:
            case db::ftFmtMemo:
            case db::ftFixedChar:
            case db::ftLargeint: {
                std::string text = param.AsString();
                Check(AdsSetString(statement_, number, textArg(text),
                                   static_cast<UNSIGNED32>(text.size())));
                break;
            }
            case db::ftBoolean:
                Check(AdsSetLogical(statement_, number, param.AsBoolean() ? 1 : 0));
                break;
            case db::ftFloat:
            case db::ftCurrency:
                Check(AdsSetDouble(statement_, number, param.AsFloat()));
                break;
            case db::ftDate:
                Check(AdsSetJulian(statement_, number, julianDay(param.AsDateTime())));
                break;
            case db::ftTime:
                Check(
                    AdsSetMilliseconds(statement_, number, millisecondsOfDay(param.AsDateTime())));
                break;
            case db::ftDateTime: {
                SIGNED32 raw[2] = {julianDay(param.AsDateTime()),
                                   millisecondsOfDay(param.AsDateTime())};
                UNSIGNED8 bytes[8];
                std::memcpy(bytes, raw, sizeof bytes);
                Check(AdsSetTimeStampRaw(statement_, number, bytes, 8));
                break;
            }
            case db::ftBytes:
            case db::ftVarBytes:
            case db::ftBlob:
            case db::ftGraphic: {
                std::string copy = param.AsBytes();
                std::vector<UNSIGNED8> bytes(copy.begin(), copy.end());
                auto length = static_cast<UNSIGNED32>(bytes.size());
                Check(
                    AdsSetBinary(statement_, number, ADS_BINARY, length, 0, bytes.data(), length));
                break;
            }
            case db::ftParadoxOle:
            case db::ftDBaseOle:
            case db::ftTypedBinary:
            case db::ftCursor:
            case db::ftWideString:
            case db::ftADT:
            case db::ftArray:
            case db::ftReference:
            case db::ftDataSet:
                RaiseLayerError("The field named: '" + param.Name() +
                                "' has a DataType that is not supported.");
        }
    }
}

ADSHANDLE TAdsQuery::RunStatement() {
    CheckInactive();
    EnsureStatement();
    applyOptions();
    Check(AdsPrepareSQL(statement_, textArg(sql_.Text())));
    if (link_.DataSource()) fillParamsFromMaster();
    bindParams();
    ADSHANDLE cursor = 0;
    try {
        Check(AdsExecuteSQL(statement_, &cursor));
    } catch (const EADSDatabaseError& error) {
        if (std::string(error.what()).find("7209") != std::string::npos) DropStatement();
        throw;
    }
    if (cursor == 0) return kClosedHandle;
    try {
        UNSIGNED32 options = 0;
        Check(AdsGetTableOpenOptions(cursor, &options));
        SetReadOnly((options & ADS_READONLY) != 0);
        UNSIGNED32 count = 0;
        UNSIGNED32 rc = AdsGetRecordCount(statement_, ADS_IGNOREFILTERS, &count);
        if (rc != AE_NO_RECORD_COUNT) Check(rc);
    } catch (...) {
        (void)AdsCloseTable(cursor);
        throw;
    }
    return cursor;
}

ADSHANDLE TAdsQuery::OpenCursorHandle() {
    WaitCursorScope wait(waitCursor_);
    ADSHANDLE cursor = RunStatement();
    if (cursor == kClosedHandle) RaiseLayerError(kNoCursorMessage);
    try {
        for (const std::string& file : indexFiles_) {
            ADSHANDLE indexes[50];
            UNSIGNED16 count = 50;
            Check(AdsOpenIndex(cursor, textArg(ResolveDataPath() + "\\" + file), indexes, &count));
        }
    } catch (...) {
        (void)AdsCloseTable(cursor);
        throw;
    }
    return cursor;
}

void TAdsQuery::ExecSQL() {
    ADSHANDLE cursor = kClosedHandle;
    {
        WaitCursorScope wait(waitCursor_);
        cursor = RunStatement();
    }
    if (cursor != kClosedHandle) Check(AdsCloseTable(cursor));
}

void TAdsQuery::closeStatement(bool acceptInvalid) {
    if (statement_ != kClosedHandle) {
        UNSIGNED32 rc = AdsCloseSQLStatement(statement_);
        if (!(acceptInvalid && rc == AE_INVALID_STATEMENT)) Check(rc);
    }
    statement_ = kClosedHandle;
    pathConnection_ = kClosedHandle;
}

void TAdsQuery::DropStatement() {
    if (IsCursorOpen()) RaiseLayerError(kOpenDataSetMessage);
    closeStatement(true);
}

void TAdsQuery::ReleaseConnectionHandles() {
    statement_ = kClosedHandle;
    pathConnection_ = kClosedHandle;
}

void TAdsQuery::SetDatabaseName(const std::string& value) {
    if (IsActive()) RaiseLayerError(kOpenDataSetMessage);
    bool changed = value != DatabaseName();
    SetAdsConnection(nullptr);
    TAdsExtendedDataSet::SetDatabaseName(value);
    if (changed && pathConnection_ != kClosedHandle) closeStatement(false);
}

void TAdsQuery::SetTableType(TAdsTableTypes value) {
    if (value == ttAdsNTX && (!AdsConnection() || !AdsConnection()->UsesDictionary()))
        RaiseLayerError(kNoNtxMessage);
    TAdsExtendedDataSet::SetTableType(value);
}

void TAdsQuery::EnableStatementEncryption(const std::string& password) {
    EnsureStatement();
    Check(AdsStmtEnableEncryption(statement_, textArg(password)));
}

void TAdsQuery::SetStatementTablePassword(const std::string& table, const std::string& password) {
    EnsureStatement();
    Check(AdsStmtSetTablePassword(statement_, textArg(table), textArg(password)));
}

int32_t TAdsQuery::CurrentRecordNumber() {
    ADSHANDLE order = 0;
    bool hasOrder = !IndexName().empty() &&
                    AdsGetIndexHandle(TableHandle(), textArg(IndexName()), &order) == AE_SUCCESS;
    if (!Sequenced() || !hasOrder) {
        UNSIGNED32 recno = 0;
        Check(AdsGetRecordNum(TableHandle(), ADS_IGNOREFILTERS, &recno));
        return static_cast<int32_t>(recno);
    }
    UNSIGNED32 count = 0;
    Check(AdsGetRecordCount(TableHandle(), ADS_IGNOREFILTERS, &count));
    DOUBLE position = 0;
    UNSIGNED32 rc = AdsGetRelKeyPos(order, &position);
    if (rc == AE_NO_KEY_POSITION)
        position = 0;
    else
        Check(rc);
    return static_cast<int32_t>(std::lround(count * position));
}

UNSIGNED32 TAdsQuery::LastAutoInc() {
    UNSIGNED32 value = 0;
    EnsureStatement();
    Check(AdsGetLastAutoinc(statement_, &value));
    if (static_cast<int32_t>(value) < 0) RaiseLayerError("Range check error");
    return value;
}

}  // namespace ads
