#include "engine/postgres/session.h"

#include <libpq-fe.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <utility>

#include "engine/last_error.h"
#include "engine/record_image.h"
#include "engine/server_path.h"

namespace engine::postgres {

namespace {

// Type identifiers of the server's built-in types (pg_type.oid), fixed across versions.
constexpr unsigned kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat4 = 700,
                   kFloat8 = 701, kNumeric = 1700;

// How long a server may stay silent while a statement waits for its answer before it is asked,
// over a fresh connection, whether it still answers, and how long that question may take. A
// statement that merely takes long (a large sort, a lock wait) is waited for; a server that
// hangs or a network that drops every packet is given up after about ten seconds.
constexpr int kSilenceMs = 5000;
constexpr const char* kProbeSeconds = "5";

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

namespace {

// The server's text forms of numbers; from_chars reads them as strtoll and strtod would, without
// their locale and overflow bookkeeping.
int64_t integerOf(const char* text, int length) {
    int64_t value = 0;
    std::from_chars(text, text + length, value);
    return value;
}

double realOf(const char* text, int length) {
    double value = 0;
    std::from_chars(text, text + length, value);
    return value;
}

}  // namespace

int64_t Result::integer(int row, int column) const {
    return integerOf(text(row, column), length(row, column));
}

Value Result::value(int row, int column) const {
    if (isNull(row, column)) return Value{};
    return valueOfText(PQftype(result_.get(), column), text(row, column), length(row, column));
}

bool keptAsText(unsigned type) {
    switch (type) {
        case kBool:
        case kInt2:
        case kInt4:
        case kInt8:
        case kFloat4:
        case kFloat8:
        case kNumeric:
        case kBytea:
            return false;
        default:
            return true;
    }
}

// Every type keptAsText() names as not kept so has its case here.
Value valueOfText(unsigned type, const char* t, int length) {
    switch (type) {
        case kBool:
            return Value::ofInteger(t[0] == 't' ? 1 : 0);
        case kInt2:
        case kInt4:
        case kInt8:
            return Value::ofInteger(integerOf(t, length));
        case kFloat4:
        case kFloat8:
        case kNumeric:
            return Value::ofReal(realOf(t, length));
        case kBytea: {
            // Text output of a byte string: "\x" and two hexadecimal digits a byte.
            std::string bytes;
            if (length >= 2 && t[0] == '\\' && t[1] == 'x') {
                bytes.reserve(static_cast<size_t>(length - 2) / 2);
                for (int i = 2; i + 1 < length; i += 2)
                    bytes.push_back(static_cast<char>(hexDigit(t[i]) * 16 + hexDigit(t[i + 1])));
            }
            return Value::ofBlob(std::move(bytes));
        }
        default:
            return Value::ofText(std::string(t, static_cast<size_t>(length)));
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
    out->uri_ = path.uri();
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
    settle();
    beginPending_ = false;
    deferred_.clear();
    committed_ = Result();
    pendingNotices_.clear();
    heldBy = 0;
    if (!lost() && PQtransactionStatus(connection_.get()) != PQTRANS_IDLE) {
        Result r = simple("ROLLBACK");
        (void)r;
    }
    transactionOpen_ = transactionLost_ = false;
}

void Session::noticeIdleLoss() {
    if (transactionOpen_ || lost()) return;
    auto now = std::chrono::steady_clock::now();
    if (now - lastIdleCheck_ < std::chrono::milliseconds(10)) return;
    lastIdleCheck_ = now;
    // A server that went away while the session was idle has left its last words (an error
    // message, read as a notice here) and the end of the stream: two reads find the end.
    for (int read = 0; read < 2 && !lost(); ++read) {
        if (PQconsumeInput(connection_.get()) == 0) break;
        while (PGnotify* notice = PQnotifies(connection_.get())) {
            ++notices_[notice->relname];
            PQfreemem(notice);
        }
    }
}

void Session::settle() {
    aheadId_ = 0;
    if (PQtransactionStatus(connection_.get()) == PQTRANS_ACTIVE)
        for (Result rest = next(); rest.get(); rest = next()) {
        }
}

bool Session::revive() {
    if (transactionLost_) return false;
    settle();
    noticeIdleLoss();
    if (!lost()) return true;
    if (transactionOpen_) {
        // The server has rolled the transaction back; the engine must hear of it, not carry on
        // outside a transaction.
        transactionLost_ = true;
        return false;
    }
    PQreset(connection_.get());
    if (lost()) return false;
    silenced_ = false;
    PQsetNoticeProcessor(connection_.get(), ignoreNotice, nullptr);
    prepared_.clear();
    pendingNotices_.clear();
    heldBy = 0;
    ++generation_;
    for (const std::string& channel : channels_) {
        Result r = simple("LISTEN \"" + channel + "\"");
        (void)r;
    }
    return true;
}

Params::Arrays Params::arrays() const {
    Arrays a;
    a.values.resize(values_.size());
    a.lengths.resize(values_.size());
    a.formats.resize(values_.size());
    for (size_t i = 0; i < values_.size(); ++i) {
        const std::string& v = storage_[static_cast<size_t>(values_[i])];
        a.values[i] = null_[i] ? nullptr : v.data();
        a.lengths[i] = static_cast<int>(v.size());
        a.formats[i] = binary_[i] ? 1 : 0;
    }
    return a;
}

bool Session::serverAnswers() const {
    const char* const keywords[] = {"dbname", "connect_timeout", nullptr};
    const char* const values[] = {uri_.c_str(), kProbeSeconds, nullptr};
    return PQpingParams(keywords, values, 1) != PQPING_NO_RESPONSE;
}

bool Session::receive() {
    PGconn* c = connection_.get();
    for (;;) {
        pollfd socket{PQsocket(c), POLLIN, 0};
        const int ready = ::poll(&socket, 1, kSilenceMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            if (serverAnswers()) continue;
            // Shut, not closed (libpq closes it): libpq then reads the end of the stream and
            // takes the connection for lost, as when the server closes it.
            silenced_ = true;
            ::shutdown(socket.fd, SHUT_RDWR);
        }
        return PQconsumeInput(c) != 0;
    }
}

Result Session::next() {
    PGconn* c = connection_.get();
    while (PQisBusy(c))
        if (!receive()) break;  // lost: PQgetResult answers the failure at once
    return Result(PQgetResult(c));
}

Result Session::collect() {
    // As PQexec answers: the last result, which after a failure is the failure.
    Result last;
    for (Result one = next(); one.get(); one = next()) last = std::move(one);
    return last;
}

Result Session::simple(const std::string& sql) {
    return PQsendQuery(connection_.get(), sql.c_str()) == 1 ? collect() : Result();
}

std::string Session::statementName(const std::string& sql, bool& fresh) {
    auto it = prepared_.find(sql);
    fresh = it == prepared_.end();
    if (!fresh) return it->second;
    // A bounded cache, as statements differ by order, scope and filter and a caller could vary
    // them without end. Names are never reused, so a DEALLOCATE that fails harms nothing.
    if (prepared_.size() >= 200) {
        Result dropped = simple("DEALLOCATE ALL");
        (void)dropped;
        prepared_.clear();
    }
    return "velda_" + std::to_string(++statementsMade_);
}

Result Session::run(const std::string& sql, const Params& params) {
    if (beginPending_ || !deferred_.empty()) return std::move(runAll({{sql, params}}).front());
    if (!revive()) return Result();
    bool fresh = false;
    std::string name = statementName(sql, fresh);
    if (fresh) {
        Result made = PQsendPrepare(connection_.get(), name.c_str(), sql.c_str(), 0, nullptr) == 1
                          ? collect()
                          : Result();
        if (!made.ok()) return made;
        prepared_.emplace(sql, name);
    }
    const Params::Arrays a = params.arrays();
    Result r = PQsendQueryPrepared(connection_.get(), name.c_str(), static_cast<int>(params.size()),
                                   a.values.data(), a.lengths.data(), a.formats.data(), 0) == 1
                   ? collect()
                   : Result();
    noteTransaction();
    return r;
}

std::string Session::takeDeferred() {
    std::string text;
    for (const std::string& statement : std::exchange(deferred_, {})) text += statement + ";";
    return text;
}

bool Session::sendWaiting(Result& failed) {
    if (!beginPending_ && deferred_.empty()) return true;
    failed = exec("");
    return failed.ok();
}

bool Session::dropDeferred(const std::string& statement) {
    if (deferred_.empty() || deferred_.back() != statement) return false;
    deferred_.pop_back();
    return true;
}

uint64_t Session::sendAhead(const std::string& sql, const Params& params) {
    PGconn* c = connection_.get();
    if (aheadId_ || beginPending_ || transactionOpen_ || transactionLost_ || lost() ||
        PQtransactionStatus(c) != PQTRANS_IDLE)
        return 0;
    auto prepared = prepared_.find(sql);
    if (prepared == prepared_.end()) return 0;
    const Params::Arrays a = params.arrays();
    if (PQsendQueryPrepared(c, prepared->second.c_str(), static_cast<int>(params.size()),
                            a.values.data(), a.lengths.data(), a.formats.data(), 0) != 1)
        return 0;
    return aheadId_ = ++aheadsSent_;
}

Result Session::takeAhead(uint64_t id) {
    if (id == 0 || id != aheadId_) return Result();
    aheadId_ = 0;
    Result r = collect();
    noteTransaction();
    // A notice of another session's commit comes behind the rows when the commit came while
    // they were read: it counts at once, so that the caller can tell they may be stale.
    lastPoll_ = {};
    poll();
    return r;
}

std::vector<Result> Session::runAll(const std::vector<Step>& steps, bool commit) {
    std::vector<Result> out(steps.size());
    if (!revive()) return out;
    PGconn* c = connection_.get();
    const bool begin = beginPending_;
    beginPending_ = false;
    const std::vector<std::string> deferred = std::exchange(deferred_, {});
    // Each query sent, in order: the BEGIN (step -1), a statement's preparation or its run, the
    // notices and the COMMIT (step -2).
    struct Query {
        int step;
        bool prepare;
    };
    std::vector<Query> queries;
    std::vector<std::string> names(steps.size());
    std::vector<bool> fresh(steps.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        bool made = false;
        names[i] = statementName(steps[i].sql, made);
        fresh[i] = made;
    }
    if (PQenterPipelineMode(c) != 1) return out;
    bool sent = true;
    if (begin) {
        sent = PQsendQueryParams(c, "BEGIN", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
        queries.push_back({-1, false});
    }
    for (const std::string& statement : deferred) {
        sent = sent && PQsendQueryParams(c, statement.c_str(), 0, nullptr, nullptr, nullptr,
                                         nullptr, 0) == 1;
        queries.push_back({-1, false});
    }
    for (size_t i = 0; i < steps.size() && sent; ++i) {
        const Params& params = steps[i].params;
        if (fresh[i]) {
            sent = PQsendPrepare(c, names[i].c_str(), steps[i].sql.c_str(), 0, nullptr) == 1;
            queries.push_back({static_cast<int>(i), true});
        }
        const Params::Arrays a = params.arrays();
        sent = sent &&
               PQsendQueryPrepared(c, names[i].c_str(), static_cast<int>(params.size()),
                                   a.values.data(), a.lengths.data(), a.formats.data(), 0) == 1;
        queries.push_back({static_cast<int>(i), false});
    }
    if (commit) {
        for (const std::string& channel : pendingNotices_) {
            const std::string notify = "NOTIFY \"" + channel + "\"";
            sent = sent && PQsendQueryParams(c, notify.c_str(), 0, nullptr, nullptr, nullptr,
                                             nullptr, 0) == 1;
            queries.push_back({-2, false});
        }
        pendingNotices_.clear();
        sent =
            sent && PQsendQueryParams(c, "COMMIT", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
        queries.push_back({-2, true});
    }
    sent = sent && PQpipelineSync(c) == 1;
    // Each query's result comes followed by a null; the sync's result ends the round trip. A
    // lost connection ends it too.
    Result failedBegin;
    std::vector<Result> failedPrepare(steps.size());
    size_t at = 0;
    for (int idle = 0; sent && idle < 2;) {
        Result r = next();
        if (!r.get()) {
            ++at;
            idle = lost() || at > queries.size() ? idle + 1 : 0;
            continue;
        }
        idle = 0;
        if (PQresultStatus(r.get()) == PGRES_PIPELINE_SYNC) break;
        if (at >= queries.size()) continue;
        const Query& q = queries[at];
        if (q.step == -2) {
            // The COMMIT's answer, or the first failure that stopped it.
            if ((q.prepare || !r.ok()) && (!committed_.get() || committed_.ok()))
                committed_ = std::move(r);
        } else if (q.step < 0) {
            if (!r.ok() && !failedBegin.get()) failedBegin = std::move(r);
        } else if (q.prepare) {
            if (r.ok())
                prepared_.emplace(steps[static_cast<size_t>(q.step)].sql,
                                  names[static_cast<size_t>(q.step)]);
            else
                failedPrepare[static_cast<size_t>(q.step)] = std::move(r);
        } else {
            out[static_cast<size_t>(q.step)] = std::move(r);
        }
    }
    (void)PQexitPipelineMode(c);
    // A COMMIT whose answer never came (the connection lost) must not pass for done.
    if (commit && !committed_.get()) committed_ = Result(PQmakeEmptyPGresult(c, PGRES_FATAL_ERROR));
    // The first failure is the one to report: a failed BEGIN or preparation stands in for the
    // statement it stopped.
    if (!out.empty() && failedBegin.get()) out.front() = std::move(failedBegin);
    for (size_t i = 0; i < steps.size(); ++i)
        if (failedPrepare[i].get()) out[i] = std::move(failedPrepare[i]);
    noteTransaction();
    // Notices that came with the answer count at once: a commit is seen by the next read.
    if (commit) lastPoll_ = {};
    return out;
}

Result Session::exec(const std::string& sql) {
    if (beginPending_) {
        beginPending_ = false;
        return exec("BEGIN;" + sql);
    }
    if (!deferred_.empty()) return exec(takeDeferred() + sql);
    if (!revive()) return Result();
    Result r = simple(sql);
    noteTransaction();
    return r;
}

Result Session::describe(const std::string& sql) {
    if (Result failed; !sendWaiting(failed)) return failed;
    if (!revive()) return Result();
    Result made =
        PQsendPrepare(connection_.get(), "", sql.c_str(), 0, nullptr) == 1 ? collect() : Result();
    if (!made.ok()) {
        noteTransaction();
        return made;
    }
    Result r = PQsendDescribePrepared(connection_.get(), "") == 1 ? collect() : Result();
    noteTransaction();
    return r;
}

Result Session::stream(const std::string& sql, const Params& params,
                       const std::function<void(const Result&)>& row) {
    if (Result failed; !sendWaiting(failed)) return failed;
    if (!revive()) return Result();
    const Params::Arrays a = params.arrays();
    if (!PQsendQueryParams(connection_.get(), sql.c_str(), static_cast<int>(params.size()), nullptr,
                           a.values.data(), a.lengths.data(), a.formats.data(), 0)) {
        noteTransaction();
        return Result();
    }
    PQsetSingleRowMode(connection_.get());
    Result last;
    for (Result one = next(); one.get(); one = next()) {
        if (PQresultStatus(one.get()) == PGRES_SINGLE_TUPLE)
            row(one);
        else
            last = std::move(one);  // the end: no more rows, or the failure
    }
    noteTransaction();
    return last;
}

namespace {

// Splits a line of COPY's text form (fields separated by tabs, a newline at the end) into its
// fields, in place: escapes undone, each field ended by a NUL where its separator stood. \N
// alone is null; COPY writes a backslash as \\, a tab, newline and the other control characters
// it escapes as a backslash and a letter, and never other escapes.
void splitCopyLine(char* line, int length, std::vector<CopyField>& fields) {
    fields.clear();
    char* end = line + length;
    if (end > line && end[-1] == '\n') --end;
    char* p = line;
    for (;;) {
        CopyField field;
        char* out = p;
        field.text = p;
        if (end - p >= 2 && p[0] == '\\' && p[1] == 'N' && (end - p == 2 || p[2] == '\t')) {
            field.null = true;
            p += 2;
        } else {
            while (p < end && *p != '\t') {
                char c = *p++;
                if (c == '\\' && p < end) {
                    c = *p++;
                    switch (c) {
                        case 'b':
                            c = '\b';
                            break;
                        case 'f':
                            c = '\f';
                            break;
                        case 'n':
                            c = '\n';
                            break;
                        case 'r':
                            c = '\r';
                            break;
                        case 't':
                            c = '\t';
                            break;
                        case 'v':
                            c = '\v';
                            break;
                        default:
                            break;
                    }
                }
                *out++ = c;
            }
        }
        if (!field.null) {
            field.length = static_cast<int>(out - field.text);
            *out = '\0';  // over the tab, the newline, or the NUL libpq ends the line with
        }
        fields.push_back(field);
        if (p >= end) break;
        ++p;  // the tab
    }
}

struct FreeCopyLine {
    void operator()(char* line) const { PQfreemem(line); }
};

}  // namespace

Result Session::copyRows(const std::string& sql,
                         const std::function<void(const std::vector<CopyField>&)>& row) {
    if (Result failed; !sendWaiting(failed)) return failed;
    if (!revive()) return Result();
    PGconn* c = connection_.get();
    // The newline ends a comment the statement may end with.
    const std::string copy = "COPY (" + sql + "\n) TO STDOUT";
    if (!PQsendQueryParams(c, copy.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0)) {
        noteTransaction();
        return Result();
    }
    Result last = next();
    // A row that throws stops the calls, not the reading: the session must leave the copy
    // before its next statement.
    std::exception_ptr thrown;
    if (PQresultStatus(last.get()) == PGRES_COPY_OUT) {
        last = Result();
        std::vector<CopyField> fields;
        for (;;) {
            char* data = nullptr;
            const int length = PQgetCopyData(c, &data, 1);
            if (length > 0) {
                std::unique_ptr<char, FreeCopyLine> line(data);
                if (thrown) continue;
                splitCopyLine(line.get(), length, fields);
                try {
                    row(fields);
                } catch (...) {
                    thrown = std::current_exception();
                }
                continue;
            }
            if (length < 0 || lost() || !receive()) break;  // the end, or the connection gone
        }
    }
    // The end of the copy (its status, or the failure), as PQexec answers; a result that still
    // says the copy goes on means the connection broke in it.
    for (Result one = next(); one.get(); one = next()) {
        if (PQresultStatus(one.get()) == PGRES_COPY_OUT) {
            last = Result(PQmakeEmptyPGresult(c, PGRES_FATAL_ERROR));
            break;
        }
        last = std::move(one);
    }
    noteTransaction();
    if (thrown) std::rethrow_exception(thrown);
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
        std::string reason = silenced_ ? "the server did not answer for " +
                                             std::to_string(kSilenceMs / 1000) +
                                             " seconds and did not answer a new connection either"
                             : result.get() ? result.message()
                                            : firstLine(PQerrorMessage(connection_.get()));
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
    if (committed_.get()) {
        pendingNotices_.clear();
        return std::move(committed_);
    }
    if (!revive()) return Result();
    std::string sql = takeDeferred();
    for (const std::string& channel : pendingNotices_) sql += "NOTIFY \"" + channel + "\";";
    pendingNotices_.clear();
    if (beginPending_) {
        beginPending_ = false;
        sql = "BEGIN;" + sql;
    }
    Result r = simple(sql + "COMMIT");
    noteTransaction();
    // Notices that came with the answer count at once: a commit is seen by the next read.
    lastPoll_ = {};
    return r;
}

}  // namespace engine::postgres
