#include "engine/postgres/session.h"

#include <libpq-fe.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/last_error.h"
#include "engine/record_image.h"
#include "engine/server_path.h"

namespace engine::postgres {

namespace {

// Type identifiers of the server's built-in types (pg_type.oid), fixed across versions.
constexpr unsigned kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat4 = 700,
                   kFloat8 = 701, kNumeric = 1700;

// libpq prints a server's notices to standard error unless told otherwise; the engine prints
// nothing.
void ignoreNotice(void*, const char*) {}

// The first line of libpq's message, or a word for its absence.
std::string firstLine(const char* message) {
    std::string text = message ? message : "";
    text = text.substr(0, text.find('\n'));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
    return text.empty() ? std::string("libpq gave no reason") : text;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

// A text that ends in the byte 0xFF, which a key range puts after a prefix so that it sorts
// after every text beginning with it, is no UTF-8; the highest character does the same there.
std::string serverText(const std::string& bytes) {
    if (bytes.empty() || static_cast<unsigned char>(bytes.back()) != 0xFF) return bytes;
    return bytes.substr(0, bytes.size() - 1) + "\xF4\x8F\xBF\xBF";
}

}  // namespace

void Result::Clear::operator()(pg_result* result) const {
    PQclear(result);
}

bool Result::ok() const {
    if (!result_) return false;
    ExecStatusType status = PQresultStatus(result_.get());
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

int Result::rows() const {
    return result_ ? PQntuples(result_.get()) : 0;
}

bool Result::isNull(int row, int column) const {
    return PQgetisnull(result_.get(), row, column) != 0;
}

const char* Result::text(int row, int column) const {
    return PQgetvalue(result_.get(), row, column);
}

int Result::length(int row, int column) const {
    return PQgetlength(result_.get(), row, column);
}

int64_t Result::integer(int row, int column) const {
    return std::strtoll(text(row, column), nullptr, 10);
}

Value Result::value(int row, int column) const {
    if (isNull(row, column)) return Value{};
    const char* t = text(row, column);
    switch (PQftype(result_.get(), column)) {
        case kBool:
            return Value::ofInteger(t[0] == 't' ? 1 : 0);
        case kInt2:
        case kInt4:
        case kInt8:
            return Value::ofInteger(std::strtoll(t, nullptr, 10));
        case kFloat4:
        case kFloat8:
        case kNumeric:
            return Value::ofReal(std::strtod(t, nullptr));
        case kBytea: {
            // Text output of a byte string: "\x" and two hexadecimal digits a byte.
            std::string bytes;
            int size = length(row, column);
            if (size >= 2 && t[0] == '\\' && t[1] == 'x') {
                bytes.reserve(static_cast<size_t>(size - 2) / 2);
                for (int i = 2; i + 1 < size; i += 2)
                    bytes.push_back(static_cast<char>(hexDigit(t[i]) * 16 + hexDigit(t[i + 1])));
            }
            return Value::ofBlob(std::move(bytes));
        }
        default:
            return Value::ofText(std::string(t, static_cast<size_t>(length(row, column))));
    }
}

std::string Result::state() const {
    const char* s = result_ ? PQresultErrorField(result_.get(), PG_DIAG_SQLSTATE) : nullptr;
    return s ? s : "";
}

std::string Result::message() const {
    const char* m = result_ ? PQresultErrorField(result_.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    if (!m && result_) m = PQresultErrorMessage(result_.get());
    return firstLine(m);
}

int Result::position() const {
    const char* p =
        result_ ? PQresultErrorField(result_.get(), PG_DIAG_STATEMENT_POSITION) : nullptr;
    return p ? std::atoi(p) : 0;
}

int Result::columns() const {
    return result_ ? PQnfields(result_.get()) : 0;
}

std::string Result::columnName(int column) const {
    const char* name = PQfname(result_.get(), column);
    return name ? name : "";
}

unsigned Result::columnType(int column) const {
    return PQftype(result_.get(), column);
}

unsigned Result::sourceTable(int column) const {
    return PQftable(result_.get(), column);
}

int Result::sourceColumn(int column) const {
    return PQftablecol(result_.get(), column);
}

std::string Result::constraint() const {
    const char* c = result_ ? PQresultErrorField(result_.get(), PG_DIAG_CONSTRAINT_NAME) : nullptr;
    return c ? c : "";
}

void Params::add(const Value& value) {
    switch (value.kind) {
        case Value::Kind::Null:
            return addNull();
        case Value::Kind::Integer:
            return addInteger(value.integer);
        case Value::Kind::Real: {
            char text[40];
            if (std::isnan(value.real))
                std::strcpy(text, "NaN");
            else if (std::isinf(value.real))
                std::strcpy(text, value.real > 0 ? "Infinity" : "-Infinity");
            else
                std::snprintf(text, sizeof text, "%.17g", value.real);
            return addText(text);
        }
        case Value::Kind::Text:
            return addText(serverText(value.bytes));
        case Value::Kind::Blob:
            values_.push_back(static_cast<int>(storage_.size()));
            storage_.push_back(value.bytes);
            null_.push_back(false);
            binary_.push_back(true);
            return;
    }
}

void Params::addInteger(int64_t value) {
    addText(std::to_string(value));
}

void Params::addText(const std::string& text) {
    values_.push_back(static_cast<int>(storage_.size()));
    storage_.push_back(text);
    null_.push_back(false);
    binary_.push_back(false);
}

void Params::addNull() {
    values_.push_back(static_cast<int>(storage_.size()));
    storage_.emplace_back();
    null_.push_back(true);
    binary_.push_back(false);
}

void Session::Finish::operator()(pg_conn* connection) const {
    PQfinish(connection);
}

Session::Session(std::unique_ptr<pg_conn, Finish> connection)
    : connection_(std::move(connection)) {}

Session::~Session() = default;

UNSIGNED32 Session::open(const ServerPath& path, std::shared_ptr<Session>& out) {
    // In libpq's order: what comes later wins, so the path (dbname, expanded) overrides the
    // settings before it and not the encoding and lock wait after it.
    const char* const keywords[] = {"connect_timeout",  "keepalives",
                                    "keepalives_idle",  "keepalives_interval",
                                    "keepalives_count", "application_name",
                                    "dbname",           "client_encoding",
                                    "options",          nullptr};
    const char* const values[] = {
        "10",   "1", "5", "2", "3", "velda", path.uri().c_str(), "UTF8", "-c lock_timeout=10000",
        nullptr};
    std::unique_ptr<pg_conn, Finish> connection(PQconnectdbParams(keywords, values, 1));
    if (!connection)
        return fail(AE_SERVER_CONNECT,
                    "Cannot connect to " + path.masked() + ": libpq is out of memory.");
    if (PQstatus(connection.get()) != CONNECTION_OK) {
        std::string reason = path.scrub(firstLine(PQerrorMessage(connection.get())));
        if (reason.back() != '.') reason += '.';
        return fail(AE_SERVER_CONNECT, "Cannot connect to " + path.masked() + ": " + reason);
    }
    PQsetNoticeProcessor(connection.get(), ignoreNotice, nullptr);
    out.reset(new Session(std::move(connection)));
    out->where_ = path.masked();
    return AE_SUCCESS;
}

std::string Session::serverName() const {
    const char* host = PQhost(connection_.get());
    const char* port = PQport(connection_.get());
    std::string name = host ? host : "";
    if (port && *port) name += ":" + std::string(port);
    return name;
}

bool Session::lost() const {
    return PQstatus(connection_.get()) != CONNECTION_OK;
}

void Session::noteTransaction() {
    if (lost()) return;  // what was open stays open until rollback() forgets it
    transactionOpen_ = PQtransactionStatus(connection_.get()) != PQTRANS_IDLE;
}

void Session::rollback() {
    pendingNotices_.clear();
    heldBy = 0;
    if (!lost() && PQtransactionStatus(connection_.get()) != PQTRANS_IDLE) {
        Result r(PQexec(connection_.get(), "ROLLBACK"));
        (void)r;
    }
    transactionOpen_ = transactionLost_ = false;
}

bool Session::revive() {
    if (transactionLost_) return false;
    if (!lost()) return true;
    if (transactionOpen_) {
        // The server has rolled the transaction back; the engine must hear of it, not carry on
        // outside a transaction.
        transactionLost_ = true;
        return false;
    }
    PQreset(connection_.get());
    if (lost()) return false;
    PQsetNoticeProcessor(connection_.get(), ignoreNotice, nullptr);
    prepared_.clear();
    pendingNotices_.clear();
    heldBy = 0;
    ++generation_;
    for (const std::string& channel : channels_) {
        Result r(PQexec(connection_.get(), ("LISTEN \"" + channel + "\"").c_str()));
        (void)r;
    }
    return true;
}

Result Session::run(const std::string& sql, const Params& params) {
    if (!revive()) return Result();
    auto it = prepared_.find(sql);
    if (it == prepared_.end()) {
        // A bounded cache, as statements differ by order, scope and filter and a caller could
        // vary them without end. Names are never reused, so a DEALLOCATE that fails harms nothing.
        if (prepared_.size() >= 200) {
            Result dropped(PQexec(connection_.get(), "DEALLOCATE ALL"));
            (void)dropped;
            prepared_.clear();
        }
        std::string name = "velda_" + std::to_string(++statementsMade_);
        Result made(PQprepare(connection_.get(), name.c_str(), sql.c_str(), 0, nullptr));
        if (!made.ok()) return made;
        it = prepared_.emplace(sql, std::move(name)).first;
    }
    const int n = static_cast<int>(params.size());
    std::vector<const char*> values(params.size());
    std::vector<int> lengths(params.size()), formats(params.size());
    for (size_t i = 0; i < params.size(); ++i) {
        const std::string& v = params.storage_[static_cast<size_t>(params.values_[i])];
        values[i] = params.null_[i] ? nullptr : v.data();
        lengths[i] = static_cast<int>(v.size());
        formats[i] = params.binary_[i] ? 1 : 0;
    }
    Result r(PQexecPrepared(connection_.get(), it->second.c_str(), n, values.data(), lengths.data(),
                            formats.data(), 0));
    noteTransaction();
    return r;
}

Result Session::exec(const std::string& sql) {
    if (!revive()) return Result();
    Result r(PQexec(connection_.get(), sql.c_str()));
    noteTransaction();
    return r;
}

Result Session::describe(const std::string& sql) {
    if (!revive()) return Result();
    Result made(PQprepare(connection_.get(), "", sql.c_str(), 0, nullptr));
    if (!made.ok()) {
        noteTransaction();
        return made;
    }
    Result r(PQdescribePrepared(connection_.get(), ""));
    noteTransaction();
    return r;
}

Result Session::stream(const std::string& sql, const Params& params,
                       const std::function<void(const Result&)>& row) {
    if (!revive()) return Result();
    const int n = static_cast<int>(params.size());
    std::vector<const char*> values(params.size());
    std::vector<int> lengths(params.size()), formats(params.size());
    for (size_t i = 0; i < params.size(); ++i) {
        const std::string& v = params.storage_[static_cast<size_t>(params.values_[i])];
        values[i] = params.null_[i] ? nullptr : v.data();
        lengths[i] = static_cast<int>(v.size());
        formats[i] = params.binary_[i] ? 1 : 0;
    }
    if (!PQsendQueryParams(connection_.get(), sql.c_str(), n, nullptr, values.data(),
                           lengths.data(), formats.data(), 0)) {
        noteTransaction();
        return Result();
    }
    PQsetSingleRowMode(connection_.get());
    Result last;
    while (pg_result* next = PQgetResult(connection_.get())) {
        Result one(next);
        if (PQresultStatus(next) == PGRES_SINGLE_TUPLE)
            row(one);
        else
            last = std::move(one);  // the end: no more rows, or the failure
    }
    noteTransaction();
    return last;
}

UNSIGNED32 Session::failure(const Result& result, const std::string& doing,
                            const std::string& what) {
    const std::string state = result.state();
    if (transactionLost_)
        return fail(AE_SERVER_CONNECT, "Could not " + doing + " " + what +
                                           ": the connection to the server of " + where_ +
                                           " was lost, and the open transaction with it; nothing "
                                           "of the transaction was kept.");
    if (lost() || state.rfind("08", 0) == 0 || state == "57P01" || state == "57P02" ||
        state == "57P03") {
        std::string reason =
            result.get() ? result.message() : firstLine(PQerrorMessage(connection_.get()));
        return fail(AE_SERVER_CONNECT, "Could not " + doing + " " + what +
                                           ": the connection to the server of " + where_ +
                                           " was lost (" + reason + ").");
    }
    if (state == "55P03" || state == "40001" || state == "40P01")
        return fail(AE_LOCKED, what + " is locked by another user; could not " + doing + " it (" +
                                   result.message() + ").");
    if (state == "53100")
        return fail(AE_IO_ERROR,
                    "Could not " + doing + " " + what + ": the server's disk is full.");
    return fail(AE_INTERNAL, "Could not " + doing + " " + what + ": " + result.message() + ".");
}

void Session::listen(const std::string& channel) {
    if (!channels_.insert(channel).second) return;
    Result r = exec("LISTEN \"" + channel + "\"");
    (void)r;
}

void Session::poll() {
    auto now = std::chrono::steady_clock::now();
    if (now - lastPoll_ < std::chrono::milliseconds(1)) return;
    lastPoll_ = now;
    if (PQconsumeInput(connection_.get()) == 0) return;
    while (PGnotify* notice = PQnotifies(connection_.get())) {
        ++notices_[notice->relname];
        PQfreemem(notice);
    }
}

uint64_t Session::notices(const std::string& channel) {
    poll();
    auto it = notices_.find(channel);
    return it == notices_.end() ? 0 : it->second;
}

Result Session::commit() {
    if (!revive()) return Result();
    std::string sql;
    for (const std::string& channel : pendingNotices_) sql += "NOTIFY \"" + channel + "\";";
    pendingNotices_.clear();
    Result r = Result(PQexec(connection_.get(), (sql + "COMMIT").c_str()));
    noteTransaction();
    // Notices that came with the answer count at once: a commit is seen by the next read.
    lastPoll_ = {};
    return r;
}

}  // namespace engine::postgres
