#include "tools/velda-db/engine_session.h"

#include <strings.h>

#include <array>

#include "ads/engine_text.h"
#include "tools/velda-db/values.h"

namespace veldadb {

namespace {

struct TypeEntry {
    const char* name;
    int code;
};
constexpr std::array<TypeEntry, 17> kTypes{{{"Logical", ADS_LOGICAL},
                                            {"Numeric", ADS_NUMERIC},
                                            {"Date", ADS_DATE},
                                            {"Character", ADS_STRING},
                                            {"Memo", ADS_MEMO},
                                            {"Binary", ADS_BINARY},
                                            {"Image", ADS_IMAGE},
                                            {"VarChar", ADS_VARCHAR},
                                            {"CompactDate", ADS_COMPACTDATE},
                                            {"Double", ADS_DOUBLE},
                                            {"Integer", ADS_INTEGER},
                                            {"ShortInteger", ADS_SHORTINT},
                                            {"Time", ADS_TIME},
                                            {"TimeStamp", ADS_TIMESTAMP},
                                            {"AutoInc", ADS_AUTOINC},
                                            {"Raw", ADS_RAW},
                                            {"CurDouble", ADS_CURDOUBLE}}};

}  // namespace

std::string EngineErrorText() {
    UNSIGNED8 buffer[601];
    UNSIGNED16 len = sizeof buffer;
    UNSIGNED32 code = 0;
    if (AdsGetLastError(&code, buffer, &len) != AE_SUCCESS)
        return "the engine reported an error it cannot describe";
    return std::string(reinterpret_cast<char*>(buffer), len);
}

void Check(UNSIGNED32 result, const std::string& context) {
    if (result != AE_SUCCESS) throw ToolError(context + ": " + EngineErrorText());
}

EngineConnection::EngineConnection(const std::string& folder) {
    Check(AdsConnect(ads::EngineText(folder.empty() ? std::string(".") : folder), &handle_),
          folder.empty() ? "." : folder);
}

EngineConnection::EngineConnection(const std::string& dictionary, const std::string& user,
                                   const std::string& password) {
    // A server path is reached through the remote server type, a folder through the local one.
    UNSIGNED16 type = IsServerPath(dictionary) ? ADS_REMOTE_SERVER : ADS_LOCAL_SERVER;
    Check(AdsConnect60(ads::EngineText(dictionary), type, ads::EngineText(user),
                       ads::EngineText(password), 0, &handle_),
          dictionary);
}

EngineConnection::~EngineConnection() {
    if (handle_) (void)AdsDisconnect(handle_);
}

EngineTransaction::EngineTransaction(const EngineConnection& connection, std::string context)
    : connection_(connection.handle()), context_(std::move(context)) {
    Check(AdsBeginTransaction(connection_), context_);
    open_ = true;
}

EngineTransaction::~EngineTransaction() {
    if (open_) (void)AdsRollbackTransaction(connection_);
}

void EngineTransaction::Commit() {
    open_ = false;
    Check(AdsCommitTransaction(connection_), context_);
}

bool TableExists(const std::string& path) {
    TablePath parts = SplitTablePath(path);
    ADSHANDLE connection = 0;
    if (AdsConnect(ads::EngineText(parts.folder), &connection) != AE_SUCCESS) return false;
    ADSHANDLE table = 0;
    UNSIGNED32 rc =
        AdsOpenTable(connection, ads::EngineText(parts.name), nullptr, ADS_ADT, ADS_ANSI,
                     ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, ADS_READONLY, &table);
    if (rc == AE_SUCCESS) (void)AdsCloseTable(table);
    (void)AdsDisconnect(connection);
    return rc != AE_FILE_NOT_FOUND && rc != AE_PATH_NOT_FOUND;
}

EngineTable::EngineTable(ADSHANDLE connection, const std::string& name, UNSIGNED32 options)
    : name_(name) {
    Check(AdsOpenTable(connection, ads::EngineText(name), nullptr, ADS_ADT, ADS_ANSI,
                       ADS_PROPRIETARY_LOCKING, ADS_CHECKRIGHTS, options, &handle_),
          name);
}

EngineTable::~EngineTable() {
    Close();
}

void EngineTable::Close() {
    if (handle_) (void)AdsCloseTable(handle_);
    handle_ = 0;
}

std::vector<FieldInfo> EngineTable::Fields() const {
    UNSIGNED16 count = 0;
    Check(AdsGetNumFields(handle_, &count), name_);
    std::vector<FieldInfo> fields;
    for (UNSIGNED16 n = 1; n <= count; ++n) {
        FieldInfo f;
        f.number = n;
        UNSIGNED8 buffer[130];
        UNSIGNED16 len = sizeof buffer;
        Check(AdsGetFieldName(handle_, n, buffer, &len), name_);
        f.name.assign(reinterpret_cast<char*>(buffer), len);
        Check(AdsGetFieldType(handle_, ADSFIELD(n), &f.type), name_);
        Check(AdsGetFieldOffset(handle_, ADSFIELD(n), &f.offset), name_);
        Check(AdsGetFieldLength(handle_, ADSFIELD(n), &f.length), name_);
        Check(AdsGetFieldDecimals(handle_, ADSFIELD(n), &f.decimals), name_);
        fields.push_back(f);
    }
    return fields;
}

std::vector<IndexInfo> EngineTable::Indexes() const {
    UNSIGNED16 count = 0;
    Check(AdsGetAllIndexes(handle_, nullptr, &count), name_);
    std::vector<ADSHANDLE> handles(count);
    Check(AdsGetAllIndexes(handle_, handles.data(), &count), name_);
    std::vector<IndexInfo> indexes;
    for (UNSIGNED16 i = 0; i < count; ++i) {
        IndexInfo info;
        UNSIGNED8 buffer[260];
        UNSIGNED16 len = sizeof buffer;
        Check(AdsGetIndexName(handles[i], buffer, &len), name_);
        info.name.assign(reinterpret_cast<char*>(buffer), len);
        UNSIGNED16 segments = 0;
        Check(AdsGetNumSegments(handles[i], &segments), name_);
        for (UNSIGNED16 s = 0; s < segments; ++s) {
            len = sizeof buffer;
            Check(AdsGetSegmentFieldname(handles[i], s, buffer, &len), name_);
            info.segments.emplace_back(reinterpret_cast<char*>(buffer), len);
        }
        UNSIGNED16 flag = 0;
        Check(AdsIsIndexUnique(handles[i], &flag), name_);
        info.unique = flag != 0;
        Check(AdsIsIndexDescending(handles[i], &flag), name_);
        info.descending = flag != 0;
        indexes.push_back(info);
    }
    return indexes;
}

bool EngineTable::Encrypted() const {
    UNSIGNED16 encrypted = 0;
    Check(AdsIsTableEncrypted(handle_, &encrypted), name_);
    return encrypted != 0;
}

void EngineTable::EnablePassword(const std::string& password) {
    Check(AdsEnableEncryption(handle_, ads::EngineText(password)), name_);
}

void EngineTable::AppendRow(const std::vector<const FieldInfo*>& columns,
                            const std::vector<FieldValue>& values, const std::string& where) {
    Check(AdsAppendRecord(handle_), where);
    auto fail = [&](const std::string& context) {
        // The row is cancelled below, so the engine's note that the change is still pending
        // does not hold here.
        std::string text = EngineErrorText();
        const std::string pending = " The change is still pending.";
        if (text.size() >= pending.size() &&
            text.compare(text.size() - pending.size(), pending.size(), pending) == 0)
            text.resize(text.size() - pending.size());
        (void)AdsCancelUpdate(handle_);
        throw ToolError(context + ": " + text);
    };
    for (size_t c = 0; c < columns.size(); ++c) {
        const FieldValue& v = values[c];
        UNSIGNED8* field = ADSFIELD(columns[c]->number);
        UNSIGNED8* bytes = ads::EngineText(v.bytes);
        auto size = static_cast<UNSIGNED32>(v.bytes.size());
        UNSIGNED32 result = AE_SUCCESS;
        switch (v.kind) {
            case FieldValue::Kind::Empty:
                result = AdsSetEmpty(handle_, field);
                break;
            case FieldValue::Kind::Text:
                result = AdsSetField(handle_, field, bytes, size);
                break;
            case FieldValue::Kind::Raw:
                result = AdsSetFieldRaw(handle_, field, bytes, size);
                break;
            case FieldValue::Kind::Skip:
                break;
        }
        if (result != AE_SUCCESS) fail(where + ", column " + columns[c]->name);
    }
    if (AdsWriteRecord(handle_) != AE_SUCCESS) fail(where);
}

int TypeCodeFromName(const std::string& name) {
    for (const auto& t : kTypes)
        if (strcasecmp(t.name, name.c_str()) == 0) return t.code;
    return 0;
}

std::string TypeName(UNSIGNED16 code) {
    for (const auto& t : kTypes)
        if (t.code == code) return t.name;
    return "Unknown(" + std::to_string(code) + ")";
}

}  // namespace veldadb
